// Text rules shared by every stage: names are compared by lower-casing both
// sides, paths are searched case-insensitively.
#pragma once

#include <string>

std::wstring LCase(const std::wstring& text);
bool ContainsNoCase(const std::wstring& text, const std::wstring& part);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
// Every occurrence of `from`, found regardless of case, replaced by `to`.
std::wstring ReplaceNoCase(const std::wstring& text, const std::wstring& from,
                           const std::wstring& to);
bool EndsWith(const std::wstring& text, const std::wstring& tail);
// The text up to its first NUL character (all of it when there is none).
std::wstring TrimNull(const std::wstring& text);
