#pragma once

#include <string>

#include "platform/win32.h"

// The platform family: L"9X" for Windows 95, 98 and Me, L"NT" for the NT
// family, empty for any other (or when the system does not say).
std::wstring GetOsFamily();
// Whether the family is NT: Unicode names on disk and in the registry, psapi
// rather than toolhelp, MoveFileEx rather than WinInit.ini.
bool IsNtFamily();
// The system's major version (4 for 95, 98, Me and NT 4.0, 5 for 2000 and
// XP, 6 from Vista on); 0 when the system does not say.
DWORD GetOsMajorVersion();
