#include "registry/ie_reset.h"

#include "registry/reg_helpers.h"

namespace {

const wchar_t kHomeRedirect[] = L"http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";
const wchar_t kSearchPage[] = L"http://home.microsoft.com/search/search.asp";
const wchar_t kMain[] = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t kSearch[] = L"Software\\Microsoft\\Internet Explorer\\Search";

struct ResetRow {
    HKEY root;
    const wchar_t* key;
    const wchar_t* valueName;
    const wchar_t* data;
};

// Written in this order. Several values get the other address under
// HKEY_LOCAL_MACHINE than under HKEY_CURRENT_USER; each row stands as written.
const ResetRow kResetRows[] = {
    {HKEY_CURRENT_USER, kMain, L"Search Page", kSearchPage},
    {HKEY_CURRENT_USER, kMain, L"Search Bar", kSearchPage},
    {HKEY_CURRENT_USER, kMain, L"Start Page", kHomeRedirect},
    {HKEY_CURRENT_USER, kMain, L"Default_Page_URL", kSearchPage},
    {HKEY_CURRENT_USER, kMain, L"Default_Search_URL", kHomeRedirect},
    {HKEY_CURRENT_USER, kMain, L"SearchAssistant", kHomeRedirect},
    {HKEY_CURRENT_USER, kMain, L"HomeOldSP", kHomeRedirect},
    {HKEY_LOCAL_MACHINE, kMain, L"Start Page", kHomeRedirect},
    {HKEY_LOCAL_MACHINE, kMain, L"Search Bar", kHomeRedirect},
    {HKEY_LOCAL_MACHINE, kMain, L"Search Page", kSearchPage},
    {HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL", kHomeRedirect},
    {HKEY_LOCAL_MACHINE, kMain, L"Default_Search_URL", kSearchPage},
    {HKEY_LOCAL_MACHINE, kMain, L"SearchAssistant", kSearchPage},
    {HKEY_LOCAL_MACHINE, kMain, L"HomeOldSP", kSearchPage},
    {HKEY_CURRENT_USER, kSearch, L"SearchAssistant", kSearchPage},
    {HKEY_LOCAL_MACHINE, kSearch, L"SearchAssistant", kSearchPage},
};

}  // namespace

void ResetIeSettings()
{
    for (const ResetRow& row : kResetRows) RegWriteString(row.root, row.key, row.valueName, row.data);
}
