// Listing the named data streams of the files directly inside one folder.
#pragma once

#include <string>

void ScanFolderStreams(const std::wstring& folder);
void ScanFileStreams(const std::wstring& path);

