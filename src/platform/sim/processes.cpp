// The simulated process list: the toolhelp snapshots of processes and
// modules, the psapi walk, the image-name query and the rights a process
// handle carries, with termination ending the process and releasing the files
// it held; starting a program adds a process. Image and module paths are
// Unicode (UTF-8 here); the A calls report their best fit.
#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

struct Process {
    DWORD id;
    DWORD parentId;
    ProcessSpec spec;
    bool alive = true;
    std::vector<std::string> libraries{};  // loaded after start, in order
};

// Libraries load at their preferred base, one after another.
constexpr uintptr_t kLibraryBase = 0x10000000;
constexpr uintptr_t kLibraryStride = 0x00100000;
constexpr DWORD kModuleSize = 0x00010000;

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

// A module of a process: where it is mapped and its file.
struct Module {
    uintptr_t base;
    std::string path;
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
    DWORD moduleOwner = 0;
    std::vector<Module> modules;
    size_t nextModule = 0;
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

// The image's path as NT's wide queries report it.
std::string ImagePath(const ProcessSpec& spec)
{
    if (!spec.imagePath.empty()) return names::FromWstring(spec.imagePath);
    return names::FromAnsi(spec.modulePath);
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the process snapshot names a process by.
std::string SnapshotName(const ProcessSpec& spec)
{
    if (!spec.exeFile.empty() || spec.imagePath.empty()) return spec.exeFile;
    return names::ToAnsi(FileNameOf(names::FromWstring(spec.imagePath)));
}

// The executable, ntdll, then the libraries it loaded.
std::vector<Module> Modules(const Process& process)
{
    std::vector<Module> modules = {{detail::kExeModuleBase, ImagePath(process.spec)},
                                   {detail::kNtdllModuleBase, names::FromAnsi(detail::SystemDir() + "\\ntdll.dll")}};
    for (size_t i = 0; i < process.libraries.size(); ++i)
        modules.push_back({kLibraryBase + i * kLibraryStride, process.libraries[i]});
    return modules;
}

// The module a psapi call names: one of the list, NULL for the executable.
bool ModulePath(const Process& process, HMODULE module, std::string& path)
{
    const auto base = module == nullptr ? detail::kExeModuleBase : reinterpret_cast<uintptr_t>(module);
    for (const Module& loaded : Modules(process)) {
        if (loaded.base == base) {
            path = loaded.path;
            return true;
        }
    }
    return false;
}

BOOL NextModule(HANDLE snapshot, LPMODULEENTRY32 entry, bool first)
{
    auto* object = static_cast<SnapshotObject*>(LookupHandle(snapshot, "snapshot"));
    if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (entry == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (entry->dwSize < sizeof(MODULEENTRY32)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (first) object->nextModule = 0;
    if (object->nextModule >= object->modules.size()) return Fail(ERROR_NO_MORE_FILES);
    const Module& from = object->modules[object->nextModule++];
    const DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof(MODULEENTRY32));
    entry->dwSize = size;
    entry->th32ModuleID = 1;
    entry->th32ProcessID = object->moduleOwner;
    entry->GlblcntUsage = entry->ProccntUsage = 0xFFFF;
    entry->modBaseAddr = reinterpret_cast<BYTE*>(from.base);
    entry->modBaseSize = kModuleSize;
    entry->hModule = reinterpret_cast<HMODULE>(from.base);
    std::strncpy(entry->szModule, names::ToAnsi(FileNameOf(from.path)).c_str(), MAX_MODULE_NAME32);
    std::strncpy(entry->szExePath, names::ToAnsi(from.path).c_str(), MAX_PATH - 1);
    return TRUE;
}

// The module list of a process for a snapshot, or the reason there is none.
DWORD SnapshotModules(DWORD processId, SnapshotObject& snapshot)
{
    const Process* process = Find(processId == 0 ? kSelfId : processId);
    if (process == nullptr || !process->alive) return ERROR_INVALID_PARAMETER;
    if (!process->spec.canOpen) return ERROR_ACCESS_DENIED;
    if (!process->spec.canEnumModules) return ERROR_PARTIAL_COPY;
    snapshot.moduleOwner = process->id;
    snapshot.modules = Modules(*process);
    return 0;
}

// The process whose modules a handle may read, or nullptr with the reason.
const Process* ModuleQuery(HANDLE handle, DWORD& error)
{
    ProcessObject* object = Lookup(handle);
    const DWORD required = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    const Process* process = object != nullptr ? Find(object->id) : nullptr;
    if (object == nullptr) error = ERROR_INVALID_HANDLE;
    else if ((object->rights & required) != required) error = ERROR_ACCESS_DENIED;
    else if (process == nullptr || !process->alive || !process->spec.canEnumModules) error = ERROR_PARTIAL_COPY;
    else return process;
    return nullptr;
}

template <typename Char>
DWORD ModuleFileName(HANDLE handle, HMODULE module, Char* name, DWORD size)
{
    DWORD error = 0;
    const Process* process = ModuleQuery(handle, error);
    if (process == nullptr) return Fail(error);
    std::string utf8;
    if (!ModulePath(*process, module, utf8)) return Fail(ERROR_INVALID_HANDLE);
    if (name == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER);
    const auto path = names::ForCall(utf8, name);
    // A short buffer gets the path cut to fit with its NUL, and its size back.
    if (path.size() >= size) {
        std::copy(path.begin(), path.begin() + (size - 1), name);
        name[size - 1] = 0;
        return size;
    }
    std::copy(path.begin(), path.end(), name);
    name[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

template <typename Char>
BOOL ImageName(HANDLE handle, DWORD flags, Char* name, PDWORD size)
{
    ProcessObject* object = Lookup(handle);
    if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->rights & PROCESS_QUERY_LIMITED_INFORMATION)) return Fail(ERROR_ACCESS_DENIED);
    // Only the Win32 form (flags 0) is simulated, not the native one.
    if (flags != 0) return Fail(ERROR_INVALID_PARAMETER);
    if (size == nullptr || (name == nullptr && *size > 0)) return Fail(ERROR_NOACCESS);
    const Process* process = Find(object->id);
    if (process == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const auto path = names::ForCall(ImagePath(process->spec), name);
    if (*size <= path.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::copy(path.begin(), path.end(), name);
    name[path.size()] = 0;
    *size = static_cast<DWORD>(path.size());
    return TRUE;
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
    if (Process* self = Find(kSelfId)) {
        self->spec.exeFile = self->spec.modulePath = path;
        self->spec.imagePath.clear();
    }
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

void LoadModule(DWORD processId, const std::string& path)
{
    LoadModule(processId, names::ToWstring(names::FromAnsi(path)));
}

void LoadModule(DWORD processId, const std::wstring& path)
{
    Process* process = Find(processId);
    if (process == nullptr) throw std::invalid_argument("no such process: " + std::to_string(processId));
    process->libraries.push_back(names::FromWstring(path));
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

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId)
{
    sim::NoteCall("CreateToolhelp32Snapshot");
    auto snapshot = std::make_unique<sim::SnapshotObject>();
    if (flags & TH32CS_SNAPPROCESS)
        for (const sim::Process& process : sim::State().processes)
            if (process.alive)
                snapshot->entries.push_back({process.id, process.parentId, sim::SnapshotName(process.spec)});
    if (flags & TH32CS_SNAPMODULE) {
        if (const DWORD error = sim::SnapshotModules(processId, *snapshot)) {
            sim::Fail(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    return sim::RegisterHandle(snapshot.release());
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

BOOL Module32First(HANDLE snapshot, LPMODULEENTRY32 entry)
{
    sim::NoteCall("Module32First");
    return sim::NextModule(snapshot, entry, true);
}

BOOL Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry)
{
    sim::NoteCall("Module32Next");
    return sim::NextModule(snapshot, entry, false);
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
    return sim::ImageName(handle, flags, name, size);
}

BOOL QueryFullProcessImageNameW(HANDLE handle, DWORD flags, LPWSTR name, PDWORD size)
{
    sim::NoteCall("QueryFullProcessImageNameW");
    return sim::ImageName(handle, flags, name, size);
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
    DWORD error = 0;
    const sim::Process* process = sim::ModuleQuery(handle, error);
    if (process == nullptr) return sim::Fail(error);
    if (needed == nullptr || (modules == nullptr && size > 0)) return sim::Fail(ERROR_NOACCESS);
    const std::vector<sim::Module> list = sim::Modules(*process);
    const size_t fit = std::min<size_t>(list.size(), size / sizeof(HMODULE));
    for (size_t i = 0; i < fit; ++i) modules[i] = reinterpret_cast<HMODULE>(list[i].base);
    *needed = static_cast<DWORD>(list.size() * sizeof(HMODULE));
    return TRUE;
}

DWORD GetModuleFileNameExA(HANDLE handle, HMODULE module, LPSTR name, DWORD size)
{
    sim::NoteCall("GetModuleFileNameExA");
    return sim::ModuleFileName(handle, module, name, size);
}

DWORD GetModuleFileNameExW(HANDLE handle, HMODULE module, LPWSTR name, DWORD size)
{
    sim::NoteCall("GetModuleFileNameExW");
    return sim::ModuleFileName(handle, module, name, size);
}
