#include "environment/paths.h"

#include <cstring>
#include <vector>

#include "environment/platform_family.h"
#include "environment/text.h"
#include "platform/win32.h"

namespace {

// The folder queries answer with the length they wrote, or with the size
// they would need when the path does not fit; a path that did not fit is
// no path at all.
std::wstring CutToLength(const std::vector<char>& buffer, DWORD length)
{
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return platform::FromAnsi(buffer.data(), length);
}

}  // namespace

std::wstring GetWindowsDir()
{
    std::vector<char> buffer(200, '\0');
    UINT length = GetWindowsDirectoryA(buffer.data(), 200);
    return CutToLength(buffer, length);
}

std::wstring GetSystemDir()
{
    std::vector<char> buffer(255, ' ');
    UINT length = GetSystemDirectoryA(buffer.data(), 255);
    return CutToLength(buffer, length);
}

std::wstring GetTempDir()
{
    std::vector<char> buffer(100, '\0');
    DWORD needed = GetTempPathA(100, buffer.data());
    // A temporary-folder path of 100 characters or more does not fit: the
    // buffer then holds no usable path, whatever the system left in it.
    if (needed >= buffer.size()) return std::wstring();
    const std::wstring temp = TrimNull(platform::FromAnsi(buffer.data(), buffer.size()));
    // A profile whose name the code page cannot spell gets a look-alike path,
    // which may be another user's folder.
    if (IsNtFamily() && !temp.empty()) {
        std::vector<WCHAR> wide(MAX_PATH + 1, 0);
        const DWORD length = GetTempPathW(MAX_PATH + 1, wide.data());
        if (length == 0 || length > MAX_PATH || platform::FromUtf16(wide.data(), length) != temp)
            return std::wstring();
    }
    return temp;
}

std::wstring GetShortName(const std::wstring& path)
{
    std::vector<char> buffer(255, '\0');
    DWORD length = GetShortPathNameA(platform::ToAnsi(path).c_str(), buffer.data(), 255);
    return CutToLength(buffer, length);
}

const wchar_t kLogFileName[] = L"Gv LogFile.txt";

std::wstring GetProgramPath()
{
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return platform::FromAnsi(buffer.data(), length);
}

std::wstring GetProgramFolder()
{
    std::wstring path = GetProgramPath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring GetProgramBaseName()
{
    const std::wstring name = FileNameOf(GetProgramPath());
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring GetProfileDir()
{
    std::vector<char> buffer(MAX_PATH, '\0');
    const DWORD length = GetEnvironmentVariableA("USERPROFILE", buffer.data(), MAX_PATH);
    return CutToLength(buffer, length);
}

namespace {

// "\\?\C:\x" and "\\.\C:\x" name "C:\x"; "\\?\UNC\server\share" names "\\server\share".
std::wstring WithoutDevicePrefix(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\", 0) != 0 && path.rfind(L"\\\\.\\", 0) != 0) return path;
    const std::wstring rest = path.substr(4);
    if (EqualsNoCase(rest.substr(0, 4), L"UNC\\")) return L"\\\\" + rest.substr(4);
    return rest;
}

}  // namespace

std::wstring ComparableFolder(const std::wstring& folder)
{
    const std::string given = platform::ToAnsi(WithoutDevicePrefix(folder));
    if (given.empty()) return std::wstring();

    std::vector<char> full(MAX_PATH, '\0');
    const DWORD fullLength = GetFullPathNameA(given.c_str(), MAX_PATH, full.data(), nullptr);
    const std::wstring fullPath = CutToLength(full, fullLength);
    if (fullPath.empty()) return std::wstring();

    // A folder that does not exist has no short form: the nearest folder
    // above it that exists gives its own, and the rest of the path follows.
    std::string existing(full.data(), fullLength);
    std::string rest;
    std::wstring comparable;
    for (;;) {
        std::vector<char> shortForm(MAX_PATH, '\0');
        const DWORD shortLength = GetShortPathNameA(existing.c_str(), shortForm.data(), MAX_PATH);
        comparable = CutToLength(shortForm, shortLength);
        if (!comparable.empty()) break;
        while (!existing.empty() && existing.back() == '\\') existing.pop_back();
        const size_t slash = existing.find_last_of('\\');
        if (slash == std::string::npos || slash + 1 >= existing.size()) break;
        rest = existing.substr(slash + 1) + "\\" + rest;
        existing.erase(slash + 1);
    }
    if (comparable.empty())
        comparable = fullPath;
    else if (!rest.empty())
        comparable += (comparable.back() == L'\\' ? L"" : L"\\") + platform::FromAnsi(rest);

    comparable = LCase(comparable);
    if (comparable.back() != L'\\') comparable += L'\\';
    return comparable;
}

namespace {

constexpr DWORD kPathChars = 1024;

// The long form of a full path; for a file that no longer exists (or does
// not exist yet), its folder's long form and its own name. The path as it
// was given when neither is known.
template <typename Char, typename LongForm>
std::basic_string<Char> LongFormOf(const std::basic_string<Char>& full, LongForm longForm)
{
    if (longForm == nullptr) return full;
    std::vector<Char> buffer(kPathChars, 0);
    DWORD length = longForm(full.c_str(), buffer.data(), kPathChars);
    if (length > 0 && length < kPathChars) return std::basic_string<Char>(buffer.data(), length);
    const size_t slash = full.find_last_of(static_cast<Char>('\\'));
    if (slash == std::basic_string<Char>::npos || slash + 1 == full.size()) return full;
    const std::basic_string<Char> folder = full.substr(0, slash + 1);
    length = longForm(folder.c_str(), buffer.data(), kPathChars);
    if (length == 0 || length >= kPathChars) return full;
    std::basic_string<Char> result(buffer.data(), length);
    if (result.back() != static_cast<Char>('\\')) result += static_cast<Char>('\\');
    return result + full.substr(slash + 1);
}

std::wstring ComparableUnicodePath(const std::wstring& path)
{
    const std::basic_string<WCHAR> given = platform::ToUtf16(path);
    std::vector<WCHAR> full(kPathChars, 0);
    const DWORD fullLength = GetFullPathNameW(given.c_str(), kPathChars, full.data(), nullptr);
    if (fullLength == 0 || fullLength >= kPathChars) return std::wstring();
    // Windows NT 4.0 has no long-form query; its paths are taken as they are.
    const platform::LoadedLibrary kernel32("kernel32.dll");
    const std::basic_string<WCHAR> longPath = LongFormOf(
        std::basic_string<WCHAR>(full.data(), fullLength),
        kernel32.Entry<GetLongPathNameWFn>("GetLongPathNameW"));
    return platform::FromUtf16(longPath.data(), longPath.size());
}

std::wstring ComparableAnsiPath(const std::wstring& path)
{
    const std::string given = platform::ToAnsi(path);
    std::vector<char> full(kPathChars, '\0');
    const DWORD fullLength = GetFullPathNameA(given.c_str(), kPathChars, full.data(), nullptr);
    if (fullLength == 0 || fullLength >= kPathChars) return std::wstring();
    // Windows 95 has no long-form query.
    const platform::LoadedLibrary kernel32("kernel32.dll");
    return platform::FromAnsi(LongFormOf(std::string(full.data(), fullLength),
                                         kernel32.Entry<GetLongPathNameAFn>("GetLongPathNameA")));
}

}  // namespace

std::wstring ComparablePath(const std::wstring& path)
{
    if (path.empty()) return std::wstring();
    return LCase(IsNtFamily() ? ComparableUnicodePath(path) : ComparableAnsiPath(path));
}
