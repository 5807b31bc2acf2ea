#include "removal/services.h"

#include <iterator>

#include "platform/win32.h"

namespace {

// The hijacker's service names, code point by code point. Most characters are
// not printable; they reach the service manager and the registry through the
// ANSI code page like every other text.
const wchar_t kNameA[] = {0x0020, 0x0031, 0x0031, 0x0046, 0x00DF, 0x00C4, 0x0006,
                          0x0023, 0x00B7, 0x00BA, 0x00C4, 0x00D6, 0x0060, 0x0049, 0};
const wchar_t kNameB[] = {0x00BD, 0x004F, 0x002E, 0x0023, 0x017E, 0x201A, 0x201E,
                          0x0081, 0x00F5, 0x00D8, 0x00C2, 0x00B4, 0x001E, 0x00E2, 0};
const wchar_t kNameC[] = {0x004F, 0x003F, 0x001E, 0x2019, 0x017D, 0x0072, 0x0074,
                          0x00F1, 0x00E5, 0x00C8, 0x00B2, 0x0024, 0x000E, 0x00D3, 0};
const wchar_t kNameD[] = {0x007F, 0x008F, 0x0010, 0x0025, 0x0041, 0x0046, 0x00E5,
                          0x0003, 0x0017, 0x001A, 0x00A4, 0x00B6, 0x00C0, 0};
const wchar_t kNameE[] = {0x008F, 0x0020, 0x0020, 0x0036, 0x0051, 0x00D4, 0x00F5,
                          0x0013, 0x0027, 0x00AA, 0x00B4, 0x00C6, 0x00D0, 0x0038, 0};
// Name A as the hijacker spells it in its service configuration keys.
const wchar_t kNameA2[] = {0x0020, 0x0031, 0x0031, 0x0066, 0x00DF, 0x00E4, 0x0006,
                           0x0023, 0x00B7, 0x00BA, 0x00C4, 0x00D6, 0x0060, 0x0069, 0};

const wchar_t* const kServiceNames[] = {kNameA, kNameB, kNameC, kNameD, kNameE};

const DWORD kManagerAccess = 0x0020;
const DWORD kStopAccess = 0x0020;
const DWORD kFullServiceAccess = 0xF003F;
// A service that stays "stop pending" is given up on after this many queries,
// so the stage never hangs on it.
const int kMaxStatusQueries = 30;
const DWORD kStatusPauseMs = 100;

// Deleted in this order, each with its whole subtree: every control set
// carries the same keys, first the legacy enumeration keys of all four, then
// their services' configuration keys; then the uninstall entries of the
// machine and of the user; last the single keys.
const wchar_t* const kEnumRoots[] = {
    L"SYSTEM\\CurrentControlSet\\Enum\\Root\\", L"SYSTEM\\ControlSet001\\Enum\\Root\\",
    L"SYSTEM\\ControlSet002\\Enum\\Root\\", L"SYSTEM\\ControlSet003\\Enum\\Root\\"};
// The first is the system's escaped form of name C, kept literally.
const wchar_t* const kEnumRootKeys[] = {
    L"LEGACY_O?*001E*2019*017DRT*00F1*00E5*00C8*00B2$*000E*00D3", L"LEGACY___NS_SERVICE_3"};

const wchar_t* const kServiceFolders[] = {
    L"SYSTEM\\CurrentControlSet\\Services\\", L"SYSTEM\\ControlSet001\\Services\\",
    L"SYSTEM\\ControlSet002\\Services\\", L"SYSTEM\\ControlSet003\\Services\\"};
const wchar_t* const kServiceKeys[] = {kNameB, kNameC, kNameA2, kNameD, kNameE,
                                       L"LEGACY___NS_SERVICE_3"};

const HKEY kUninstallHives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const wchar_t* const kUninstall[] = {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"};
const wchar_t* const kUninstallEntries[] = {L"HSA", L"SE", L"SW", L"SearchAssistant Uninstall",
                                            L"Search extender"};

struct FixedKey {
    HKEY hive;
    const wchar_t* path;
};

const FixedKey kSingleKeys[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}"},
    {HKEY_CLASSES_ROOT, L"Image.Image"},
    {HKEY_CLASSES_ROOT, L"Image.Image.1"},
    // Directly under the hive's root, not under SOFTWARE\Classes.
    {HKEY_LOCAL_MACHINE, L"Image.Image"},
    {HKEY_LOCAL_MACHINE, L"Image.Image.1"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{0B40A54D-BEC3-4077-9A33-701BD6ACDEB2}"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}"},
};

static_assert(std::size(kEnumRoots) * std::size(kEnumRootKeys) +
                      std::size(kServiceFolders) * std::size(kServiceKeys) +
                      std::size(kUninstallHives) * std::size(kUninstall) *
                          std::size(kUninstallEntries) +
                      std::size(kSingleKeys) ==
                  49,
              "the hijacker leaves 49 keys");

void RemoveKey(HKEY hive, const std::wstring& path)
{
    SHDeleteKeyA(hive, platform::ToAnsi(path).c_str());
}

// Each name under each parent, parent by parent.
template <size_t Parents, size_t Names>
void RemoveKeys(HKEY hive, const wchar_t* const (&parents)[Parents],
                const wchar_t* const (&names)[Names])
{
    for (const wchar_t* parent : parents) {
        for (const wchar_t* name : names) RemoveKey(hive, std::wstring(parent) + name);
    }
}

}  // namespace

void StopHijackerServices()
{
    for (const wchar_t* name : kServiceNames) StopServiceByName(name);
    RemoveFixedKeys();
}

void StopServiceByName(const std::wstring& serviceName)
{
    // The 9x family has no service manager: nothing to stop there.
    platform::HeldService manager(
        OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, kManagerAccess));
    if (!manager.valid()) return;

    const std::string name = platform::ToAnsi(serviceName);
    SERVICE_STATUS status = {};
    {
        platform::HeldService service(OpenServiceA(manager.get(), name.c_str(), kStopAccess));
        if (service.valid()) ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    }

    platform::HeldService service(OpenServiceA(manager.get(), name.c_str(), kFullServiceAccess));
    if (!service.valid()) return;

    // Wait for a stopping service to finish, but not for ever; a failed query
    // would only repeat the last answer.
    bool answered = QueryServiceStatus(service.get(), &status) != FALSE;
    int queries = 1;
    while (answered && status.dwCurrentState == SERVICE_STOP_PENDING && queries < kMaxStatusQueries) {
        Sleep(kStatusPauseMs);
        answered = QueryServiceStatus(service.get(), &status) != FALSE;
        ++queries;
    }
}

void RemoveFixedKeys()
{
    // Missing keys and keys the user may not delete are left as they are.
    RemoveKeys(HKEY_LOCAL_MACHINE, kEnumRoots, kEnumRootKeys);
    RemoveKeys(HKEY_LOCAL_MACHINE, kServiceFolders, kServiceKeys);
    for (HKEY hive : kUninstallHives) RemoveKeys(hive, kUninstall, kUninstallEntries);
    for (const FixedKey& row : kSingleKeys) RemoveKey(row.hive, row.path);
}
