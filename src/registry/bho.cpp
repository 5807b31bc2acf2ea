#include "registry/bho.h"

#include "environment/text.h"
#include "registry/reg_helpers.h"

namespace {

const wchar_t kBhoKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

}  // namespace

void RemoveBhoForFile(const std::wstring& filePath)
{
    // An unregistered class reads as the empty server path; an empty path must not match it.
    if (filePath.empty()) return;
    const std::wstring wanted = LCase(filePath);

    VisitSubKeys(HKEY_LOCAL_MACHINE, kBhoKey, [&](const std::wstring& classId) {
        // Compared as stored: quoted, short (8.3) or unexpanded paths do not match.
        const std::wstring server =
            RegReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\InProcServer32", L"");
        if (LCase(server) != wanted) return false;

        const bool removed = SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                                          platform::ToAnsi(std::wstring(kBhoKey) + L"\\" + classId)
                                              .c_str()) == ERROR_SUCCESS;
        SHDeleteKeyA(HKEY_CLASSES_ROOT, platform::ToAnsi(L"CLSID\\" + classId).c_str());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                     platform::ToAnsi(L"SOFTWARE\\Classes\\CLSID\\" + classId).c_str());
        return removed;
    });
}
