#include "support/throwaway_machine.h"

#include "platform/win32.h"

namespace testenv {

bool OnThrowawayMachine()
{
#ifdef _WIN32
    // Wine's ntdll exports wine_get_version; that of Windows does not.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
    // scripts/wine-run marks each prefix it makes and names the mark as the
    // prefix sees it; ~/.wine with a person's own programs carries no mark.
    char marker[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("GREVLIN_PREFIX_MARK", marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    return GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES;
#else
    // The simulated machine is made afresh for every test.
    return true;
#endif
}

}  // namespace testenv
