#include "sandbox.h"

#include <psapi.h>

#include <algorithm>

#include "crc_forge.h"

namespace sandbox {

std::string Ansi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::string WindowsFolder()
{
    char buffer[MAX_PATH] = {};
    GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer) + "\\";
}

std::string SystemFolder()
{
    char buffer[MAX_PATH] = {};
    GetSystemDirectoryA(buffer, MAX_PATH);
    return std::string(buffer) + "\\";
}

std::string TempFolder()
{
    char buffer[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

std::string ToolsFolder() { return WindowsFolder().substr(0, 3) + "sandbox\\"; }

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool FileThere(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderThere(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- Service names ----------------------------------------------------------

std::string ServiceName(char label)
{
    static const wchar_t kA[] = {0x0020, 0x0031, 0x0031, 0x0046, 0x00DF, 0x00C4, 0x0006,
                                 0x0023, 0x00B7, 0x00BA, 0x00C4, 0x00D6, 0x0060, 0x0049, 0};
    static const wchar_t kB[] = {0x00BD, 0x004F, 0x002E, 0x0023, 0x017E, 0x201A, 0x201E,
                                 0x0081, 0x00F5, 0x00D8, 0x00C2, 0x00B4, 0x001E, 0x00E2, 0};
    static const wchar_t kC[] = {0x004F, 0x003F, 0x001E, 0x2019, 0x017D, 0x0072, 0x0074,
                                 0x00F1, 0x00E5, 0x00C8, 0x00B2, 0x0024, 0x000E, 0x00D3, 0};
    static const wchar_t kD[] = {0x007F, 0x008F, 0x0010, 0x0025, 0x0041, 0x0046, 0x00E5,
                                 0x0003, 0x0017, 0x001A, 0x00A4, 0x00B6, 0x00C0, 0};
    static const wchar_t kE[] = {0x008F, 0x0020, 0x0020, 0x0036, 0x0051, 0x00D4, 0x00F5,
                                 0x0013, 0x0027, 0x00AA, 0x00B4, 0x00C6, 0x00D0, 0x0038, 0};
    switch (label) {
    case 'A': return Ansi(kA);
    case 'B': return Ansi(kB);
    case 'C': return Ansi(kC);
    case 'D': return Ansi(kD);
    case 'E': return Ansi(kE);
    }
    return std::string();
}

std::string ServiceNameA2()
{
    static const wchar_t kA2[] = {0x0020, 0x0031, 0x0031, 0x0066, 0x00DF, 0x00E4, 0x0006,
                                  0x0023, 0x00B7, 0x00BA, 0x00C4, 0x00D6, 0x0060, 0x0069, 0};
    return Ansi(kA2);
}

// ---- Files ------------------------------------------------------------------

const uint8_t kProbe1[10] = {0x4E, 0x49, 0x57, 0x55, 0x00, 0x55, 0x57, 0x49, 0x4E, 0x0C};

const std::vector<File>& Files()
{
    const DWORD normal = FILE_ATTRIBUTE_NORMAL;
    static const std::vector<File> files = {
        // The Windows folder.
        {Where::Windows, "winupd32.exe", Kind::Probe1Program, 0, 0, normal, Fate::Removed, false},
        {Where::Windows, "hsa_update.log", Kind::Probe4, 0, 40000, normal, Fate::Removed, false},
        {Where::Windows, "mfplay32.dll", Kind::Digest, 0x55B8CBF1u, 28160, FILE_ATTRIBUTE_HIDDEN,
         Fate::Removed, false},
        // The same digest at another size is somebody else's file.
        {Where::Windows, "mfclone.dll", Kind::Digest, 0x55B8CBF1u, 28161, normal, Fate::Kept, true},
        {Where::Windows, "warnhp.html", Kind::Plain, 0, 1200,
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, Fate::Removed, false},
        // The system folder.
        {Where::System, "wsudsvc.dat", Kind::Probe2, 0, 2048, FILE_ATTRIBUTE_READONLY, Fate::Removed,
         false},
        {Where::System, "rpchelp.dll", Kind::Probe3, 0, 8192, FILE_ATTRIBUTE_SYSTEM, Fate::Removed,
         false},
        {Where::System, "cwsmp.tmp", Kind::Digest, 0x6F0E7F63u, 5636, normal, Fate::Removed, false},
        {Where::System, "hsearch.bak", Kind::Digest, 0xBA9685E5u, 10720, normal, Fate::Removed, false},
        {Where::System, "sehelper.$$$", Kind::Digest, 0x71DA9336u, 4096, normal, Fate::Removed, false},
        // Hijacker bytes in a file whose extension the scan does not look at.
        {Where::System, "wsudinfo.html", Kind::Probe2, 0, 512, normal, Fate::Kept, true},
        // A "warnhp.html" outside the Windows folder is not looked for.
        {Where::System, "warnhp.html", Kind::Plain, 0, 300, normal, Fate::Kept, true},
        // The temporary folder.
        {Where::Temp, "se.dll", Kind::Plain, 0, 3000, normal, Fate::HeldOpen, false},
        {Where::Temp, "cws0001.tmp", Kind::Plain, 0, 700, normal, Fate::RemovedOnReset, true},
        {Where::Temp, "download.dat", Kind::Plain, 0, 900, FILE_ATTRIBUTE_READONLY,
         Fate::RemovedOnReset, true},
    };
    return files;
}

std::string FolderOf(Where where)
{
    switch (where) {
    case Where::Windows: return WindowsFolder();
    case Where::System: return SystemFolder();
    case Where::Temp: return TempFolder();
    }
    return std::string();
}

std::string PathOf(const File& file) { return FolderOf(file.where) + file.name; }

namespace {

std::vector<uint8_t> Random(size_t size, const std::string& seedText)
{
    uint32_t seed = 2166136261u;
    for (char c : seedText) seed = (seed ^ static_cast<uint8_t>(c)) * 16777619u;
    if (seed == 0) seed = 1;
    std::vector<uint8_t> data(size);
    for (auto& byte : data) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<uint8_t>(seed >> 8);
    }
    return data;
}

void Put(std::vector<uint8_t>& data, size_t offset, const std::string& bytes)
{
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

std::vector<uint8_t> ContentOf(const File& file)
{
    std::vector<uint8_t> data = Random(file.size, file.name);
    switch (file.kind) {
    case Kind::Probe2: Put(data, 0, "WSUD"); break;
    case Kind::Probe3: Put(data, 7006, "Call (RPC) Help"); break;
    case Kind::Probe4: Put(data, 39133, "lightspeedsearch"); break;
    case Kind::Digest: forge::ForceCrc32(data, file.digest); break;
    case Kind::Plain:
    case Kind::Probe1Program: break;
    }
    return data;
}

// ---- Programs ---------------------------------------------------------------

std::string SleeperPath() { return ToolsFolder() + "sleeper.exe"; }
std::string InfectedProgramName() { return "winupd32.exe"; }
std::string InfectedProgramPath() { return WindowsFolder() + InfectedProgramName(); }
std::string IexplorePath() { return ToolsFolder() + "Internet Explorer\\iexplore.exe"; }
std::string KeeperPath() { return ToolsFolder() + "keeper.exe"; }
std::string ServiceProgramPath() { return ToolsFolder() + "hsservice.exe"; }

// ---- Registry ---------------------------------------------------------------

const char kHomeRedirect[] = "http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";
const char kSearchPage[] = "http://home.microsoft.com/search/search.asp";
const char kHijackPage[] = "http://www.lightspeedsearch.invalid/start.html";

std::vector<RegItem> RegistryItems()
{
    const HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE, cr = HKEY_CLASSES_ROOT;
    const RegFate gone = RegFate::Removed, kept = RegFate::Kept, reset = RegFate::Reset;
    const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const std::string program = InfectedProgramName();
    const std::string programPath = InfectedProgramPath();
    std::vector<RegItem> items = {
        // Some of the fixed keys, each with a subkey and values.
        {lm, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_O?*001E*2019*017DRT*00F1*00E5*00C8*00B2$*000E*00D3",
         "", "", gone, "", false, "keys"},
        {lm, "SYSTEM\\ControlSet002\\Enum\\Root\\LEGACY___NS_SERVICE_3", "", "", gone, "", false, "keys"},
        {lm, services + ServiceName('B'), "", "", gone, "", false, "keys"},
        {lm, "SYSTEM\\ControlSet001\\Services\\" + ServiceNameA2(), "", "", gone, "", false, "keys"},
        {lm, "SYSTEM\\ControlSet002\\Services\\" + ServiceName('E'), "", "", gone, "", false, "keys"},
        {lm, "SYSTEM\\ControlSet003\\Services\\" + ServiceName('D'), "", "", gone, "", false, "keys"},
        {lm, uninstall + "HSA", "", "", gone, "", false, "keys"},
        {lm, uninstall + "Search extender", "", "", gone, "", false, "keys"},
        {cu, uninstall + "SE", "", "", gone, "", false, "keys"},
        {cu, uninstall + "SearchAssistant Uninstall", "", "", gone, "", false, "keys"},
        {lm, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
             "{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}", "", "", gone, "", false, "keys"},
        {cr, "Image.Image", "", "", gone, "", false, "keys"},
        {cr, "Image.Image.1", "", "", gone, "", false, "keys"},
        {lm, "SOFTWARE\\Classes\\CLSID\\{0B40A54D-BEC3-4077-9A33-701BD6ACDEB2}", "", "", gone, "",
         false, "keys"},
        // Their neighbours stay.
        {lm, uninstall + "HSA Viewer", "", "", kept, "", true, "keys"},
        {cr, "Image.Image.2", "", "", kept, "", true, "keys"},
        // Autorun values named after the infected program, in all eight places.
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", program, programPath, gone, "", false, "autorun"},
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", program, programPath, gone, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", program, programPath, gone, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", program, programPath, gone, "", false, "autorun"},
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", program, programPath, gone, "", false, "autorun"},
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", program, programPath, gone, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", program, programPath, gone, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", program, programPath, gone, "", false, "autorun"},
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "sp",
         "rundll32.exe " + TempFolder() + "se.dll,DllInstall", gone, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "sp",
         "rundll32.exe " + TempFolder() + "se.dll,DllInstall", gone, "", false, "autorun"},
        // Values that only point at the program, or belong to others, stay.
        {cu, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Updater", programPath, kept, "", false, "autorun"},
        {lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Sandbox Keep",
         "C:\\sandbox\\keep.cmd", kept, "", true, "autorun"},
        // Desktop components: the hijacker's, in two spellings, and two that stay.
        {cu, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0", "FriendlyName",
         "Warning homepage", gone, "", false, "components"},
        {cu, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\1", "FriendlyName",
         "Stock Ticker", kept, "", true, "components"},
        {cu, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\2", "FriendlyName",
         "WARNING HOMEPAGE", gone, "", false, "components"},
        {cu, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\3", "FriendlyName",
         "Warning homepage ", kept, "", true, "components"},
        // Both MIME filters go, whoever registered them; others stay.
        {lm, "SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/html", "", "", gone, "", false, "filters"},
        {lm, "SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/plain", "", "", gone, "", false, "filters"},
        {lm, "SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/xml", "", "", kept, "", true, "filters"},
        // Internet Explorer's pages as the hijacker left them, and a value of the user's.
        {cu, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", "Sandbox Browser", kept, "",
         true, "reset"},
        {lm, "Software\\Microsoft\\Internet Explorer\\Search", "CustomizeSearch", "sandbox", kept, "", true,
         "reset"},
    };
    // The sixteen values of the reset, in its order.
    const struct {
        HKEY root;
        const char* key;
        const char* value;
        const char* data;
    } rows[] = {
        {cu, "Main", "Search Page", kSearchPage},         {cu, "Main", "Search Bar", kSearchPage},
        {cu, "Main", "Start Page", kHomeRedirect},        {cu, "Main", "Default_Page_URL", kSearchPage},
        {cu, "Main", "Default_Search_URL", kHomeRedirect}, {cu, "Main", "SearchAssistant", kHomeRedirect},
        {cu, "Main", "HomeOldSP", kHomeRedirect},         {lm, "Main", "Start Page", kHomeRedirect},
        {lm, "Main", "Search Bar", kHomeRedirect},        {lm, "Main", "Search Page", kSearchPage},
        {lm, "Main", "Default_Page_URL", kHomeRedirect},  {lm, "Main", "Default_Search_URL", kSearchPage},
        {lm, "Main", "SearchAssistant", kSearchPage},     {lm, "Main", "HomeOldSP", kSearchPage},
        {cu, "Search", "SearchAssistant", kSearchPage},   {lm, "Search", "SearchAssistant", kSearchPage},
    };
    for (const auto& row : rows)
        items.push_back({row.root, std::string("Software\\Microsoft\\Internet Explorer\\") + row.key,
                         row.value, kHijackPage, reset, row.data, false, "reset"});
    return items;
}

std::string RootName(HKEY root)
{
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    return "?";
}

bool KeyThere(HKEY root, const std::string& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

bool ReadString(HKEY root, const std::string& key, const std::string& value, std::string* data)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    char buffer[2048] = {};
    DWORD size = sizeof buffer - 1, type = 0;
    LONG result = RegQueryValueExA(handle, value.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS) return false;
    *data = buffer;
    return true;
}

bool WriteString(HKEY root, const std::string& key, const std::string& value, const std::string& data)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(handle, value.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

// ---- Processes --------------------------------------------------------------

std::vector<Process> Processes()
{
    std::vector<Process> found;
    DWORD ids[4096];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof ids, &bytes)) return found;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!process) continue;
        char name[MAX_PATH] = {};
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (EnumProcessModules(process, &module, sizeof module, &needed))
            GetModuleFileNameExA(process, module, name, MAX_PATH);
        CloseHandle(process);
        found.push_back({ids[i], name});
    }
    return found;
}

bool Running(const std::string& path)
{
    const std::string wanted = Lower(path);
    for (const Process& process : Processes())
        if (Lower(process.path) == wanted) return true;
    return false;
}

}  // namespace sandbox
