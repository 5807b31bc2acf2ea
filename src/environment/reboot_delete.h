#pragma once

#include <string>

// Schedules `path` for deletion at the next start of Windows. Returns whether
// the deletion was really scheduled; only then is gRebootNeeded set.
bool DeleteOnReboot(const std::wstring& path);
