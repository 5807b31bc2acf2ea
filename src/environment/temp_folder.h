#pragma once

#include <string>

// Empties the temporary folder; false when it was refused (see CleanFolder).
bool CleanTempFolder();
// Hands every entry directly in `folder` (ending with a backslash) to
// RemoveInfectedFile. A folder that is not plainly a temporary one is
// refused with one activity-list line: nothing is deleted or ended, and the
// result is false.
bool CleanFolder(const std::wstring& folder);
// False for a drive's root, the Windows or system folder or a folder above
// them, the user's profile folder or one above it, and the program's own
// folder, however they are spelt; also for a path that does not end with a
// backslash or cannot be resolved.
bool IsPlainTemporaryFolder(const std::wstring& folder);
