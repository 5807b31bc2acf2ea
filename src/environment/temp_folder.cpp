#include "environment/temp_folder.h"

#include "environment/paths.h"
#include "forms/ui.h"
#include "removal/infected_file.h"

void CleanTempFolder() { CleanFolder(GetTempDir()); }

void CleanFolder(const std::wstring& folder)
{
    // An empty folder would make the search run in the current folder, which
    // is not the temporary folder: nothing may be deleted there. The walk
    // visits nothing then.
    ForEachFolderEntry(folder, [&](const std::wstring& name, DWORD) {
        if (name != L"." && name != L"..") {
            ui::SetStatus(L"Cleaning: " + name);
            RemoveInfectedFile(folder, name);
        }
        return true;
    });
}
