// Reading a FILE_STREAM_INFORMATION list as the stream query returns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Walks a FILE_STREAM_INFORMATION list of `length` valid bytes (untrusted)
// and calls `onStream` with each named stream's bare name and low 32 bits of
// its size. Never reads outside the buffer.
void WalkStreamList(const uint8_t* buffer, size_t length,
                    const std::function<void(const std::wstring& bareName, int32_t size)>& onStream);
