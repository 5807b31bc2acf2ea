// Placeholder until this module is built.
#include "theming/xp_look.h"

void EnsureStyleManifest(bool, bool, bool) {}
double GetWindowsVersionNumber() { return 0; }
bool IsXpOrLater() { return false; }
bool HasThemeLibrary() { return false; }
std::wstring AddPathSeparator(const std::wstring& folder) { return folder; }
std::string StyleManifestTemplate() { return {}; }
std::string FillStyleManifest(const std::string& t, const std::string&, const std::string&, const std::string&, const std::string&) { return t; }
