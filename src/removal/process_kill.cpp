#include "removal/process_kill.h"

#include <cstring>

#include "environment/paths.h"
#include "environment/text.h"
#include "forms/ui.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kSnapshotProcessFlag = 0x0002;
constexpr DWORD kTerminateOnly = 0x0001;
constexpr DWORD kTerminateReadQuery = 0x0411;
constexpr DWORD kTerminateQueryLimited = PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kWin32PathForm = 0;
constexpr DWORD kPauseAfterTerminate9x = 100;
constexpr DWORD kPauseAfterTerminateNt = 1000;
constexpr int kMaxProcesses = 1024;
constexpr DWORD kNameBufferSize = 260;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process entry of 32-bit Windows");
#endif

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

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

// The psapi calls, and kernel32's image-name query where there is one.
struct NtWalk {
    EnumProcessModulesFn enumModules;
    GetModuleFileNameExAFn moduleFileName;
    QueryFullProcessImageNameAFn imageName;
};

// The path of the first module, the executable; empty when the modules
// cannot be read.
std::wstring ModulePath(HANDLE process, const NtWalk& walk)
{
    char name[kNameBufferSize];
    std::memset(name, 0, sizeof(name));
    HMODULE modules[kMaxProcesses] = {};
    DWORD bytesNeeded = 0;
    if (!walk.enumModules(process, modules, sizeof(modules), &bytesNeeded)) return std::wstring();
    walk.moduleFileName(process, modules[0], name, kNameBufferSize);
    return FromAnsiField(name, sizeof(name));
}

std::wstring ImagePath(HANDLE process, const NtWalk& walk)
{
    char name[kNameBufferSize];
    std::memset(name, 0, sizeof(name));
    DWORD size = kNameBufferSize;
    if (!walk.imageName(process, kWin32PathForm, name, &size)) return std::wstring();
    return FromAnsiField(name, sizeof(name));
}

enum class Verdict { Unread, Other, Matched };

// Ends the process when its executable is the target; a second to exit
// follows every termination that succeeded.
Verdict EndIfNamed(HANDLE process, const std::wstring& path, const std::wstring& targetName,
                   int& ended)
{
    if (path.empty()) return Verdict::Unread;
    if (!Matches(NormaliseModulePath(path), targetName)) return Verdict::Other;
    if (TerminateProcess(process, 0)) {
        ++ended;
        Sleep(kPauseAfterTerminateNt);
    }
    return Verdict::Matched;
}

// The Windows 9x family's walk, which reports full paths.
int KillProcessBySnapshot(const std::wstring& targetName, Boolean killAll)
{
    // Looked up rather than imported: the kernel32 of Windows NT 4.0 has no toolhelp calls.
    const platform::LoadedLibrary kernel32("kernel32.dll");
    const auto createSnapshot =
        kernel32.Entry<CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot");
    const auto processFirst = kernel32.Entry<Process32FirstFn>("Process32First");
    const auto processNext = kernel32.Entry<Process32NextFn>("Process32Next");
    if (createSnapshot == nullptr || processFirst == nullptr || processNext == nullptr) return 0;

    platform::HeldHandle snapshot(createSnapshot(kSnapshotProcessFlag, 0));
    if (!snapshot.valid()) return 0;

    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    // 296 bytes in the 32-bit ANSI layout; the record's own size elsewhere.
    entry.dwSize = sizeof(PROCESSENTRY32);
    if (!processFirst(snapshot.get(), &entry)) return 0;

    int ended = 0;
    for (;;) {
        const std::wstring exeFile = FromAnsiField(entry.szExeFile, sizeof(entry.szExeFile));
        if (entry.th32ProcessID != self && Matches(exeFile, targetName)) {
            platform::HeldHandle process(OpenProcess(kTerminateOnly, FALSE, entry.th32ProcessID));
            if (process.valid() && TerminateProcess(process.get(), 0)) ++ended;
            // The file is deleted right after the walk: give the process time to exit,
            // whether or not the termination was granted.
            Sleep(kPauseAfterTerminate9x);
            if (killAll == kFalse) break;
        }
        ui::PumpMessages();
        if (!processNext(snapshot.get(), &entry)) break;
    }
    return ended;
}

}  // namespace

