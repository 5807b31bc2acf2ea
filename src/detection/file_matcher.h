#pragma once

#include <cstdint>
#include <string>

#include "detection/signatures.h"

// Bytes `firstOffset`..`lastOffset` (both included) of `path` as spaced
// hexadecimal ("4E 09"); empty when the file is shorter or cannot be read.
std::wstring ReadFileHex(const std::wstring& path, int32_t firstOffset, int32_t lastOffset);

// Examines one candidate; removes, counts and reports it when it matches.
void ScanFile(const std::wstring& path, const std::wstring& folder, const std::wstring& name);

// Removes a file that matched, in the form its detection entry asks for,
// counts it in gFilesFound and reports the outcome in the activity list.
void RemoveMatchedFile(const std::wstring& path, const std::wstring& folder,
                       const std::wstring& name, RemovalKind kind);
