// modXpLook: the transient side-by-side manifest that gives the windows the
// system's visual style, and the self-restart that makes Windows read it.
#pragma once

#include <string>

// Writes "<name>.exe.manifest" beside the program and restarts it, or deletes
// the manifest a previous instance left for this one.
void EnsureStyleManifest(bool restartAfterWrite, bool deleteIfPresent, bool overwrite);

// The Windows version in hundredths (major * 100 + minor): 500 for Windows 2000,
// 501 for XP, 600 for Vista. Whole numbers, so no decimal separator is involved.
int GetWindowsVersionNumber();
bool IsXpOrLater();
bool HasThemeLibrary();
// IsThemeActive from uxtheme.dll, looked up at run time; false where it is missing.
bool IsVisualStyleActive();

// The folder with exactly one trailing backslash (surrounding spaces trimmed).
std::wstring AddPathSeparator(const std::wstring& folder);

// What follows the program's own name on its command line, passed on unchanged.
std::string CommandLineArguments(const std::string& commandLine);

// The manifest template (placeholders still in it) and the filled text.
std::string StyleManifestTemplate();
std::string FillStyleManifest(const std::string& templateText, const std::string& exeName,
                              const std::string& exeVersion, const std::string& description,
                              const std::string& company);
