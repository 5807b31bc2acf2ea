#pragma once

#include <string>

void CleanTempFolder();
// Hands every entry directly in `folder` (ending with a backslash) to RemoveInfectedFile.
void CleanFolder(const std::wstring& folder);
