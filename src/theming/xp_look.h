#pragma once

#include <string>

void EnsureStyleManifest(bool restartAfterWrite, bool deleteIfPresent, bool overwrite);
double GetWindowsVersionNumber();
bool IsXpOrLater();
bool HasThemeLibrary();
std::wstring AddPathSeparator(const std::wstring& folder);
// The manifest template (placeholders still in it) and the filled text.
std::string StyleManifestTemplate();
std::string FillStyleManifest(const std::string& templateText, const std::string& exeName,
                              const std::string& exeVersion, const std::string& description,
                              const std::string& company);
