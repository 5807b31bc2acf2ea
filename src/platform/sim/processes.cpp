// The simulated process list: the toolhelp snapshot, the psapi walk and the
// rights a process handle carries, with termination ending the process and
// releasing the files it held.
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

struct ProcessState {
    std::vector<Process> processes;  // in creation order, the order Windows lists them
    std::vector<DWORD> terminated;
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

const DWORD kAllProcessRights = 0x001F0FFF;

DWORD SpecificRights(DWORD access)
{
    DWORD rights = access & kAllProcessRights;
    if (access & (0x10000000u | 0x02000000u)) rights |= kAllProcessRights;  // GENERIC_ALL, MAXIMUM_ALLOWED
    if (access & 0x80000000u) rights |= PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;
    if (access & 0x20000000u) rights |= PROCESS_TERMINATE;  // GENERIC_EXECUTE
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
    if (!process->spec.canOpen) {
        sim::detail::SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* object = new sim::ProcessObject;
    object->id = processId;
    object->rights = sim::SpecificRights(access);
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
    sim::ReleaseFilesHeldBy(process->id);
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
