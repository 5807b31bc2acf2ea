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
constexpr DWORD kPauseAfterTerminate9x = 100;
constexpr DWORD kPauseAfterTerminateNt = 1000;
constexpr int kMaxProcesses = 1024;
constexpr DWORD kNameBufferSize = 260;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process entry of 32-bit Windows");
#endif

// An empty target is contained in every path: it would end every process on
// the machine, the shell and the system's own included.
bool Matches(const std::wstring& path, const std::wstring& targetName)
{
    return !targetName.empty() && ContainsNoCase(path, targetName);
}

std::wstring FromAnsiField(const char* field, size_t size)
{
    return TrimNull(platform::FromAnsi(field, size));
}

}  // namespace

void KillProcessByName(const std::wstring& targetName, Boolean killAll)
{
    if (GetOsFamily() == L"NT") {
        KillProcessByNameNt(targetName, killAll);
        return;
    }

    // Looked up rather than imported: the kernel32 of Windows NT 4.0 has no toolhelp calls.
    const platform::LoadedLibrary kernel32("kernel32.dll");
    const auto createSnapshot =
        kernel32.Entry<CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot");
    const auto processFirst = kernel32.Entry<Process32FirstFn>("Process32First");
    const auto processNext = kernel32.Entry<Process32NextFn>("Process32Next");
    if (createSnapshot == nullptr || processFirst == nullptr || processNext == nullptr) return;

    platform::HeldHandle snapshot(createSnapshot(kSnapshotProcessFlag, 0));
    if (!snapshot.valid()) return;

    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof(entry));
    // 296 bytes in the 32-bit ANSI layout; the record's own size elsewhere.
    entry.dwSize = sizeof(PROCESSENTRY32);
    if (!processFirst(snapshot.get(), &entry)) return;

    for (;;) {
        const std::wstring exeFile = FromAnsiField(entry.szExeFile, sizeof(entry.szExeFile));
        if (entry.th32ProcessID != self && Matches(exeFile, targetName)) {
            platform::HeldHandle process(OpenProcess(kTerminateOnly, FALSE, entry.th32ProcessID));
            if (process.valid()) TerminateProcess(process.get(), 0);
            // The file is deleted right after the walk: give the process time to exit,
            // whether or not the termination was granted.
            Sleep(kPauseAfterTerminate9x);
            if (killAll == kFalse) return;
        }
        ui::PumpMessages();
        if (!processNext(snapshot.get(), &entry)) break;
    }
}

void KillProcessByNameNt(const std::wstring& targetName, Boolean killAll)
{
    // Looked up rather than imported: Windows 9x has no psapi.dll, and an NT
    // machine may lack it too.
    const platform::LoadedLibrary psapi("psapi.dll");
    const auto enumProcesses = psapi.Entry<EnumProcessesFn>("EnumProcesses");
    const auto enumModules = psapi.Entry<EnumProcessModulesFn>("EnumProcessModules");
    const auto moduleFileName = psapi.Entry<GetModuleFileNameExAFn>("GetModuleFileNameExA");
    if (enumProcesses == nullptr || enumModules == nullptr || moduleFileName == nullptr) return;

    DWORD processIds[kMaxProcesses] = {};
    DWORD bytesReturned = 0;
    if (!enumProcesses(processIds, sizeof(processIds), &bytesReturned)) return;

    int count = static_cast<int>(bytesReturned / sizeof(DWORD));
    if (count > kMaxProcesses) count = kMaxProcesses;

    const DWORD self = GetCurrentProcessId();
    for (int index = 0; index < count; ++index) {
        if (processIds[index] == self) continue;

        platform::HeldHandle process(OpenProcess(kTerminateReadQuery, FALSE, processIds[index]));
        if (!process.valid()) continue;  // system processes, other users' processes

        char name[kNameBufferSize];
        std::memset(name, 0, sizeof(name));
        HMODULE modules[kMaxProcesses] = {};
        DWORD bytesNeeded = 0;
        if (!enumModules(process.get(), modules, sizeof(modules), &bytesNeeded)) continue;

        // The first module is the executable.
        moduleFileName(process.get(), modules[0], name, kNameBufferSize);
        const std::wstring path = FromAnsiField(name, sizeof(name));
        if (path.empty()) continue;

        if (!Matches(NormaliseModulePath(path), targetName)) continue;

        if (TerminateProcess(process.get(), 0)) Sleep(kPauseAfterTerminateNt);
        if (killAll == kFalse) return;
    }
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
