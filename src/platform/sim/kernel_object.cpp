#include "platform/sim/kernel_object.h"

#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>

#include "platform/sim/machine.h"

namespace sim {
namespace {

std::unordered_map<void*, std::unique_ptr<KernelObject>>& Table()
{
    static std::unordered_map<void*, std::unique_ptr<KernelObject>> table;
    return table;
}

std::function<void(const char*)>& Hook()
{
    static std::function<void(const char*)> hook;
    return hook;
}

}  // namespace

void* RegisterHandle(KernelObject* object)
{
    Table()[object].reset(object);
    return object;
}

KernelObject* LookupHandle(void* handle, const char* kind)
{
    auto found = Table().find(handle);
    if (found == Table().end()) return nullptr;
    if (kind != nullptr && std::strcmp(found->second->Kind(), kind) != 0) return nullptr;
    return found->second.get();
}

bool ReleaseHandle(void* handle)
{
    return Table().erase(handle) == 1;
}

int LiveHandleCount()
{
    return static_cast<int>(Table().size());
}

void ReleaseAllHandles()
{
    Table().clear();
}

void NoteCall(const char* function)
{
    if (Hook()) Hook()(function);
}

void SetCallHook(std::function<void(const char* function)> hook)
{
    Hook() = std::move(hook);
}

int OpenHandles()
{
    return LiveHandleCount();
}

void Reset()
{
    ReleaseAllHandles();
    Hook() = nullptr;
    ResetSystem();
    ResetFiles();
    ResetRegistry();
    ResetProcesses();
    ResetServices();
}

}  // namespace sim

// Files, processes, threads and snapshots close with CloseHandle; searches,
// keys and service handles have their own close calls, as on Windows.
BOOL CloseHandle(HANDLE object)
{
    sim::NoteCall("CloseHandle");
    for (const char* kind : {"file", "process", "thread", "snapshot"}) {
        if (sim::LookupHandle(object, kind) != nullptr) return sim::ReleaseHandle(object);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
