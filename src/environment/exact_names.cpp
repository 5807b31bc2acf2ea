#include "environment/exact_names.h"

#include "platform/win32.h"

const wchar_t kNotInFileNames[] = L"\\/:*?\"<>|";

bool IsExactName(const std::wstring& name, const wchar_t* forbidden)
{
    // A NUL ends the name in every ANSI call: what follows it would be lost.
    return !name.empty() && name.find(L'\0') == std::wstring::npos &&
           name.find_first_of(forbidden) == std::wstring::npos && platform::HasExactAnsiForm(name);
}
