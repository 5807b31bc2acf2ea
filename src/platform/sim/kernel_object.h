// Handles of the simulated Windows: every HANDLE, HKEY and SC_HANDLE the
// simulation gives out points at a live KernelObject, so a stale or forged
// handle is recognised instead of dereferenced.
#pragma once

#include <string>

#include "platform/sim/simwin.h"

namespace sim {

struct KernelObject {
    virtual ~KernelObject() = default;
    virtual const char* Kind() const = 0;  // "file", "find", "key", "process", "thread", "snapshot", "service", "manager"
};

// Registers a new object and returns it as a handle.
void* RegisterHandle(KernelObject* object);
// The live object behind `handle` if it is of `kind`, else nullptr.
KernelObject* LookupHandle(void* handle, const char* kind);
// Destroys the object; false when the handle is not live.
bool ReleaseHandle(void* handle);
int LiveHandleCount();
void ReleaseAllHandles();

// Each area of the simulation resets its own state; Reset() calls them all.
void ResetFiles();
void ResetRegistry();
void ResetProcesses();
void ResetServices();
void ResetSystem();

// Called by every Win32 entry point of the simulation (the call hook).
void NoteCall(const char* function);

}  // namespace sim

namespace sim {
// Between areas of the simulation.
LONG NtQueryInformationFileSim(HANDLE file, PVOID ioStatusBlock, PVOID buffer, ULONG length,
                               ULONG informationClass);   // files
void ReleaseFilesHeldBy(DWORD processId);                 // files, when a process ends
bool ProcessIsAlive(DWORD processId);                     // processes
void FinishExitsDue();                                    // processes, when the clock moves
}  // namespace sim
