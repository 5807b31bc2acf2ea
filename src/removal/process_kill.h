#pragma once

#include <string>

#include "scan/shared_state.h"

// Terminates processes whose executable's file name is `targetName` (any
// case) and returns how many it ended. The program's own process is never
// terminated; an ended explorer.exe sets gExplorerEnded.
int KillProcessByName(const std::wstring& targetName, Boolean killAll);
int KillProcessByNameNt(const std::wstring& targetName, Boolean killAll);
// "\??\C:\..." -> "C:\...", "%Systemroot%" -> Windows folder, "Systemroot" -> system folder.
std::wstring NormaliseModulePath(const std::wstring& path);
// Starts the shell again: the Windows folder's explorer.exe, minimised, without waiting.
void StartShell();
