#pragma once

#include <string>

#include "scan/shared_state.h"

// Terminates processes whose executable path contains `targetName` (any case).
// The program's own process is never terminated.
void KillProcessByName(const std::wstring& targetName, Boolean killAll);
void KillProcessByNameNt(const std::wstring& targetName, Boolean killAll);
// "\??\C:\..." -> "C:\...", "%Systemroot%" -> Windows folder, "Systemroot" -> system folder.
std::wstring NormaliseModulePath(const std::wstring& path);
