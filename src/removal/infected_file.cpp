#include "removal/infected_file.h"

#include <memory>

#include "environment/file_facts.h"
#include "environment/file_identity.h"
#include "environment/text.h"
#include "registry/reg_helpers.h"
#include "removal/process_kill.h"
#include "session/shared_state.h"
#include "session/ui.h"

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

bool EndsCandidate(wchar_t c) { return c == L' ' || c == L'"' || c == L','; }
bool StartsCandidate(wchar_t c) { return c == L' ' || c == L'"' || c == L'='; }

bool IsFullPath(const std::wstring& text)
{
    return (text.size() >= 3 && text[1] == L':' && text[2] == L'\\') || text.rfind(L"\\\\", 0) == 0;
}

bool CommandNames(const std::wstring& command, const FileIdentity& file)
{
    if (!file.Known() || command.empty()) return false;
    const std::wstring lower = LCase(command);
    for (const std::wstring& name : {file.LongName(), file.ShortName()}) {
        if (name.empty()) continue;
        for (size_t at = lower.find(name); at != std::wstring::npos; at = lower.find(name, at + 1)) {
            const size_t end = at + name.size();
            if (end < lower.size() && !EndsCandidate(lower[end])) continue;
            // Unquoted paths may hold blanks: every start the text allows is tried.
            for (size_t start = at + 1; start-- > 0;) {
                if (start > 0 && !StartsCandidate(command[start - 1])) continue;
                const std::wstring candidate = command.substr(start, end - start);
                if (IsFullPath(candidate) && file.IsNamedBy(candidate)) return true;
            }
        }
    }
    return false;
}

// One removal: the file, where its processes come from and how its autorun
// values are judged.
struct Removal {
    std::wstring name;
    std::wstring path;
    // The process list read once for a whole cleaning; nullptr: read at each step.
    const std::vector<RunningProcess>* listed;
    // One of the user's temporary files rather than a detected hijacker file:
    // a value named like it goes only when its data names it, and a deletion
    // the system granted is taken at its word.
    bool temporary;
    mutable std::unique_ptr<FileIdentity> identity;

    // Resolved only when a value asks for it: most temporary files have none.
    const FileIdentity& Identity() const
    {
        if (identity == nullptr) identity = std::make_unique<FileIdentity>(path);
        return *identity;
    }
};

int EndItsProcesses(const Removal& removal)
{
    return removal.listed != nullptr ? EndProcessesRunning(*removal.listed, removal.path)
                                     : EndProcessesRunning(removal.path);
}

void RemoveValue(const Removal& removal, HKEY hive, const wchar_t* key, const std::wstring& valueName)
{
    if (removal.temporary) {
        const std::wstring data = RegReadString(hive, key, valueName);
        if (data.empty() || !CommandNames(data, removal.Identity())) return;
    }
    RemoveRegistryValue(hive, key, valueName);
}

bool DeletePath(const std::wstring& path)
{
    return DeleteFileA(platform::ToAnsi(path).c_str()) != FALSE;
}

void Remove(const Removal& removal)
{
    const std::wstring& path = removal.path;
    const std::wstring lowerName = LCase(removal.name);

    if (lowerName == L"se.dll") {
        RemoveValue(removal, HKEY_CURRENT_USER, kRun, L"sp");
        RemoveValue(removal, HKEY_LOCAL_MACHINE, kRun, L"sp");
    }

    SetFileAttributesA(platform::ToAnsi(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    // A process ended just now may still hold the file for a moment; with none
    // ended there is nothing to wait for (a temporary folder of thousands of
    // files would otherwise take minutes of pauses).
    int ended = EndItsProcesses(removal);
    if (ended > 0) Sleep(kPauseBeforeDelete);
    // Looking for a file that is gone costs a search of the whole folder; a
    // temporary file the system has let go of needs no second look.
    const bool gone = DeletePath(path) && removal.temporary;

    if (!gone && FileIsPresent(path)) {
        // Still locked: the shell and rundll32 are where hijacker libraries are
        // loaded, but only one that has this file loaded is ended.
        ended += EndProcessesWithModule(L"rundll32.exe", path);
        const int shells = EndProcessesWithModule(L"explorer.exe", path);
        // The shell comes back at the end; a program of that name elsewhere does not.
        if (shells > 0 && gExplorerEnded == kTrue) gExplorerKilled = kTrue;
        ended += shells;
        for (int round = 0; round < kExtraDeleteRounds; ++round) {
            // A process that is still exiting holds the file a while longer:
            // once anything was ended, every round gives it its pause.
            ended += EndItsProcesses(removal);
            if (ended > 0) Sleep(kPauseBeforeDelete);
            DeletePath(path);
            ui::PumpMessages();
        }
    }

    if (ContainsNoCase(lowerName, L"windesktop")) {
        for (const AutorunLocation& location : kWindesktopLocations)
            RemoveValue(removal, location.hive, location.key, L"windesktop");
        return;
    }

    if (ContainsNoCase(lowerName, L".exe")) {
        for (const AutorunLocation& location : kExeAutorunLocations)
            RemoveValue(removal, location.hive, location.key, removal.name);
    }

    if (gone) return;
    // Two last attempts, for a process that let go of the file late. The C
    // runtime's remove() is DeleteFile underneath on Windows; calling
    // DeleteFileA itself keeps the second attempt on the same seam as every
    // other file operation instead of reaching past it to the host's files.
    DeletePath(path);
    DeletePath(path);
}

}  // namespace

void RemoveRegistryValue(HKEY hive, const std::wstring& key, const std::wstring& valueName)
{
    platform::HeldKey opened;
    if (RegOpenKeyExA(hive, platform::ToAnsi(key).c_str(), 0, kAutorunKeyAccess, opened.receive()) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(opened.get(), platform::ToAnsi(valueName).c_str());
}

bool CommandNamesFile(const std::wstring& command, const std::wstring& path)
{
    return CommandNames(command, FileIdentity(path));
}

void RemoveInfectedFile(const std::wstring& folder, const std::wstring& name)
{
    Remove(Removal{name, folder + name, nullptr, false, nullptr});
}

void RemoveTemporaryFile(const std::wstring& folder, const std::wstring& name,
                         const std::vector<RunningProcess>& processes)
{
    Remove(Removal{name, folder + name, &processes, true, nullptr});
}
