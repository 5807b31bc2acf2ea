// Placeholder until this module is built.
#include "detection/file_matcher.h"

std::wstring ReadFileHex(const std::wstring&, int32_t, int32_t) { return {}; }
void ScanFile(const std::wstring&, const std::wstring&, const std::wstring&) {}