int KillProcessByName(const std::wstring& targetName, Boolean killAll)
{
    const int ended = GetOsFamily() == L"NT" ? KillProcessByNameNt(targetName, killAll)
                                             : KillProcessBySnapshot(targetName, killAll);
    // However the shell came to be ended, the scan starts it again at its end.
    if (ended > 0 && EqualsNoCase(targetName, L"explorer.exe")) gExplorerEnded = kTrue;
    return ended;
}

int KillProcessByNameNt(const std::wstring& targetName, Boolean killAll)
{
    // Looked up rather than imported: Windows 9x has no psapi.dll, and an NT
    // machine may lack it too; the image-name query came with Windows Vista.
    const platform::LoadedLibrary psapi("psapi.dll");
    const platform::LoadedLibrary kernel32("kernel32.dll");
    const auto enumProcesses = psapi.Entry<EnumProcessesFn>("EnumProcesses");
    NtWalk walk;
    walk.enumModules = psapi.Entry<EnumProcessModulesFn>("EnumProcessModules");
    walk.moduleFileName = psapi.Entry<GetModuleFileNameExAFn>("GetModuleFileNameExA");
    walk.imageName = kernel32.Entry<QueryFullProcessImageNameAFn>("QueryFullProcessImageNameA");
    if (enumProcesses == nullptr || walk.enumModules == nullptr || walk.moduleFileName == nullptr)
        return 0;

    DWORD processIds[kMaxProcesses] = {};
    DWORD bytesReturned = 0;
    if (!enumProcesses(processIds, sizeof(processIds), &bytesReturned)) return 0;

    int count = static_cast<int>(bytesReturned / sizeof(DWORD));
    if (count > kMaxProcesses) count = kMaxProcesses;

    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    for (int index = 0; index < count; ++index) {
        const DWORD id = processIds[index];
        if (id == self) continue;

        Verdict verdict = Verdict::Unread;
        {
            // Fails for system processes and other users' processes.
            platform::HeldHandle process(OpenProcess(kTerminateReadQuery, FALSE, id));
            if (process.valid()) {
                const std::wstring path = ModulePath(process.get(), walk);
                verdict = EndIfNamed(process.get(), path, targetName, ended);
            }
        }
        // A 64-bit process hides its modules from this 32-bit program, but
        // names its image to the least of queries.
        if (verdict == Verdict::Unread && walk.imageName != nullptr) {
            platform::HeldHandle process(OpenProcess(kTerminateQueryLimited, FALSE, id));
            if (process.valid()) {
                const std::wstring path = ImagePath(process.get(), walk);
                verdict = EndIfNamed(process.get(), path, targetName, ended);
            }
        }
        if (verdict == Verdict::Matched && killAll == kFalse) break;
    }
    return ended;
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

void StartShell()
{
    // By its full path: a bare name is looked for beside this program and in
    // the current folder first, where a planted explorer.exe would run instead.
    const std::wstring windows = GetWindowsDir();
    if (windows.empty()) return;
    const std::wstring separator = EndsWith(windows, L"\\") ? L"" : L"\\";
    const std::string path = platform::ToAnsi(windows + separator + L"explorer.exe");
    std::string commandLine = "\"" + path + "\"";

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof(started));
    // The Windows folder as its current folder: the shell would otherwise
    // keep the folder this program was started from in use.
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        platform::ToAnsi(windows).c_str(), &startup, &started))
        return;
    // Not waited for: the scan goes on while the shell starts.
    platform::HeldHandle thread(started.hThread);
    platform::HeldHandle process(started.hProcess);
}
