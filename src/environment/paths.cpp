// Placeholder until this module is built.
#include "environment/paths.h"

std::wstring GetWindowsDir() { return {}; }
std::wstring GetSystemDir() { return {}; }
std::wstring GetTempDir() { return {}; }
std::wstring GetShortName(const std::wstring&) { return {}; }
std::wstring GetOsFamily() { return {}; }
int32_t GetFileLength(const std::wstring&) { return -1; }
std::wstring TrimNull(const std::wstring& text) { return text; }
bool FileIsPresent(const std::wstring&) { return false; }
std::wstring GetProgramFolder() { return {}; }
std::wstring GetProgramBaseName() { return {}; }
