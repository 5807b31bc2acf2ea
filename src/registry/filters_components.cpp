#include "registry/filters_components.h"

#include "environment/text.h"
#include "registry/reg_helpers.h"

namespace {

const wchar_t kComponentsKey[] = L"Software\\Microsoft\\Internet Explorer\\Desktop\\Components";

// The MIME filters the hijacker registers for the pages it rewrites.
const wchar_t* const kFilterKeys[] = {
    L"SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/html",
    L"SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/plain",
};

}  // namespace

void RemoveProtocolFilters()
{
    for (const wchar_t* key : kFilterKeys)
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, platform::ToAnsi(key).c_str());
}

void RemoveDesktopComponents()
{
    const std::wstring wanted = LCase(L"Warning homepage");
    VisitSubKeys(HKEY_CURRENT_USER, kComponentsKey, [&](const std::wstring& name) {
        const std::wstring component = std::wstring(kComponentsKey) + L"\\" + name;
        const std::wstring friendly =
            TrimNull(RegReadString(HKEY_CURRENT_USER, component, L"FriendlyName"));
        if (LCase(friendly) != wanted) return false;
        return SHDeleteKeyA(HKEY_CURRENT_USER, platform::ToAnsi(component).c_str()) == ERROR_SUCCESS;
    });
}
