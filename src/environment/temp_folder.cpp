#include "environment/temp_folder.h"

#include <vector>

#include "environment/file_identity.h"
#include "environment/folder_listing.h"
#include "environment/paths.h"
#include "environment/platform_family.h"
#include "environment/text.h"
#include "removal/infected_file.h"
#include "session/ui.h"

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
    return !folder.empty() && other.compare(0, folder.size(), folder) == 0;
}

bool IsBelow(const std::wstring& folder, const std::wstring& other)
{
    return IsAtOrAbove(folder, other) && other.size() > folder.size();
}

std::wstring ComparableDir(std::wstring folder)
{
    if (folder.empty()) return std::wstring();
    if (folder.back() != L'\\') folder += L'\\';  // "C:" alone is a current folder, not the root
    return ComparableFolder(folder);
}

// Device and volume namespaces name whatever the object manager holds.
bool IsDevicePath(const std::wstring& folder)
{
    const std::wstring lower = LCase(folder);
    return lower.rfind(L"\\\\.\\", 0) == 0 || lower.rfind(L"\\??\\", 0) == 0 ||
           lower.rfind(L"\\\\?\\globalroot", 0) == 0 || lower.rfind(L"\\\\?\\volume{", 0) == 0;
}

std::wstring EnvironmentFolder(const char* name)
{
    std::vector<char> buffer(MAX_PATH, '\0');
    const DWORD length = GetEnvironmentVariableA(name, buffer.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return platform::FromAnsi(buffer.data(), length);
}

std::wstring RegistryFolder(const char* valueName)
{
    platform::HeldKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return std::wstring();
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key.get(), valueName, nullptr, &type,
                                         reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (result != ERROR_SUCCESS || type != REG_SZ) return std::wstring();
    return TrimNull(platform::FromAnsi(buffer.data(), size));
}

// Where programs are installed, by every name the system gives it.
std::vector<std::wstring> ProgramFilesFolders()
{
    std::vector<std::wstring> folders;
    for (const std::wstring& folder :
         {EnvironmentFolder("ProgramFiles"), EnvironmentFolder("ProgramFiles(x86)"),
          EnvironmentFolder("ProgramW6432"), RegistryFolder("ProgramFilesDir"),
          RegistryFolder("ProgramFilesDir (x86)")}) {
        const std::wstring comparable = ComparableDir(folder);
        if (!comparable.empty() && !IsRoot(comparable)) folders.push_back(comparable);
    }
    return folders;
}

// The user's own temporary folder inside the profile, by the layout of the
// system's version.
std::wstring LocalTempOf(const std::wstring& profile)
{
    const bool vistaOrLater = GetOsMajorVersion() >= 6;
    return profile + (vistaOrLater ? L"\\AppData\\Local\\Temp\\" : L"\\Local Settings\\Temp\\");
}

// A junction, mount point or symbolic link anywhere on the way leads to
// another folder than the one the path spells.
bool PassesReparsePoint(const std::wstring& folder)
{
    std::vector<char> full(MAX_PATH, '\0');
    const DWORD length =
        GetFullPathNameA(platform::ToAnsi(folder).c_str(), MAX_PATH, full.data(), nullptr);
    if (length == 0 || length >= MAX_PATH) return true;
    std::string path(full.data(), length);
    while (!path.empty() && path.back() == '\\') path.pop_back();

    // Up to the drive ("C:") or the share ("\\server\share"), which stay.
    size_t root = 2;
    if (path.rfind("\\\\", 0) == 0) {
        const size_t share = path.find('\\', 2);
        root = share == std::string::npos ? path.size() : path.find('\\', share + 1);
        if (root == std::string::npos) root = path.size();
    }
    while (path.size() > root) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        path.erase(path.find_last_of('\\'));
    }
    return false;
}

bool IsProgramsOwnFile(const std::wstring& path)
{
    const FileIdentity file(path);
    const std::wstring program = GetProgramPath();
    const std::wstring folder = GetProgramFolder();
    return file.IsNamedBy(program) ||
           (!folder.empty() && file.IsNamedBy(folder + L"\\" + kLogFileName));
}

}  // namespace

// GetTempPathA falls back to the profile or the Windows folder on NT and to
// the current folder on 9x, and TMP may name a drive's root or any folder at
// all: every entry of such a folder would be handed to the removal of files.
bool IsPlainTemporaryFolder(const std::wstring& folder)
{
    if (folder.empty() || folder.back() != L'\\' || IsDevicePath(folder)) return false;
    const std::wstring temp = ComparableFolder(folder);
    if (temp.empty() || IsRoot(temp)) return false;

    const std::wstring windows = ComparableDir(GetWindowsDir());
    const std::wstring system = ComparableDir(GetSystemDir());
    if (windows.empty() || system.empty() || IsAtOrAbove(temp, windows) || IsAtOrAbove(temp, system))
        return false;

    // Inside the Windows folder, the profiles' folder or a Program Files
    // folder, only the temporary folders Windows itself keeps there.
    std::vector<std::wstring> protectedAreas = ProgramFilesFolders();
    std::vector<std::wstring> temporaryAreas{ComparableDir(GetWindowsDir() + L"\\Temp")};
    protectedAreas.push_back(windows);
    const std::wstring profile = GetProfileDir();
    if (!profile.empty()) {
        const std::wstring comparableProfile = ComparableDir(profile);
        if (IsAtOrAbove(temp, comparableProfile)) return false;
        const size_t slash = comparableProfile.find_last_of(L'\\', comparableProfile.size() - 2);
        if (!comparableProfile.empty() && slash != std::wstring::npos)
            protectedAreas.push_back(comparableProfile.substr(0, slash + 1));
        temporaryAreas.push_back(ComparableDir(LocalTempOf(profile)));
    }
    for (const std::wstring& area : protectedAreas) {
        if (!IsBelow(area, temp)) continue;
        bool temporary = false;
        for (const std::wstring& allowed : temporaryAreas) temporary = temporary || IsAtOrAbove(allowed, temp);
        if (!temporary) return false;
    }
    return !PassesReparsePoint(folder);
}

bool CleanTempFolder() { return CleanFolder(GetTempDir()); }

bool CleanFolder(const std::wstring& folder)
{
    if (!IsPlainTemporaryFolder(folder)) {
        ui::AddLine(kRefusedLine + (folder.empty() ? std::wstring(L"(none)") : folder));
        return false;
    }
    // Grevlin started from the temporary folder itself keeps its program and its log.
    const std::wstring programFolder = ComparableDir(GetProgramFolder());
    const bool ownFolder = !programFolder.empty() && programFolder == ComparableFolder(folder);
    // Read once: a walk of every process for each of thousands of entries
    // would take minutes. Only a program run from the folder itself can be
    // one of its entries.
    const std::wstring comparable = ComparablePath(folder);
    std::vector<RunningProcess> processes;
    for (const RunningProcess& process : ListRunningProcesses()) {
        if (!comparable.empty() && process.image.size() > comparable.size() &&
            process.image.compare(0, comparable.size(), comparable) == 0 &&
            process.image.find(L'\\', comparable.size()) == std::wstring::npos)
            processes.push_back(process);
    }
    ForEachFolderEntry(folder, [&](const FolderEntry& entry) {
        // An entry without a name of its own that reaches it stays.
        if (entry.IsDots() || entry.name.empty()) return true;
        if (ownFolder && IsProgramsOwnFile(folder + entry.name)) return true;
        ui::SetStatus(L"Cleaning: " + entry.name);
        RemoveTemporaryFile(folder, entry.name, processes);
        return true;
    });
    return true;
}
