#pragma once

#include <string>

// Hands each entry directly in `folder` (ending with a backslash) whose name
// ends in a listed extension to ScanFile; stops when gAbort is set.
void ScanFolder(const std::wstring& folder);
