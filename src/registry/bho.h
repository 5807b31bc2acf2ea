#pragma once

#include <string>

// Removes every Browser Helper Object whose in-process server is `filePath`.
void RemoveBhoForFile(const std::wstring& filePath);
