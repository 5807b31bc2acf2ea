#include "removal/process_kill.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "environment/file_identity.h"
#include "environment/paths.h"
#include "environment/platform_family.h"
#include "environment/text.h"
#include "platform/win32.h"
#include "session/ui.h"

namespace {

constexpr DWORD kSnapshotProcessFlag = 0x0002;
constexpr DWORD kSnapshotModuleFlag = 0x0008;
constexpr DWORD kTerminateOnly = 0x0001;
constexpr DWORD kTerminateReadQuery = 0x0411;
constexpr DWORD kTerminateQueryLimited = PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kWin32PathForm = 0;
constexpr DWORD kPauseAfterTerminate9x = 100;
constexpr DWORD kPauseAfterTerminateNt = 1000;
constexpr int kMaxProcesses = 1024;
constexpr int kMaxModules = 1024;
constexpr DWORD kPathChars = 1024;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process entry of 32-bit Windows");
#endif

// The executable's file name must be the target itself: a name that is only
// part of a path ("e", ".exe", a folder's name) would end the shell, the
// user's programs with their unsaved work and the system's own processes.
bool Matches(const std::wstring& path, const std::wstring& targetName)
{
    return !targetName.empty() && EqualsNoCase(FileNameOf(path), targetName);
}

std::wstring FromAnsiField(const char* field, size_t size)
{
    return TrimNull(platform::FromAnsi(field, size));
}

// An ended process. The shell, the Windows folder's explorer.exe, comes back
// at the end of the scan; a program of that name elsewhere is no shell.
void NoteEnded(const std::wstring& image, int& ended)
{
    ++ended;
    if (!EqualsNoCase(FileNameOf(image), L"explorer.exe")) return;
    const std::wstring windows = GetWindowsDir();
    if (!windows.empty() && ComparablePath(image) == ComparablePath(windows + L"\\explorer.exe"))
        gExplorerEnded = kTrue;
}

// Whether a process is to be ended: its identifier, an open handle where the
// NT family gives one (nullptr on the 9x family) and its executable's path.
using Decide = std::function<bool(DWORD id, HANDLE process, const std::wstring& image)>;

// The NT family's calls, looked up rather than imported: Windows 9x has no
// psapi.dll, an NT machine may lack it too, and the image-name query came
// with Windows Vista.
struct NtCalls {
    NtCalls()
        : psapi("psapi.dll"),
          kernel32("kernel32.dll"),
          enumProcesses(psapi.Entry<EnumProcessesFn>("EnumProcesses")),
          enumModules(psapi.Entry<EnumProcessModulesFn>("EnumProcessModules")),
          moduleFileName(psapi.Entry<GetModuleFileNameExWFn>("GetModuleFileNameExW")),
          imageName(kernel32.Entry<QueryFullProcessImageNameWFn>("QueryFullProcessImageNameW"))
    {
    }
    bool Usable() const
    {
        return enumProcesses != nullptr && enumModules != nullptr && moduleFileName != nullptr;
    }

