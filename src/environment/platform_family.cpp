#include "environment/platform_family.h"

#include <cstring>

#include "platform/win32.h"

namespace {

// The system's own version record; false when the system does not give it.
bool ReadVersion(OSVERSIONINFOA& info)
{
    static_assert(sizeof(info) == 148, "the ANSI version record is 148 bytes");
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const bool read = GetVersionExA(&info) != FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return read;
}

}  // namespace

std::wstring GetOsFamily()
{
    OSVERSIONINFOA info;
    if (!ReadVersion(info)) info.dwPlatformId = 0;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return L"9X";
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return L"NT";
    return std::wstring();
}

bool IsNtFamily() { return GetOsFamily() == L"NT"; }

DWORD GetOsMajorVersion()
{
    OSVERSIONINFOA info;
    return ReadVersion(info) ? info.dwMajorVersion : 0;
}
