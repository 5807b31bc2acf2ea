#include "theming/xp_look.h"

#include <vector>

#include "environment/file_facts.h"
#include "environment/paths.h"
#include "platform/win32.h"
#include "scan/version.h"
#include "session/ui.h"

namespace {

// The program's own kind: a 64-bit process cannot bind to x86 assemblies.
#ifdef _WIN64
#define GREVLIN_MANIFEST_ARCHITECTURE "amd64"
#else
#define GREVLIN_MANIFEST_ARCHITECTURE "x86"
#endif

const char* const kManifestLines[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?> ",
    "<assembly ",
    "   xmlns=\"urn:schemas-microsoft-com:asm.v1\" ",
    "   manifestVersion=\"1.0\">",
    "<assemblyIdentity ",
    "    processorArchitecture=\"" GREVLIN_MANIFEST_ARCHITECTURE "\" ",
    "    version=\"EXEVERSION\"",
    "    type=\"win32\"",
    "    name=\"COMPANYNAME.EXENAME\"/>",
    "    <description>EXEDESCRIPTION</description>",
    "    <dependency>",
    "    <dependentAssembly>",
    "    <assemblyIdentity",
    "         type=\"win32\"",
    "         name=\"Microsoft.Windows.Common-Controls\"",
    "         version=\"6.0.0.0\"",
    "         publicKeyToken=\"6595b64144ccf1df\"",
    "         language=\"*\"",
    "         processorArchitecture=\"" GREVLIN_MANIFEST_ARCHITECTURE "\"/>",
    "    </dependentAssembly>",
    "    </dependency>",
    "</assembly>",
};

// Case-sensitive, every occurrence, scanning on after each inserted value.
// Not ReplaceNoCase: "exename" in lower case is text, not a placeholder.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t found = text.find(from, start);
        if (found == std::string::npos) break;
        result.append(text, start, found - start);
        result += to;
        start = found + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

// One string of the program's own version resource, in the first language
// the resource declares (040904b0, US English Unicode, when it declares none).
std::string OwnVersionString(const char* name)
{
    const std::string path = platform::ToAnsi(GetProgramPath());
    if (path.empty()) return std::string();
    const platform::LoadedLibrary version("version.dll");
    const auto infoSize = version.Entry<GetFileVersionInfoSizeAFn>("GetFileVersionInfoSizeA");
    const auto info = version.Entry<GetFileVersionInfoAFn>("GetFileVersionInfoA");
    const auto queryValue = version.Entry<VerQueryValueAFn>("VerQueryValueA");
    if (infoSize == nullptr || info == nullptr || queryValue == nullptr) return std::string();

    DWORD handle = 0;
    DWORD size = infoSize(path.c_str(), &handle);
    if (size == 0) return std::string();
    std::vector<char> block(size);
    if (!info(path.c_str(), 0, size, block.data())) return std::string();

    char translation[16] = "040904b0";
    LPVOID data = nullptr;
    UINT length = 0;
    if (queryValue(block.data(), "\\VarFileInfo\\Translation", &data, &length) && data &&
        length >= 4) {
        const WORD* pair = static_cast<const WORD*>(data);
        static const char digits[] = "0123456789abcdef";
        unsigned code = (static_cast<unsigned>(pair[0]) << 16) | pair[1];
        for (int i = 0; i < 8; ++i) translation[i] = digits[(code >> (28 - 4 * i)) & 0xF];
        translation[8] = '\0';
    }
    std::string query = std::string("\\StringFileInfo\\") + translation + "\\" + name;
    data = nullptr;
    length = 0;
    if (!queryValue(block.data(), query.c_str(), &data, &length) || !data || length == 0)
        return std::string();
    const char* text = static_cast<const char*>(data);
    std::string value(text, length);
    size_t nul = value.find('\0');
    if (nul != std::string::npos) value.resize(nul);
    return value;
}

std::string VersionText()
{
    return std::to_string(GREVLIN_VERSION_MAJOR) + "." + std::to_string(GREVLIN_VERSION_MINOR) +
           "." + std::to_string(GREVLIN_VERSION_REVISION) + ".0";
}

void DeleteManifest(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// True only when every byte reached the file.
bool WriteManifest(const std::string& path, const std::string& text)
{
    const platform::HeldHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return ok && written == text.size();
}

}  // namespace

int GetWindowsVersionNumber()
{
    DWORD version = GetVersion();
    int major = LOBYTE(LOWORD(version));
    int minor = HIBYTE(LOWORD(version));
    return major * 100 + minor;
}

bool IsXpOrLater() { return GetWindowsVersionNumber() >= 501; }

bool HasThemeLibrary()
{
    const platform::LoadedLibrary uxtheme("uxtheme.dll");
    return uxtheme.Loaded();
}

bool IsVisualStyleActive()
{
    const platform::LoadedLibrary uxtheme("uxtheme.dll");
    const auto isThemeActive = uxtheme.Entry<IsThemeActiveFn>("IsThemeActive");
    return isThemeActive != nullptr && isThemeActive() != 0;
}

std::wstring AddPathSeparator(const std::wstring& folder)
{
    size_t first = folder.find_first_not_of(L' ');
    std::wstring trimmed;
    if (first != std::wstring::npos) {
        size_t last = folder.find_last_not_of(L' ');
        trimmed = folder.substr(first, last - first + 1);
    }
    if (!trimmed.empty() && trimmed.back() == L'\\') return folder;
    return trimmed + L"\\";
}

std::string CommandLineArguments(const std::string& commandLine)
{
    size_t i = 0;
    // The program's own name: quoted up to the closing quote, else up to the first blank.
    if (i < commandLine.size() && commandLine[i] == '"') {
        size_t close = commandLine.find('"', i + 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    return commandLine.substr(i);
}

std::string StyleManifestTemplate()
{
    std::string text;
    for (const char* line : kManifestLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string FillStyleManifest(const std::string& templateText, const std::string& exeName,
                              const std::string& exeVersion, const std::string& description,
                              const std::string& company)
{
    std::string text = ReplaceAll(templateText, "EXENAME", exeName);
    text = ReplaceAll(text, "EXEVERSION", exeVersion);
    text = ReplaceAll(text, "EXEDESCRIPTION", description);
    return ReplaceAll(text, "COMPANYNAME", company);
}

void EnsureStyleManifest(bool restartAfterWrite, bool deleteIfPresent, bool overwrite)
{
    if (!IsXpOrLater() || !HasThemeLibrary()) return;
    if (!IsVisualStyleActive()) return;  // the classic look needs no manifest
    if (restartAfterWrite || deleteIfPresent) overwrite = false;

    std::string templateText = StyleManifestTemplate();
    std::wstring baseName = GetProgramBaseName();
    if (baseName.empty()) return;
    std::wstring folder = AddPathSeparator(GetProgramFolder());
    std::string exePath = platform::ToAnsi(folder + baseName + L".exe");
    std::string manifestPath = platform::ToAnsi(folder + baseName + L".exe.manifest");

    bool present = FileIsPresent(platform::FromAnsi(manifestPath));
    if (present && !overwrite) {
        if (deleteIfPresent) DeleteManifest(manifestPath);
        return;
    }

    std::string text = FillStyleManifest(templateText, platform::ToAnsi(baseName + L".exe"),
                                         VersionText(), OwnVersionString("FileDescription"),
                                         OwnVersionString("CompanyName"));
    if (present) DeleteManifest(manifestPath);
    bool complete = WriteManifest(manifestPath, text);
    SetFileAttributesA(manifestPath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (!restartAfterWrite) return;

    // A half-written manifest would keep the restarted program from loading at
    // all, and a missing one would restart it for ever: start once, unstyled.
    if (!complete || !FileIsPresent(platform::FromAnsi(manifestPath))) {
        DeleteManifest(manifestPath);
        return;
    }
    // Quoted, so that a folder with spaces cannot start another program.
    std::string commandLine =
        "\"" + exePath + "\" " + CommandLineArguments(GetCommandLineA() ? GetCommandLineA() : "");
    if (WinExec(commandLine.c_str(), SW_SHOWNORMAL) <= 31) {
        DeleteManifest(manifestPath);  // no second instance: carry on here, unstyled
        return;
    }
    ui::EndProgram();
}
