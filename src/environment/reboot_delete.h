#pragma once

#include <string>

// Schedules `path` for deletion at the next start of Windows and sets gRebootNeeded.
void DeleteOnReboot(const std::wstring& path);
