// What the file stages ask of a file by its path.
#pragma once

#include <cstdint>
#include <string>

// The file's length as the legacy open reports it: the low 32 bits as a
// signed number; -1 when it cannot be opened.
int32_t GetFileLength(const std::wstring& path);

// The presence test of the file stages: does `path` name a file (read-only,
// hidden, system and archive files count; folders do not)?
bool FileIsPresent(const std::wstring& path);
