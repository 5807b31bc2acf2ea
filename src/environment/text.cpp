// Placeholder until this module is built.
#include "environment/text.h"

std::wstring LCase(const std::wstring& text) { return text; }
bool ContainsNoCase(const std::wstring&, const std::wstring&) { return false; }
bool EqualsNoCase(const std::wstring&, const std::wstring&) { return false; }
std::wstring ReplaceNoCase(const std::wstring& text, const std::wstring&, const std::wstring&) { return text; }
bool EndsWith(const std::wstring&, const std::wstring&) { return false; }
