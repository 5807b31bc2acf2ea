// The simulated process list: the toolhelp snapshot, the psapi walk, the
// image-name query and the rights a process handle carries, with termination
// ending the process and releasing the files it held; starting a program adds
// a process.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

struct Process {
    DWORD id;
    DWORD parentId;
    ProcessSpec spec;
    bool alive = true;
};

const DWORD kExplorerId = 1484;
const DWORD kSelfId = 2040;

struct Exit {
    DWORD id;
    uint64_t dueMs;  // on the virtual clock
};

struct ProcessState {
    std::vector<Process> processes;  // in creation order, the order Windows lists them
    std::vector<DWORD> terminated;
    std::vector<Exit> exiting;       // ended, still holding their files
    DWORD nextId = 3000;
};

ProcessState Fresh()
{
    ProcessState state;
    const std::string explorer = detail::WindowsDir() + "\\explorer.exe";
    state.processes.push_back({kExplorerId, 1432, {explorer, explorer}});
    const std::string& self = detail::ProgramPath();
    state.processes.push_back({kSelfId, kExplorerId, {self, self}});
    return state;
}

ProcessState& State()
{
    static ProcessState state = Fresh();
    return state;
}

Process* Find(DWORD id)
{
    for (Process& process : State().processes)
        if (process.id == id) return &process;
    return nullptr;
}

struct ProcessObject : KernelObject {
    const char* Kind() const override { return "process"; }
    DWORD id = 0;
    DWORD rights = 0;
};

// The first thread of a started process: CreateProcessA hands out a handle to it.
struct ThreadObject : KernelObject {
    const char* Kind() const override { return "thread"; }
};

struct SnapshotObject : KernelObject {
    const char* Kind() const override { return "snapshot"; }
    struct Entry {
        DWORD id;
        DWORD parentId;
        std::string exeFile;
    };
    std::vector<Entry> entries;
    size_t next = 0;
};

// Vista's PROCESS_ALL_ACCESS: standard rights, SYNCHRONIZE and every specific right.
const DWORD kAllProcessRights = 0x001FFFFF;
const DWORD kMaximumAllowed = 0x02000000u;

DWORD SpecificRights(DWORD access)
{
    DWORD rights = access & kAllProcessRights;
    if (access & 0x10000000u) rights |= kAllProcessRights;  // GENERIC_ALL
    if (access & 0x80000000u) rights |= PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;
    if (access & 0x20000000u) rights |= PROCESS_TERMINATE;  // GENERIC_EXECUTE
    // Whoever may query everything may query the little.
    if (rights & PROCESS_QUERY_INFORMATION) rights |= PROCESS_QUERY_LIMITED_INFORMATION;
    return rights;
}

ProcessObject* Lookup(HANDLE handle)
{
    return static_cast<ProcessObject*>(LookupHandle(handle, "process"));
}

BOOL Fail(DWORD error)
{
    detail::SetError(error);
    return FALSE;
}

