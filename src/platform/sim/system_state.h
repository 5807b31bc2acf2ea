// What the system half of the simulated Windows shares between its areas:
// the platform facts the processes and services follow, and the name
// comparison Windows applies to registry keys and service names.
#pragma once

#include <string>

#include "platform/sim/machine.h"

namespace sim {
namespace detail {

// Where the program's executable and ntdll are mapped in every process.
constexpr uintptr_t kExeModuleBase = 0x00400000;
constexpr uintptr_t kNtdllModuleBase = 0x7C900000;

Family CurrentFamily();
const std::string& ProgramPath();
const std::string& WindowsDir();
const std::string& SystemDir();

// The program's own process follows SetModulePath.
void SetSelfProcessPath(const std::string& path);
// A program CreateProcessA started, for StartedPrograms.
void RecordStartedProgram(const StartedProgram& program);
// The service manager follows the platform family unless a test forced it.
void FollowFamilyForServiceManager(Family family);

// The last-error value without passing through the call hook.
void SetError(DWORD error);
// The virtual clock's local time as a FILETIME (100 ns units since 1601).
FILETIME NowFileTime();

// Upper-cases code page 1252 text the way Windows folds names.
std::string FoldName(const std::string& name);
bool SameName(const std::string& a, const std::string& b);

}  // namespace detail
}  // namespace sim
