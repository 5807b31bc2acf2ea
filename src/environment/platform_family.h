#pragma once

#include <string>

// The platform family: L"9X" for Windows 95, 98 and Me, L"NT" for the NT
// family, empty for any other (or when the system does not say).
std::wstring GetOsFamily();
