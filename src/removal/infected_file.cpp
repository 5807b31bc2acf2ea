#include "removal/infected_file.h"

#include "environment/paths.h"
#include "environment/text.h"
#include "forms/ui.h"
#include "removal/process_kill.h"
#include "scan/shared_state.h"

namespace {

// Query, set value, create subkey, enumerate, notify, create link.
constexpr REGSAM kAutorunKeyAccess = 0x3F;
constexpr DWORD kPauseBeforeDelete = 100;
constexpr int kExtraDeleteRounds = 3;

const wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunOnce[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kRunServices[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const wchar_t kRunServicesOnce[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

struct AutorunLocation {
    HKEY hive;
    const wchar_t* key;
};

// Where a hijacker's own executable registers itself to start again.
const AutorunLocation kExeAutorunLocations[] = {
    {HKEY_CURRENT_USER, kRun},          {HKEY_CURRENT_USER, kRunOnce},
    {HKEY_LOCAL_MACHINE, kRun},         {HKEY_LOCAL_MACHINE, kRunOnce},
    {HKEY_CURRENT_USER, kRunServices},  {HKEY_CURRENT_USER, kRunServicesOnce},
    {HKEY_LOCAL_MACHINE, kRunServices}, {HKEY_LOCAL_MACHINE, kRunServicesOnce},
};

const AutorunLocation kWindesktopLocations[] = {
    {HKEY_CURRENT_USER, kRun},
    {HKEY_LOCAL_MACHINE, kRun},
    {HKEY_CURRENT_USER, kRunServices},
    {HKEY_LOCAL_MACHINE, kRunServices},
};

void DeletePath(const std::wstring& path) { DeleteFileA(platform::ToAnsi(path).c_str()); }

// A process ended just now may still hold the file for a moment; with none
// ended there is nothing to wait for (a temporary folder of thousands of
// files would otherwise take minutes of pauses). Returns whether one was ended.
bool EndProcessesNamed(const std::wstring& name)
{
    const bool ended = KillProcessByName(name, kTrue) > 0;
    if (ended) Sleep(kPauseBeforeDelete);
    return ended;
}

}  // namespace

void RemoveRegistryValue(HKEY hive, const std::wstring& key, const std::wstring& valueName)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(hive, platform::ToAnsi(key).c_str(), 0, kAutorunKeyAccess, &opened) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(opened, platform::ToAnsi(valueName).c_str());
    RegCloseKey(opened);
}

void RemoveInfectedFile(const std::wstring& folder, const std::wstring& name)
{
    const std::wstring path = folder + name;
    const std::wstring lowerName = LCase(name);

    if (lowerName == L"se.dll") {
        RemoveRegistryValue(HKEY_CURRENT_USER, kRun, L"sp");
        RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRun, L"sp");
    }

    SetFileAttributesA(platform::ToAnsi(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    bool ended = EndProcessesNamed(name);
    DeletePath(path);

    if (FileIsPresent(path)) {
        // Still locked: the shell and rundll32 are where hijacker libraries are loaded.
        ended = KillProcessByName(L"rundll32.exe", kTrue) > 0 || ended;
        ended = KillProcessByName(L"explorer.exe", kTrue) > 0 || ended;
        gExplorerKilled = kTrue;
        for (int round = 0; round < kExtraDeleteRounds; ++round) {
            // A process that is still exiting holds the file a while longer:
            // once anything was ended, every round gives it its pause.
            ended = KillProcessByName(name, kTrue) > 0 || ended;
            if (ended) Sleep(kPauseBeforeDelete);
            DeletePath(path);
            ui::PumpMessages();
        }
    }

    if (ContainsNoCase(lowerName, L"windesktop")) {
        for (const AutorunLocation& location : kWindesktopLocations)
            RemoveRegistryValue(location.hive, location.key, L"windesktop");
        return;
    }

    if (ContainsNoCase(lowerName, L".exe")) {
        for (const AutorunLocation& location : kExeAutorunLocations)
            RemoveRegistryValue(location.hive, location.key, name);
    }

    // Two last attempts, for a process that let go of the file late. The C
    // runtime's remove() is DeleteFile underneath on Windows; calling
    // DeleteFileA itself keeps the second attempt on the same seam as every
    // other file operation instead of reaching past it to the host's files.
    DeletePath(path);
    DeletePath(path);
}
