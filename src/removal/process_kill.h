#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "session/shared_state.h"

// Every process that is ended below is ended by the identifier under which it
// was examined, never the program's own; an ended explorer.exe sets
// gExplorerEnded. Each returns how many processes it ended.

// Terminates processes whose executable's file name is `targetName` (any
// case), wherever they run from.
int KillProcessByName(const std::wstring& targetName, Boolean killAll);
int KillProcessByNameNt(const std::wstring& targetName, Boolean killAll);

// Terminates the processes that run the very file at `path`: their
// executable, however it is spelt, is that file. Programs elsewhere with the
// same file name are left alone.
int EndProcessesRunning(const std::wstring& path);

// A running process and its executable in the form ComparablePath gives.
struct RunningProcess {
    DWORD id;
    std::wstring image;
};
// The running processes but this one, read once; those whose executable
// cannot be named are left out.
std::vector<RunningProcess> ListRunningProcesses();
// EndProcessesRunning for processes listed earlier: each is examined again
// before it is ended.
int EndProcessesRunning(const std::vector<RunningProcess>& listed, const std::wstring& path);

// Terminates the processes whose executable's file name is `processName`
// (explorer.exe, rundll32.exe) and that have the file at `path` loaded. A
// process whose modules cannot be read is left alone.
int EndProcessesWithModule(const std::wstring& processName, const std::wstring& path);

// "\??\C:\..." -> "C:\...", "%Systemroot%" -> Windows folder, "Systemroot" -> system folder.
std::wstring NormaliseModulePath(const std::wstring& path);
