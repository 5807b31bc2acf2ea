#include "environment/protected_names.h"

#include "session/shared_state.h"

void LoadProtectedNames()
{
    // Position 0 stays empty; the matcher consults positions 1 to 20.
    gProtectedNames = {
        L"",
        L"hal.dll",      L"explorer.exe", L"services.exe", L"alg.exe",      L"svchost.exe",
        L"dllhost.exe",  L"msdtc.exe",    L"imapi.exe",    L"cisvc.exe",    L"lsass.exe",
        L"mdm.exe",      L"smss.exe",     L"winlogon.exe", L"userinit.exe", L"notepad.exe",
        L"regedit.exe",  L"taskman.exe",  L"cmd.exe",      L"shell32.dll",  L"user32.dll",
    };
}
