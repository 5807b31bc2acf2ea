#include "environment/temp_folder.h"

#include "environment/paths.h"
#include "forms/ui.h"
#include "removal/infected_file.h"

namespace {

const wchar_t kRefusedLine[] = L"Temp Files not removed! Not a temporary folder: ";

// "c:\" or "\\server\share\", in the form ComparableFolder gives.
bool IsRoot(const std::wstring& comparable)
{
    if (comparable.rfind(L"\\\\", 0) == 0) {
        size_t separators = 0;
        for (size_t i = 2; i < comparable.size(); ++i) separators += comparable[i] == L'\\';
        return separators <= 2;
    }
    return comparable.size() <= 3;
}

// Both in the form ComparableFolder gives, so a prefix is a parent folder.
bool IsAtOrAbove(const std::wstring& folder, const std::wstring& other)
{
    return other.compare(0, folder.size(), folder) == 0;
}

std::wstring ComparableDir(std::wstring folder)
{
    if (folder.empty()) return std::wstring();
    if (folder.back() != L'\\') folder += L'\\';  // "C:" alone is a current folder, not the root
    return ComparableFolder(folder);
}

}  // namespace

// GetTempPathA falls back to the profile or the Windows folder on NT and to
// the current folder on 9x, and TMP may name a drive's root: every entry of
// such a folder would be handed to the removal of infected files.
bool IsPlainTemporaryFolder(const std::wstring& folder)
{
    if (folder.empty() || folder.back() != L'\\') return false;
    const std::wstring temp = ComparableFolder(folder);
    if (temp.empty() || IsRoot(temp)) return false;

    for (const std::wstring& system : {GetWindowsDir(), GetSystemDir()}) {
        const std::wstring comparable = ComparableDir(system);
        if (comparable.empty() || IsAtOrAbove(temp, comparable)) return false;
    }
    const std::wstring profile = ComparableDir(GetProfileDir());
    if (!profile.empty() && IsAtOrAbove(temp, profile)) return false;
    // The folder the user started Grevlin from, often the downloads folder.
    const std::wstring program = ComparableDir(GetProgramFolder());
    return !program.empty() && program != temp;
}

bool CleanTempFolder() { return CleanFolder(GetTempDir()); }

bool CleanFolder(const std::wstring& folder)
{
    if (!IsPlainTemporaryFolder(folder)) {
        ui::AddLine(kRefusedLine + (folder.empty() ? std::wstring(L"(none)") : folder));
        return false;
    }
    ForEachFolderEntry(folder, [&](const std::wstring& name, DWORD) {
        if (name != L"." && name != L"..") {
            ui::SetStatus(L"Cleaning: " + name);
            RemoveInfectedFile(folder, name);
        }
        return true;
    });
    return true;
}
