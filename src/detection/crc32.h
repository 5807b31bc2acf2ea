// CRC-32 of ISO 3309 / ITU-T V.42 (reflected 0xEDB88320), as ZIP and PNG use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32.h"
#include "session/shared_state.h"

extern uint32_t gCrcTable[256];
extern Boolean gCrcReady;

void BuildCrcTable();
// Updates the running register over `length` bytes, a table lookup a byte
// (register starts at 0xFFFFFFFF). Only files of a listed size are hashed,
// 200 KB at the most, so nothing faster earns its place.
void CrcUpdate(uint32_t& crc, const uint8_t* data, size_t length);
// Upper-case hexadecimal, no leading zeros, no prefix.
std::wstring CrcText(uint32_t digest);
// The digest text of the first `length` bytes of `path` (a file or "file:stream"):
// empty when not ready or length < 1, "00000000" when the file cannot be opened.
std::wstring FileCrc32(const std::wstring& path, int32_t length);
// The same digest of a file already open for reading (OpenForReading), from
// its first byte whatever has been read from it before.
std::wstring OpenFileCrc32(HANDLE file, int32_t length);

