// The system's folders, the program's own, and one spelling for the paths of
// folders and files. Nothing here fails loudly: a failure gives the empty
// string and the caller carries on.
#pragma once

#include <string>

#include "platform/win32.h"

std::wstring GetWindowsDir();              // no trailing backslash (unless a drive root)
std::wstring GetSystemDir();               // no trailing backslash
std::wstring GetTempDir();                 // ends with a backslash; empty when it does not fit
std::wstring GetShortName(const std::wstring& path);  // 8.3 form; empty when missing

// The running executable's full path, its folder (no trailing backslash) and
// its base name; all empty when the path does not fit MAX_PATH.
std::wstring GetProgramPath();
std::wstring GetProgramFolder();
std::wstring GetProgramBaseName();

// The user's profile folder (USERPROFILE); empty where there is none (Windows 9x).
std::wstring GetProfileDir();

// The last component of a path.
std::wstring FileNameOf(const std::wstring& path);

// One spelling per folder, so that two names of the same folder compare equal:
// the full path ("." and ".." resolved, relative names taken from the current
// folder, no "\\?\" prefix), in its short (8.3) form when the folder exists,
// lower-cased, ending with a backslash. A folder without a trailing backslash
// is taken as written ("C:" is the current folder of drive C). Empty when no
// full path can be made.
std::wstring ComparableFolder(const std::wstring& folder);

// One spelling per file, so that two names of the same file compare equal:
// its full path, in its long form where the file exists, lower-cased. The NT
// family's paths are taken in Unicode, so that no look-alike of another
// file's name can compare equal. Empty when no full path can be made.
std::wstring ComparablePath(const std::wstring& path);

// The activity log, beside the program.
extern const wchar_t kLogFileName[];
