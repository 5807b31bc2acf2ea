#pragma once

#include <string>

#include "platform/win32.h"

// Removes folder + name with the processes and autorun values that keep it alive.
void RemoveInfectedFile(const std::wstring& folder, const std::wstring& name);
// Opens hive\key with access 0x3F, deletes the value, closes the key.
void RemoveRegistryValue(HKEY hive, const std::wstring& key, const std::wstring& valueName);