    const platform::LoadedLibrary psapi;
    const platform::LoadedLibrary kernel32;
    const EnumProcessesFn enumProcesses;
    const EnumProcessModulesFn enumModules;
    const GetModuleFileNameExWFn moduleFileName;
    const QueryFullProcessImageNameWFn imageName;
};

std::wstring ModulePath(HANDLE process, HMODULE module, const NtCalls& nt)
{
    std::vector<WCHAR> name(kPathChars, 0);
    const DWORD length = nt.moduleFileName(process, module, name.data(), kPathChars);
    if (length == 0 || length >= kPathChars) return std::wstring();
    return platform::FromUtf16(name.data(), length);
}

// The modules of a process, the executable first; empty when they cannot be read.
std::vector<HMODULE> ModulesOf(HANDLE process, const NtCalls& nt)
{
    std::vector<HMODULE> modules(kMaxModules, nullptr);
    DWORD needed = 0;
    if (!nt.enumModules(process, modules.data(),
                        static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return std::vector<HMODULE>();
    modules.resize(std::min<size_t>(needed / sizeof(HMODULE), modules.size()));
    return modules;
}

std::wstring ExecutablePath(HANDLE process, const NtCalls& nt)
{
    const std::vector<HMODULE> modules = ModulesOf(process, nt);
    return modules.empty() ? std::wstring() : ModulePath(process, modules[0], nt);
}

std::wstring ImagePath(HANDLE process, const NtCalls& nt)
{
    std::vector<WCHAR> name(kPathChars, 0);
    DWORD size = kPathChars;
    if (!nt.imageName(process, kWin32PathForm, name.data(), &size) || size >= kPathChars)
        return std::wstring();
    return platform::FromUtf16(name.data(), size);
}

bool LoadsNt(HANDLE process, const FileIdentity& target, const NtCalls& nt)
{
    for (HMODULE module : ModulesOf(process, nt))
        if (target.IsNamedBy(NormaliseModulePath(ModulePath(process, module, nt)))) return true;
    return false;
}

enum class Verdict { Unread, Other, Matched };

// Ends the open process when `decide` says so; a second to exit follows
// every termination that succeeded.
Verdict Judge(DWORD id, HANDLE process, const std::wstring& path, const Decide& decide, int& ended)
{
    if (path.empty()) return Verdict::Unread;
    const std::wstring image = NormaliseModulePath(path);
    if (!decide(id, process, image)) return Verdict::Other;
    if (TerminateProcess(process, 0)) {
        NoteEnded(image, ended);
        Sleep(kPauseAfterTerminateNt);
    }
    return Verdict::Matched;
}

Verdict JudgeNt(DWORD id, const NtCalls& nt, const Decide& decide, int& ended)
{
    Verdict verdict = Verdict::Unread;
    {
        // Fails for system processes and other users' processes.
        platform::HeldHandle process(OpenProcess(kTerminateReadQuery, FALSE, id));
        if (process.valid())
            verdict = Judge(id, process.get(), ExecutablePath(process.get(), nt), decide, ended);
    }
    // A 64-bit process hides its modules from a 32-bit program, but names its
    // image to the least of queries.
    if (verdict == Verdict::Unread && nt.imageName != nullptr) {
        platform::HeldHandle process(OpenProcess(kTerminateQueryLimited, FALSE, id));
        if (process.valid())
            verdict = Judge(id, process.get(), ImagePath(process.get(), nt), decide, ended);
    }
    return verdict;
}

int WalkNt(const NtCalls& nt, const Decide& decide, Boolean killAll)
{
    if (!nt.Usable()) return 0;
    DWORD processIds[kMaxProcesses] = {};
    DWORD bytesReturned = 0;
    if (!nt.enumProcesses(processIds, sizeof(processIds), &bytesReturned)) return 0;

    int count = static_cast<int>(bytesReturned / sizeof(DWORD));
    if (count > kMaxProcesses) count = kMaxProcesses;

    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    for (int index = 0; index < count; ++index) {
        if (processIds[index] == self) continue;
        if (JudgeNt(processIds[index], nt, decide, ended) == Verdict::Matched && killAll == kFalse)
            break;
    }
    return ended;
}

// The toolhelp calls, looked up rather than imported: the kernel32 of
// Windows NT 4.0 has none.
struct ToolhelpCalls {
    ToolhelpCalls()
        : kernel32("kernel32.dll"),
          createSnapshot(kernel32.Entry<CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot")),
          processFirst(kernel32.Entry<Process32FirstFn>("Process32First")),
          processNext(kernel32.Entry<Process32NextFn>("Process32Next")),
          moduleFirst(kernel32.Entry<Module32FirstFn>("Module32First")),
          moduleNext(kernel32.Entry<Module32NextFn>("Module32Next"))
    {
    }

    const platform::LoadedLibrary kernel32;
    const CreateToolhelp32SnapshotFn createSnapshot;
    const Process32FirstFn processFirst;
    const Process32NextFn processNext;
    const Module32FirstFn moduleFirst;
    const Module32NextFn moduleNext;
};

// The 9x family's snapshot walk gives no handle to name a process by: the
// identifier stands for it. The file is deleted right after the walk: give
// the process time to exit, whether or not the termination was granted.
void EndOnSnapshot(DWORD id, const std::wstring& image, int& ended)
{
    platform::HeldHandle process(OpenProcess(kTerminateOnly, FALSE, id));
    if (process.valid() && TerminateProcess(process.get(), 0)) NoteEnded(image, ended);
    Sleep(kPauseAfterTerminate9x);
}

bool Loads9x(DWORD id, const FileIdentity& target, const ToolhelpCalls& toolhelp)
{
    if (toolhelp.createSnapshot == nullptr || toolhelp.moduleFirst == nullptr ||
        toolhelp.moduleNext == nullptr)
        return false;
    platform::HeldHandle snapshot(toolhelp.createSnapshot(kSnapshotModuleFlag, id));
    if (!snapshot.valid()) return false;
    MODULEENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(MODULEENTRY32);
    for (BOOL more = toolhelp.moduleFirst(snapshot.get(), &entry); more;
         more = toolhelp.moduleNext(snapshot.get(), &entry)) {
        if (target.IsNamedBy(FromAnsiField(entry.szExePath, sizeof(entry.szExePath)))) return true;
    }
    return false;
}

// The Windows 9x family's walk, which reports full paths.
int WalkSnapshot(const ToolhelpCalls& toolhelp, const Decide& decide, Boolean killAll)
{
    if (toolhelp.createSnapshot == nullptr || toolhelp.processFirst == nullptr ||
        toolhelp.processNext == nullptr)
        return 0;

    platform::HeldHandle snapshot(toolhelp.createSnapshot(kSnapshotProcessFlag, 0));
    if (!snapshot.valid()) return 0;

    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    // 296 bytes in the 32-bit ANSI layout; the record's own size elsewhere.
    entry.dwSize = sizeof(PROCESSENTRY32);
    if (!toolhelp.processFirst(snapshot.get(), &entry)) return 0;

    int ended = 0;
    for (;;) {
        const std::wstring exeFile = FromAnsiField(entry.szExeFile, sizeof(entry.szExeFile));
        if (entry.th32ProcessID != self && decide(entry.th32ProcessID, nullptr, exeFile)) {
            EndOnSnapshot(entry.th32ProcessID, exeFile, ended);
            if (killAll == kFalse) break;
        }
        ui::PumpMessages();
        if (!toolhelp.processNext(snapshot.get(), &entry)) break;
    }
    return ended;
}

int Walk(const Decide& decide, Boolean killAll)
{
    if (IsNtFamily()) return WalkNt(NtCalls(), decide, killAll);
    return WalkSnapshot(ToolhelpCalls(), decide, killAll);
}

}  // namespace

int KillProcessByName(const std::wstring& targetName, Boolean killAll)
{
    return Walk([&](DWORD, HANDLE, const std::wstring& image) { return Matches(image, targetName); },
                killAll);
}

int KillProcessByNameNt(const std::wstring& targetName, Boolean killAll)
{
    return WalkNt(
        NtCalls(),
        [&](DWORD, HANDLE, const std::wstring& image) { return Matches(image, targetName); },
        killAll);
}

int EndProcessesRunning(const std::wstring& path)
{
    const FileIdentity target(path);
    if (!target.Known()) return 0;
    return Walk([&](DWORD, HANDLE, const std::wstring& image) { return target.IsNamedBy(image); }, kTrue);
}

std::vector<RunningProcess> ListRunningProcesses()
{
    std::vector<RunningProcess> listed;
    Walk(
        [&](DWORD id, HANDLE, const std::wstring& image) {
            const std::wstring comparable = ComparablePath(image);
            if (!comparable.empty()) listed.push_back({id, comparable});
            return false;
        },
        kTrue);
    return listed;
}

int EndProcessesRunning(const std::vector<RunningProcess>& listed, const std::wstring& path)
{
    // Most files run as no process: a look at the names spares resolving the
    // path. An 8.3 name ("UPDATE~1.EXE") is resolved all the same.
    if (listed.empty()) return 0;
    const std::wstring name = LCase(FileNameOf(path));
    const bool listedByName = std::any_of(listed.begin(), listed.end(), [&](const RunningProcess& p) {
        return FileNameOf(p.image) == name;
    });
    if (!listedByName && name.find(L'~') == std::wstring::npos) return 0;

    const FileIdentity target(path);
    if (!target.Known()) return 0;
    int ended = 0;
    if (!IsNtFamily()) {
        for (const RunningProcess& process : listed)
            if (target.IsNamedBy(process.image)) EndOnSnapshot(process.id, process.image, ended);
        return ended;
    }
    const NtCalls nt;
    if (!nt.Usable()) return 0;
    // The identifier may have passed to another program since the list was read.
    const Decide isTarget = [&](DWORD, HANDLE, const std::wstring& image) { return target.IsNamedBy(image); };
    for (const RunningProcess& process : listed)
        if (target.IsNamedBy(process.image)) JudgeNt(process.id, nt, isTarget, ended);
    return ended;
}

int EndProcessesWithModule(const std::wstring& processName, const std::wstring& path)
{
    const FileIdentity target(path);
    if (!target.Known()) return 0;
    if (IsNtFamily()) {
        const NtCalls nt;
        return WalkNt(
            nt,
            [&](DWORD, HANDLE process, const std::wstring& image) {
                return Matches(image, processName) && LoadsNt(process, target, nt);
            },
            kTrue);
    }
    const ToolhelpCalls toolhelp;
    return WalkSnapshot(
        toolhelp,
        [&](DWORD id, HANDLE, const std::wstring& image) {
            return Matches(image, processName) && Loads9x(id, target, toolhelp);
        },
        kTrue);
}

std::wstring NormaliseModulePath(const std::wstring& path)
{
    std::wstring result = path;
    if (!result.empty() && result[0] == L'\\') result.erase(0, 1);
    if (result.compare(0, 3, L"??\\") == 0) result.erase(0, 3);
    if (ContainsNoCase(result, L"%Systemroot%"))
        result = ReplaceNoCase(result, L"%Systemroot%", GetWindowsDir());
    // Kernel-reported paths name the system root; the system folder stands in for it.
    if (ContainsNoCase(result, L"Systemroot"))
        result = ReplaceNoCase(result, L"Systemroot", GetSystemDir());
    return result;
}
