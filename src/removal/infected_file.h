#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "removal/process_kill.h"

// Removes folder + name with the processes and autorun values that keep it alive.
void RemoveInfectedFile(const std::wstring& folder, const std::wstring& name);
// The same for one of the user's temporary files: the processes come from a
// list read once for the whole cleaning, and an autorun value goes only when
// its data names this very file.
void RemoveTemporaryFile(const std::wstring& folder, const std::wstring& name,
                         const std::vector<RunningProcess>& processes);
// Opens hive\key with access 0x3F, deletes the value, closes the key.
void RemoveRegistryValue(HKEY hive, const std::wstring& key, const std::wstring& valueName);
// Whether a command line (an autorun value's data) names the file: its
// program, quoted or not, or an argument that is a full path (rundll32's
// library, its ",entry" cut off).
bool CommandNamesFile(const std::wstring& command, const std::wstring& path);
