#pragma once

#include <string>

// Whether the lower-cased name ends in one of the eight extensions under
// which the hijacker hides its files.
bool HasScannedExtension(const std::wstring& name);

// Hands each entry directly in `folder` (ending with a backslash) whose name
// ends in a listed extension to ScanFile; stops when gAbort is set.
void ScanFolder(const std::wstring& folder);
