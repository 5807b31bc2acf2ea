// Placeholder until this module is built.
#include "registry/reg_helpers.h"

std::wstring RegReadString(HKEY, const std::wstring&, const std::wstring&) { return {}; }
void RegWriteString(HKEY, const std::wstring&, const std::wstring&, const std::wstring&) {}
