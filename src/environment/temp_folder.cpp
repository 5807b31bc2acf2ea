#include "environment/temp_folder.h"

#include <cstring>

#include "environment/paths.h"
#include "forms/ui.h"
#include "platform/win32.h"
#include "removal/infected_file.h"

void CleanTempFolder() { CleanFolder(GetTempDir()); }

void CleanFolder(const std::wstring& folder)
{
    // An empty folder would make the search run in the current folder, which
    // is not the temporary folder: nothing may be deleted there.
    if (folder.empty()) return;

    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(platform::ToAnsi(folder + L"*.*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;

    for (;;) {
        const std::wstring name =
            TrimNull(platform::FromAnsi(entry.cFileName, strnlen(entry.cFileName, MAX_PATH)));
        if (name != L"." && name != L"..") {
            ui::SetStatus(L"Cleaning: " + name);
            RemoveInfectedFile(folder, name);
        }
        const BOOL more = FindNextFileA(search, &entry);
        ui::PumpMessages();
        if (!more) break;
    }
    FindClose(search);
}
