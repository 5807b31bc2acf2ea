#include "environment/folder_listing.h"

#include <cwchar>

#include "environment/exact_names.h"
#include "environment/platform_family.h"
#include "environment/text.h"
#include "session/ui.h"

namespace {

template <size_t size>
std::wstring FieldText(const WCHAR (&field)[size])
{
    size_t length = 0;
    while (length < size && field[length] != 0) ++length;
    return platform::FromUtf16(field, length);
}

FolderEntry FromUnicodeRecord(const WIN32_FIND_DATAW& record)
{
    FolderEntry entry;
    entry.listedName = FieldText(record.cFileName);
    entry.attributes = record.dwFileAttributes;
    // The short name is ASCII where Windows makes one; it is checked all the same.
    const std::wstring shortName = FieldText(record.cAlternateFileName);
    if (IsExactName(entry.listedName, kNotInFileNames))
        entry.name = entry.listedName;
    else if (IsExactName(shortName, kNotInFileNames))
        entry.name = shortName;
    return entry;
}

FolderEntry FromAnsiRecord(const WIN32_FIND_DATAA& record)
{
    FolderEntry entry;
    entry.listedName = TrimNull(platform::FromAnsi(record.cFileName, sizeof(record.cFileName)));
    entry.attributes = record.dwFileAttributes;
    // A "?" stands for a character the code page has no byte for, a "\\" or
    // ":" for a look-alike of one: such a name is shown, never used.
    if (IsExactName(entry.listedName, kNotInFileNames)) {
        entry.name = entry.listedName;
    } else {
        for (wchar_t& c : entry.listedName)
            if (std::wcschr(kNotInFileNames, c) != nullptr) c = L'?';
    }
    return entry;
}

template <typename Record, typename First, typename Next, typename Convert>
void Walk(const std::wstring& pattern, First first, Next next, Convert convert,
          const std::function<bool(const FolderEntry&)>& visit)
{
    Record record;
    platform::HeldFind search(first(pattern, &record));
    if (!search.valid()) return;
    bool more = true;
    while (more) {
        if (!visit(convert(record))) break;
        more = next(search.get(), &record) != FALSE;
        ui::PumpMessages();
    }
}

}  // namespace

void ForEachFolderEntry(const std::wstring& folder,
                        const std::function<bool(const FolderEntry& entry)>& visit)
{
    if (folder.empty()) return;
    const std::wstring pattern = folder + L"*.*";
    if (IsNtFamily()) {
        Walk<WIN32_FIND_DATAW>(
            pattern,
            [](const std::wstring& text, WIN32_FIND_DATAW* record) {
                return FindFirstFileW(platform::ToUtf16(text).c_str(), record);
            },
            FindNextFileW, FromUnicodeRecord, visit);
    } else {
        Walk<WIN32_FIND_DATAA>(
            pattern,
            [](const std::wstring& text, WIN32_FIND_DATAA* record) {
                return FindFirstFileA(platform::ToAnsi(text).c_str(), record);
            },
            FindNextFileA, FromAnsiRecord, visit);
    }
}