BOOL NextEntry(HANDLE snapshot, LPPROCESSENTRY32 entry, bool first)
{
    auto* object = static_cast<SnapshotObject*>(LookupHandle(snapshot, "snapshot"));
    if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (entry == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (entry->dwSize < sizeof(PROCESSENTRY32)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (first) object->next = 0;
    if (object->next >= object->entries.size()) return Fail(ERROR_NO_MORE_FILES);
    const SnapshotObject::Entry& from = object->entries[object->next++];
    const DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof(PROCESSENTRY32));
    entry->dwSize = size;
    entry->th32ProcessID = from.id;
    entry->cntThreads = 1;
    entry->th32ParentProcessID = from.parentId;
    entry->pcPriClassBase = 8;
    std::strncpy(entry->szExeFile, from.exeFile.c_str(), MAX_PATH - 1);
    return TRUE;
}

// The module a psapi call names: the executable itself (also as NULL) or ntdll.
bool ModulePath(const Process& process, HMODULE module, std::string& path)
{
    const auto base = reinterpret_cast<uintptr_t>(module);
    if (module == nullptr || base == detail::kExeModuleBase) {
        path = process.spec.modulePath;
        return true;
    }
    if (base == detail::kNtdllModuleBase) {
        path = detail::SystemDir() + "\\ntdll.dll";
        return true;
    }
    return false;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool HasExtension(const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    return dot != std::string::npos && name.find('\\', dot) == std::string::npos;
}

// The program a command line names when no application name is given: its
// first word, quoted or not, with ".exe" added when it has no extension; a
// bare name is looked for beside the program first (also the current folder
// here), then in the system and Windows folders.
std::string ProgramOfCommandLine(const std::string& commandLine)
{
    std::string name;
    if (!commandLine.empty() && commandLine[0] == '"') {
        name = commandLine.substr(1, commandLine.find('"', 1) - 1);
    } else {
        name = commandLine.substr(0, commandLine.find_first_of(" \t"));
    }
    if (!HasExtension(name)) name += ".exe";
    if (name.find('\\') != std::string::npos) return name;
    for (const std::string& folder :
         {FolderOf(detail::ProgramPath()), detail::SystemDir(), detail::WindowsDir()}) {
        const std::string candidate = folder + "\\" + name;
        if (FileExists(candidate)) return candidate;
    }
    return name;
}

// Why a program file cannot be started, or 0 when it can: any file will run here.
DWORD StartRefusal(const std::string& module)
{
    if (FileExists(module)) return 0;
    if (FolderExists(module)) return ERROR_ACCESS_DENIED;
    const std::string folder = FolderOf(module);
    if (!folder.empty() && folder.back() != ':' && !FolderExists(folder))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

}  // namespace

namespace detail {

void SetSelfProcessPath(const std::string& path)
{
    if (Process* self = Find(kSelfId)) self->spec.exeFile = self->spec.modulePath = path;
}

}  // namespace detail

bool ProcessIsAlive(DWORD processId)
{
    const Process* process = Find(processId);
    return process != nullptr && process->alive;
}

void FinishExitsDue()
{
    std::vector<Exit>& exiting = State().exiting;
    const auto due = std::stable_partition(exiting.begin(), exiting.end(),
                                           [](const Exit& exit) { return exit.dueMs > NowMs(); });
    const std::vector<Exit> done(due, exiting.end());
    exiting.erase(due, exiting.end());
    for (const Exit& exit : done) ReleaseFilesHeldBy(exit.id);
}

// ---- Control ---------------------------------------------------------------------
void ResetProcesses()
{
    State() = Fresh();
}

DWORD SelfProcessId()
{
    return kSelfId;
}

DWORD AddProcess(const ProcessSpec& spec)
{
    ProcessState& state = State();
    const DWORD id = state.nextId;
    state.nextId += 4;
    state.processes.push_back({id, kExplorerId, spec});
    return id;
}

DWORD AddProcess(const std::string& path)
{
    ProcessSpec spec;
    spec.exeFile = path;
    spec.modulePath = path;
    return AddProcess(spec);
}

bool IsRunning(DWORD processId)
{
    return ProcessIsAlive(processId);
}

std::vector<DWORD> RunningProcesses()
{
    std::vector<DWORD> ids;
    for (const Process& process : State().processes)
        if (process.alive) ids.push_back(process.id);
    return ids;
}

std::vector<DWORD> TerminatedProcesses()
{
    return State().terminated;
}

}  // namespace sim

// ---- kernel32 ---------------------------------------------------------------------
DWORD GetCurrentProcessId()
{
    sim::NoteCall("GetCurrentProcessId");
    return sim::kSelfId;
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD)
{
    sim::NoteCall("CreateToolhelp32Snapshot");
    auto* snapshot = new sim::SnapshotObject;
    if (flags & TH32CS_SNAPPROCESS)
        for (const sim::Process& process : sim::State().processes)
            if (process.alive)
                snapshot->entries.push_back({process.id, process.parentId, process.spec.exeFile});
    return sim::RegisterHandle(snapshot);
}

BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    sim::NoteCall("Process32First");
    return sim::NextEntry(snapshot, entry, true);
}

BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    sim::NoteCall("Process32Next");
    return sim::NextEntry(snapshot, entry, false);
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId)
{
    sim::NoteCall("OpenProcess");
    const sim::Process* process = sim::Find(processId);
    if (process == nullptr || !process->alive) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD granted = process->spec.canOpen ? process->spec.grantedRights : 0;
    // Every right asked for must be granted; MAXIMUM_ALLOWED takes what there is.
    DWORD rights = sim::SpecificRights(access);
    if (access & sim::kMaximumAllowed) rights |= granted;
    if (rights == 0 || (rights & ~granted) != 0) {
        sim::detail::SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* object = new sim::ProcessObject;
    object->id = processId;
    object->rights = rights;
    return sim::RegisterHandle(object);
}

BOOL TerminateProcess(HANDLE handle, UINT)
{
    sim::NoteCall("TerminateProcess");
    sim::ProcessObject* object = sim::Lookup(handle);
    if (object == nullptr) return sim::Fail(ERROR_INVALID_HANDLE);
    if (!(object->rights & PROCESS_TERMINATE)) return sim::Fail(ERROR_ACCESS_DENIED);
    sim::Process* process = sim::Find(object->id);
    // An ended process cannot be ended again: Windows answers access denied.
    if (process == nullptr || !process->alive || !process->spec.canTerminate)
        return sim::Fail(ERROR_ACCESS_DENIED);
    process->alive = false;
    sim::State().terminated.push_back(process->id);
    if (process->spec.exitMs == 0)
        sim::ReleaseFilesHeldBy(process->id);
    else
        sim::State().exiting.push_back({process->id, sim::NowMs() + process->spec.exitMs});
    return TRUE;
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation)
{
    sim::NoteCall("CreateProcessA");
    if (startupInfo == nullptr || processInformation == nullptr) return sim::Fail(ERROR_NOACCESS);
    if (applicationName == nullptr && commandLine == nullptr)
        return sim::Fail(ERROR_INVALID_PARAMETER);
    // An application name is taken as it is: never looked for elsewhere, no extension added.
    const std::string module = applicationName != nullptr
                                   ? std::string(applicationName)
                                   : sim::ProgramOfCommandLine(commandLine);
    if (const DWORD refusal = sim::StartRefusal(module)) return sim::Fail(refusal);
    if (currentDirectory != nullptr && !sim::FolderExists(currentDirectory))
        return sim::Fail(ERROR_DIRECTORY);

    sim::ProcessState& state = sim::State();
    sim::ProcessSpec spec;
    spec.exeFile = spec.modulePath = module;
    const DWORD processId = state.nextId;
    const DWORD threadId = state.nextId + 4;
    state.nextId += 8;
    state.processes.push_back({processId, sim::kSelfId, spec});

    sim::StartedProgram started;
    started.commandLine = commandLine != nullptr ? commandLine : module;
    const bool showGiven = (startupInfo->dwFlags & STARTF_USESHOWWINDOW) != 0;
    started.show = showGiven ? startupInfo->wShowWindow : static_cast<UINT>(SW_SHOWDEFAULT);
    started.module = module;
    started.currentFolder = currentDirectory != nullptr ? currentDirectory : "";
    started.processId = processId;
    sim::detail::RecordStartedProgram(started);

    auto* process = new sim::ProcessObject;
    process->id = processId;
    process->rights = sim::kAllProcessRights;
    processInformation->hProcess = sim::RegisterHandle(process);
    processInformation->hThread = sim::RegisterHandle(new sim::ThreadObject);
    processInformation->dwProcessId = processId;
    processInformation->dwThreadId = threadId;
    return TRUE;
}

BOOL QueryFullProcessImageNameA(HANDLE handle, DWORD flags, LPSTR name, PDWORD size)
{
    sim::NoteCall("QueryFullProcessImageNameA");
    sim::ProcessObject* object = sim::Lookup(handle);
    if (object == nullptr) return sim::Fail(ERROR_INVALID_HANDLE);
    if (!(object->rights & PROCESS_QUERY_LIMITED_INFORMATION))
        return sim::Fail(ERROR_ACCESS_DENIED);
    // Only the Win32 form (flags 0) is simulated, not the native one.
    if (flags != 0) return sim::Fail(ERROR_INVALID_PARAMETER);
    if (size == nullptr || (name == nullptr && *size > 0)) return sim::Fail(ERROR_NOACCESS);
    const sim::Process* process = sim::Find(object->id);
    if (process == nullptr) return sim::Fail(ERROR_INVALID_HANDLE);
    const std::string& path = process->spec.modulePath;
    if (*size <= path.size()) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(name, path.c_str(), path.size() + 1);
    *size = static_cast<DWORD>(path.size());
    return TRUE;
}

// ---- psapi ----------------------------------------------------------------------------
BOOL EnumProcesses(DWORD* processIds, DWORD size, LPDWORD returned)
{
    sim::NoteCall("EnumProcesses");
    if (returned == nullptr || (processIds == nullptr && size > 0)) return sim::Fail(ERROR_NOACCESS);
    DWORD count = 0;
    for (const sim::Process& process : sim::State().processes) {
        if (!process.alive) continue;
        if ((count + 1) * sizeof(DWORD) > size) break;
        processIds[count++] = process.id;
    }
    *returned = count * static_cast<DWORD>(sizeof(DWORD));
    return TRUE;
}

BOOL EnumProcessModules(HANDLE handle, HMODULE* modules, DWORD size, LPDWORD needed)
{
    sim::NoteCall("EnumProcessModules");
    sim::ProcessObject* object = sim::Lookup(handle);
    if (object == nullptr) return sim::Fail(ERROR_INVALID_HANDLE);
    const DWORD required = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    if ((object->rights & required) != required) return sim::Fail(ERROR_ACCESS_DENIED);
    const sim::Process* process = sim::Find(object->id);
    if (process == nullptr || !process->alive || !process->spec.canEnumModules)
        return sim::Fail(ERROR_PARTIAL_COPY);
    if (needed == nullptr || (modules == nullptr && size > 0)) return sim::Fail(ERROR_NOACCESS);
    const HMODULE list[2] = {reinterpret_cast<HMODULE>(sim::detail::kExeModuleBase),
                             reinterpret_cast<HMODULE>(sim::detail::kNtdllModuleBase)};
    const DWORD fit = std::min<DWORD>(2, size / static_cast<DWORD>(sizeof(HMODULE)));
    for (DWORD i = 0; i < fit; ++i) modules[i] = list[i];
    *needed = 2 * static_cast<DWORD>(sizeof(HMODULE));
    return TRUE;
}

DWORD GetModuleFileNameExA(HANDLE handle, HMODULE module, LPSTR name, DWORD size)
{
    sim::NoteCall("GetModuleFileNameExA");
    sim::ProcessObject* object = sim::Lookup(handle);
    if (object == nullptr) return sim::Fail(ERROR_INVALID_HANDLE);
    const DWORD required = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    if ((object->rights & required) != required) return sim::Fail(ERROR_ACCESS_DENIED);
    const sim::Process* process = sim::Find(object->id);
    if (process == nullptr || !process->alive || !process->spec.canEnumModules)
        return sim::Fail(ERROR_PARTIAL_COPY);
    std::string path;
    if (!sim::ModulePath(*process, module, path)) return sim::Fail(ERROR_INVALID_HANDLE);
    if (name == nullptr || size == 0) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    // A short buffer gets the path cut to fit with its NUL, and its size back.
    if (path.size() >= size) {
        std::memcpy(name, path.data(), size - 1);
        name[size - 1] = '\0';
        return size;
    }
    std::memcpy(name, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
