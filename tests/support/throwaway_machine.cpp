#include "support/throwaway_machine.h"

#include <string>

#include "platform/win32.h"

namespace testenv {

bool OnThrowawayMachine()
{
#ifdef _WIN32
    // Wine's ntdll exports wine_get_version; that of Windows does not.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
    // scripts/wine-run marks each prefix it makes; ~/.wine with a person's
    // own programs carries no such mark. Wine's drive Z: is the Unix root.
    char prefix[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::string marker = std::string("Z:") + prefix + "/.grevlin-ready";
    for (char& c : marker)
        if (c == '/') c = '\\';
    return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    // The simulated machine is made afresh for every test.
    return true;
#endif
}

}  // namespace testenv
