// The simulated machine's platform facts, folders, clock, libraries, shell
// and the program's own version resource.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

// Where a loaded library's file lies.
enum class Origin { SystemFolder, SideBySide, Foreign };

struct Library {
    std::string name;  // lower case, with extension
    bool present;
    int loads;
    std::vector<std::string> withdrawn;  // entry points this version of the library lacks
    Origin origin = Origin::SystemFolder;
    std::string path;  // the file, for libraries outside the system folder
};

// Version 6 of the common controls in the side-by-side store of Windows XP SP2,
// below the Windows folder.
const char kSideBySideCommonControls[] =
    "\\WinSxS\\x86_Microsoft.Windows.Common-Controls_6595b64144ccf1df_6.0.2600.2180_"
    "x-ww_a84f1ff9\\comctl32.dll";

// Known DLLs: Windows takes these from its system folder whatever the search order.
const char* const kKnownDlls[] = {"kernel32.dll", "ntdll.dll",    "user32.dll",
                                  "gdi32.dll",    "advapi32.dll", "shell32.dll"};

struct SystemState {
    Family family = Family::Nt;
    DWORD major = 5, minor = 1, build = 2600;
    std::string servicePack = "Service Pack 2";
    bool versionExFails = false;
    std::string windowsDir = "C:\\WINDOWS";
    std::string systemDir = "C:\\WINDOWS\\system32";
    std::string tempDir = "C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\";  // UTF-8, as names are
    std::string programPath = "C:\\Program Files\\Grevlin\\Grevlin.exe";
    std::string commandLine = "\"C:\\Program Files\\Grevlin\\Grevlin.exe\"";
    std::vector<std::pair<std::string, std::string>> environment = {
        {"USERPROFILE", "C:\\Documents and Settings\\Owner"}, {"ProgramFiles", "C:\\Program Files"}};
    std::vector<StartedProgram> started;
    std::vector<std::string> links;
    // A deque: module handles are record addresses and must survive additions.
    // XP's kernel32 has no image-name query yet.
    std::deque<Library> libraries = {
        {"kernel32.dll", true, 0, {"QueryFullProcessImageNameA", "QueryFullProcessImageNameW"},
         Origin::SystemFolder, {}},
        {"ntdll.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"user32.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"advapi32.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"shell32.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"shlwapi.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"psapi.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"version.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"comctl32.dll", true, 0, {}, Origin::SystemFolder, {}},
        {"uxtheme.dll", true, 0, {}, Origin::SystemFolder, {}}};
    bool themeActive = true;
    bool commonControlsManifest = false;
    std::vector<std::string> foreignLoads;
    std::string commonControlsInitialised;
    std::string companyName = "Grevlin Team";
    std::string fileDescription = "Grevlin CWS removal tool";
    // Virtual clock
    SYSTEMTIME origin = {2006, 7, 0, 30, 12, 0, 0, 0};
    uint64_t elapsedMs = 0;
    uint64_t sleptMs = 0;
    std::vector<DWORD> sleeps;
};

SystemState& State()
{
    static SystemState state;
    return state;
}

thread_local DWORD lastError = 0;

// Milliseconds from 0001-01-01 (proleptic Gregorian) and back; days of the
// week follow from 0001-01-01 being a Monday.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

SYSTEMTIME AddMs(const SYSTEMTIME& base, uint64_t ms)
{
    int64_t days = DaysFromCivil(base.wYear, base.wMonth, base.wDay);
    int64_t msOfDay = ((base.wHour * 60 + base.wMinute) * 60 + base.wSecond) * 1000LL +
                      base.wMilliseconds + static_cast<int64_t>(ms);
    days += msOfDay / 86400000;
    msOfDay %= 86400000;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    SYSTEMTIME out{};
    out.wYear = static_cast<WORD>(y);
    out.wMonth = static_cast<WORD>(m);
    out.wDay = static_cast<WORD>(d);
    out.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    out.wHour = static_cast<WORD>(msOfDay / 3600000);
    out.wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
    out.wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
    out.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    return out;
}

SYSTEMTIME Now()
{
    return AddMs(State().origin, State().elapsedMs);
}

int DayOfWeek(const SYSTEMTIME& t)
{
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

std::string Number(int value, int digits)
{
    std::string text = std::to_string(value);
    while (static_cast<int>(text.size()) < digits) text.insert(text.begin(), '0');
    return text;
}

// Expands a date or time picture the way the NLS formatter does for en-US:
// runs of one format letter, quoted literals ('' for a quote), all else as is.
std::string ExpandPicture(const std::string& picture, const SYSTEMTIME& t, bool date)
{
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += picture[i++];
            }
            continue;
        }
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        const int n = static_cast<int>(run);
        bool used = true;
        if (date && c == 'd') {
            if (n == 1) out += Number(t.wDay, 1);
            else if (n == 2) out += Number(t.wDay, 2);
            else if (n == 3) out += std::string(kDayNames[DayOfWeek(t)]).substr(0, 3);
            else out += kDayNames[DayOfWeek(t)];
        } else if (date && c == 'M') {
            if (n == 1) out += Number(t.wMonth, 1);
            else if (n == 2) out += Number(t.wMonth, 2);
            else if (n == 3) out += std::string(kMonthNames[t.wMonth - 1]).substr(0, 3);
            else out += kMonthNames[t.wMonth - 1];
        } else if (date && c == 'y') {
            if (n <= 2) out += Number(t.wYear % 100, 2);
            else out += Number(t.wYear, 4);
        } else if (date && c == 'g') {
            out += "AD";
        } else if (!date && c == 'h') {
            const int hour = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
            out += Number(hour, n >= 2 ? 2 : 1);
        } else if (!date && c == 'H') {
            out += Number(t.wHour, n >= 2 ? 2 : 1);
        } else if (!date && c == 'm') {
            out += Number(t.wMinute, n >= 2 ? 2 : 1);
        } else if (!date && c == 's') {
            out += Number(t.wSecond, n >= 2 ? 2 : 1);
        } else if (!date && c == 't') {
            const char* marker = t.wHour < 12 ? "AM" : "PM";
            out += n == 1 ? std::string(marker, 1) : std::string(marker);
        } else {
            used = false;
        }
        if (!used) out.append(run, c);
        i += run;
    }
    return out;
}

// The NLS convention: size 0 asks for the length, a short buffer fails.
int DeliverFormatted(const std::string& text, LPSTR out, int size)
{
    const int needed = static_cast<int>(text.size()) + 1;
    if (size < 0 || (size > 0 && out == nullptr)) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size == 0) return needed;
    if (size < needed) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text.c_str(), static_cast<size_t>(needed));
    return needed;
}

bool KnownLocale(LCID locale)
{
    return locale == LOCALE_USER_DEFAULT || locale == 0x0800 /* system default */ ||
           locale == 0x0409 || locale == 0;
}

// Folder queries: the length without the NUL when it fits, else the size
// needed with the NUL and nothing written.
UINT DeliverPath(const std::string& path, LPSTR buffer, UINT size)
{
    const UINT length = static_cast<UINT>(path.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
}

std::string LowerAscii(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "uxtheme", "UxTheme.DLL" and "C:\WINDOWS\system32\uxtheme.dll" name the same library.
std::string LibraryKey(const std::string& requested)
{
    std::string name = requested;
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    name = LowerAscii(name);
    if (!name.empty() && name.back() == '.') name.pop_back();
    else if (name.find('.') == std::string::npos) name += ".dll";
    return name;
}

// The system folder's library of that name.
Library* FindLibrary(const std::string& key)
{
    for (Library& library : State().libraries)
        if (library.origin == Origin::SystemFolder && library.name == key) return &library;
    return nullptr;
}

// A library outside the system folder, made on its first load.
Library& LibraryFile(Origin origin, const std::string& path)
{
    for (Library& library : State().libraries)
        if (library.origin == origin && detail::SameName(library.path, path)) return library;
    State().libraries.push_back({LibraryKey(path), true, 0, {}, origin, path});
    return State().libraries.back();
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsKnownDll(const std::string& key)
{
    return std::find(std::begin(kKnownDlls), std::end(kKnownDlls), key) != std::end(kKnownDlls);
}

bool RedirectsCommonControls(const std::string& key)
{
    return State().commonControlsManifest && key == "comctl32.dll";
}

// The search of LoadLibraryA: a full path names its file; a bare name goes to
// the activation context's redirection, the known DLLs, the program's folder,
// then the system folder. nullptr when no file answers.
Library* ResolveLibrary(const std::string& requested)
{
    const std::string key = LibraryKey(requested);
    const std::string folder = FolderOf(requested);
    if (!folder.empty()) {
        if (detail::SameName(folder, State().systemDir)) return FindLibrary(key);
        if (FileExists(requested)) return &LibraryFile(Origin::Foreign, requested);
        return nullptr;
    }
    if (RedirectsCommonControls(key))
        return &LibraryFile(Origin::SideBySide, State().windowsDir + kSideBySideCommonControls);
    if (!IsKnownDll(key)) {
        const std::string beside = FolderOf(State().programPath) + "\\" + key;
        if (FileExists(beside)) return &LibraryFile(Origin::Foreign, beside);
    }
    return FindLibrary(key);
}

// Module handles are the addresses of the library records; none is ever
// a live kernel handle.
Library* LibraryFromHandle(HMODULE module)
{
    for (Library& library : State().libraries)
        if (reinterpret_cast<HMODULE>(&library) == module) return &library;
    return nullptr;
}

bool Withdrawn(const Library& library, const std::string& entry)
{
    return std::find(library.withdrawn.begin(), library.withdrawn.end(), entry) !=
           library.withdrawn.end();
}

void SetEntryPresent(Library& library, const std::string& entry, bool present)
{
    auto& withdrawn = library.withdrawn;
    withdrawn.erase(std::remove(withdrawn.begin(), withdrawn.end(), entry), withdrawn.end());
    if (!present) withdrawn.push_back(entry);
}

Library& LibraryRecord(const std::string& name)
{
    const std::string key = LibraryKey(name);
    if (Library* library = FindLibrary(key)) return *library;
    State().libraries.push_back({key, false, 0, {}, Origin::SystemFolder, {}});
    return State().libraries.back();
}

const char* const kToolhelpEntries[] = {"CreateToolhelp32Snapshot", "Process32First",
                                        "Process32Next", "Module32First", "Module32Next"};
// Came to kernel32 with Windows Vista.
const char* const kImageNameEntries[] = {"QueryFullProcessImageNameA", "QueryFullProcessImageNameW"};
// Came to kernel32 with Windows 98 and Windows 2000.
const char* const kLongPathEntries[] = {"GetLongPathNameA", "GetLongPathNameW"};

BOOL WINAPI SimIsThemeActive()
{
    NoteCall("IsThemeActive");
    return State().themeActive ? TRUE : FALSE;
}

LONG WINAPI SimNtQueryInformationFile(HANDLE file, PVOID ioStatusBlock, PVOID buffer,
                                      ULONG length, ULONG informationClass)
{
    NoteCall("NtQueryInformationFile");
    return NtQueryInformationFileSim(file, ioStatusBlock, buffer, length, informationClass);
}

BOOL WINAPI SimFindActCtxSectionStringA(DWORD, const GUID*, ULONG section, LPCSTR name,
                                        PACTCTX_SECTION_KEYED_DATA_2600 data)
{
    NoteCall("FindActCtxSectionStringA");
    if (data == nullptr || name == nullptr) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (section != ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION || !RedirectsCommonControls(LibraryKey(name))) {
        detail::SetError(ERROR_SXS_KEY_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SimInitCommonControlsEx(const INITCOMMONCONTROLSEX*)
{
    NoteCall("InitCommonControlsEx");
    State().commonControlsInitialised = State().systemDir + "\\comctl32.dll";
    return TRUE;
}

BOOL WINAPI SimInitStyledCommonControls(const INITCOMMONCONTROLSEX*)
{
    NoteCall("InitCommonControlsEx");
    State().commonControlsInitialised = State().windowsDir + kSideBySideCommonControls;
    return TRUE;
}

// GetProcAddress hands every entry point out as the one generic type.
template <typename Function>
FARPROC AsProc(Function* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// ---- The program's own version resource --------------------------------------
// The block is opaque to its callers: a signature and its own length, then
// (key, value) records. VerQueryValueA reads it where the caller copied it.
const char kBlockSignature[4] = {'S', 'V', 'E', 'R'};

// Values start on a 32-bit boundary, as in a real version resource, so
// callers may read WORDs and DWORDs in place.
void AppendRecord(std::string& block, const std::string& key, const std::string& value)
{
    auto put16 = [&block](size_t n) {
        block += static_cast<char>(n & 0xFF);
        block += static_cast<char>((n >> 8) & 0xFF);
    };
    put16(key.size());
    block += key;
    put16(value.size());
    block.append((4 - block.size() % 4) % 4, '\0');
    block += value;
}

std::string FixedInfoBytes()
{
    VS_FIXEDFILEINFO info{};
    info.dwSignature = 0xFEEF04BD;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = (6u << 16) | 5u;
    info.dwFileVersionLS = 0;
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    info.dwFileFlagsMask = 0x3F;
    info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    info.dwFileType = 1;         // VFT_APP
    return std::string(reinterpret_cast<const char*>(&info), sizeof info);
}

std::string VersionBlock()
{
    const SystemState& s = State();
    std::string block(kBlockSignature, 4);
    block.append(4, '\0');  // length, filled below
    AppendRecord(block, "\\", FixedInfoBytes());
    const DWORD translation = 0x04B00409;  // en-US, Unicode
    AppendRecord(block, "\\VarFileInfo\\Translation",
                 std::string(reinterpret_cast<const char*>(&translation), 4));
    for (const char* table : {"040904b0", "040904e4"}) {
        const std::string prefix = std::string("\\StringFileInfo\\") + table + "\\";
        AppendRecord(block, prefix + "CompanyName", s.companyName + '\0');
        AppendRecord(block, prefix + "FileDescription", s.fileDescription + '\0');
        AppendRecord(block, prefix + "FileVersion", std::string("6.5.0.0") + '\0');
        AppendRecord(block, prefix + "ProductName", std::string("Grevlin") + '\0');
    }
    const DWORD length = static_cast<DWORD>(block.size());
    std::memcpy(&block[4], &length, 4);
    return block;
}

bool IsProgramFile(LPCSTR file)
{
    return file != nullptr && detail::SameName(file, State().programPath);
}

// Why a file other than the program has no version block.
DWORD NoVersionReason(LPCSTR file)
{
    if (file == nullptr || *file == '\0') return ERROR_FILE_NOT_FOUND;
    if (FileExists(file)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    const std::string path = file;
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !FolderExists(path.substr(0, slash)))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

}  // namespace

// ---- Between the areas of the simulation ---------------------------------------
namespace detail {

Family CurrentFamily() { return State().family; }
void RecordStartedProgram(const StartedProgram& program) { State().started.push_back(program); }
const std::string& ProgramPath() { return State().programPath; }
const std::string& WindowsDir() { return State().windowsDir; }
const std::string& SystemDir() { return State().systemDir; }
void SetError(DWORD error) { lastError = error; }

FILETIME NowFileTime()
{
    const SYSTEMTIME t = Now();
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - DaysFromCivil(1601, 1, 1);
    const uint64_t ms = static_cast<uint64_t>(days) * 86400000ULL +
                        ((t.wHour * 60ULL + t.wMinute) * 60ULL + t.wSecond) * 1000ULL +
                        t.wMilliseconds;
    const uint64_t ticks = ms * 10000ULL;
    FILETIME out;
    out.dwLowDateTime = static_cast<DWORD>(ticks);
    out.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return out;
}

// Every capital of a 1252 letter is in 1252 too, so the round trip is exact.
std::string FoldName(const std::string& name)
{
    return names::ToAnsi(names::Fold(names::FromAnsi(name)));
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && FoldName(a) == FoldName(b);
}

}  // namespace detail

// ---- Control ---------------------------------------------------------------------
void ResetSystem()
{
    State() = SystemState();
    lastError = 0;
}

void SetPlatform(Family family, DWORD major, DWORD minor, DWORD build)
{
    SystemState& s = State();
    s.family = family;
    s.major = major;
    s.minor = minor;
    s.build = build;
    s.servicePack = "";
    detail::FollowFamilyForServiceManager(family);
    // psapi.dll is an NT library; toolhelp came to NT's kernel32 with Windows 2000.
    LibraryRecord("psapi.dll").present = family == Family::Nt;
    Library& kernel32 = LibraryRecord("kernel32.dll");
    kernel32.present = true;
    for (const char* entry : kToolhelpEntries)
        SetEntryPresent(kernel32, entry, !(family == Family::Nt && major < 5));
    // Activation contexts came with Windows XP.
    SetEntryPresent(kernel32, "FindActCtxSectionStringA",
                    family == Family::Nt && (major > 5 || (major == 5 && minor >= 1)));
    for (const char* entry : kImageNameEntries)
        SetEntryPresent(kernel32, entry, family == Family::Nt && major >= 6);
    for (const char* entry : kLongPathEntries)
        SetEntryPresent(kernel32, entry, major > 4 || (major == 4 && minor > 0));
}

void SetVersionExFails(bool fails) { State().versionExFails = fails; }
void SetWindowsDir(const std::string& path) { State().windowsDir = path; }
void SetSystemDir(const std::string& path) { State().systemDir = path; }
void SetTempDir(const std::string& path) { State().tempDir = names::FromAnsi(path); }
void SetTempDir(const std::wstring& path) { State().tempDir = names::FromWstring(path); }

void SetModulePath(const std::string& path)
{
    State().programPath = path;
    detail::SetSelfProcessPath(path);
}

void SetCommandLine(const std::string& commandLine) { State().commandLine = commandLine; }

void SetEnvironment(const std::string& name, const std::string& value)
{
    auto& environment = State().environment;
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (detail::SameName(it->first, name)) {
            environment.erase(it);
            break;
        }
    }
    if (!value.empty()) environment.emplace_back(name, value);
}

std::vector<StartedProgram> StartedPrograms() { return State().started; }
std::vector<std::string> OpenedLinks() { return State().links; }

void SetLibraryPresent(const std::string& name, bool present)
{
    LibraryRecord(name).present = present;
}

void SetEntryPointPresent(const std::string& library, const std::string& entry, bool present)
{
    SetEntryPresent(LibraryRecord(library), entry, present);
}

void SetThemeActive(bool active) { State().themeActive = active; }
void SetCommonControlsManifest(bool present) { State().commonControlsManifest = present; }
std::vector<std::string> ForeignLibraryLoads() { return State().foreignLoads; }
std::string CommonControlsInitialised() { return State().commonControlsInitialised; }

void SetVersionStrings(const std::string& companyName, const std::string& fileDescription)
{
    State().companyName = companyName;
    State().fileDescription = fileDescription;
}

uint64_t NowMs() { return State().elapsedMs; }
uint64_t TotalSleptMs() { return State().sleptMs; }
std::vector<DWORD> Sleeps() { return State().sleeps; }
void AdvanceMs(uint64_t ms)
{
    State().elapsedMs += ms;
    FinishExitsDue();
}

void SetLocalTime(const SYSTEMTIME& time)
{
    SYSTEMTIME origin = time;
    origin.wDayOfWeek = static_cast<WORD>(DayOfWeek(time));
    State().origin = origin;
}

}  // namespace sim

using sim::State;

// ---- kernel32 ---------------------------------------------------------------------
DWORD GetLastError()
{
    sim::NoteCall("GetLastError");
    return sim::lastError;
}

void SetLastError(DWORD error)
{
    sim::NoteCall("SetLastError");
    sim::lastError = error;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    sim::NoteCall("GetWindowsDirectoryA");
    return sim::DeliverPath(State().windowsDir, buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    sim::NoteCall("GetSystemDirectoryA");
    return sim::DeliverPath(State().systemDir, buffer, size);
}

DWORD GetTempPathA(DWORD size, LPSTR buffer)
{
    sim::NoteCall("GetTempPathA");
    return sim::DeliverPath(sim::names::ToAnsi(State().tempDir), buffer, size);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer)
{
    sim::NoteCall("GetTempPathW");
    const std::basic_string<WCHAR> path = sim::names::ToWide(State().tempDir);
    const DWORD length = static_cast<DWORD>(path.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, path.c_str(), (length + 1) * sizeof(WCHAR));
    return length;
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    sim::NoteCall("GetEnvironmentVariableA");
    for (const auto& [variable, value] : State().environment) {
        if (name != nullptr && sim::detail::SameName(variable, name))
            return sim::DeliverPath(value, buffer, size);
    }
    sim::detail::SetError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    sim::NoteCall("GetModuleFileNameA");
    std::string path;
    if (module == nullptr || reinterpret_cast<uintptr_t>(module) == sim::detail::kExeModuleBase) {
        path = State().programPath;
    } else if (sim::Library* library = sim::LibraryFromHandle(module);
               library != nullptr && library->loads > 0) {
        path = library->path.empty() ? State().systemDir + "\\" + library->name : library->path;
    } else {
        sim::detail::SetError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr || size == 0) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // A short buffer gets as many characters as it holds and no NUL, as on XP.
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size);
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

LPSTR GetCommandLineA()
{
    sim::NoteCall("GetCommandLineA");
    return &State().commandLine[0];
}

BOOL GetVersionExA(LPOSVERSIONINFOA info)
{
    sim::NoteCall("GetVersionExA");
    const sim::SystemState& s = State();
    if (info == nullptr) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (s.versionExFails) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = s.major;
    info->dwMinorVersion = s.minor;
    switch (s.family) {
    case sim::Family::Nt:
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
        info->dwBuildNumber = s.build;
        break;
    case sim::Family::Win9x:
        // The 9x family keeps the version in the build number's high word.
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        info->dwBuildNumber = (s.major << 24) | (s.minor << 16) | (s.build & 0xFFFF);
        break;
    case sim::Family::Other:
        info->dwPlatformId = VER_PLATFORM_WIN32s;
        info->dwBuildNumber = s.build;
        break;
    }
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, s.servicePack.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

DWORD GetVersion()
{
    sim::NoteCall("GetVersion");
    const sim::SystemState& s = State();
    const DWORD low = (s.major & 0xFF) | ((s.minor & 0xFF) << 8);
    if (s.family == sim::Family::Nt) return low | ((s.build & 0x7FFF) << 16);
    return low | 0x80000000u | ((s.build & 0x7FFF) << 16);
}

UINT GetACP()
{
    sim::NoteCall("GetACP");
    return 1252;
}

void Sleep(DWORD milliseconds)
{
    sim::NoteCall("Sleep");
    sim::SystemState& s = State();
    s.sleeps.push_back(milliseconds);
    s.sleptMs += milliseconds;
    s.elapsedMs += milliseconds;
    sim::FinishExitsDue();
}

DWORD GetTickCount()
{
    sim::NoteCall("GetTickCount");
    const uint64_t bootedBefore = 3600000;  // the machine has been up an hour
    return static_cast<DWORD>(bootedBefore + State().elapsedMs);
}

void GetLocalTime(LPSYSTEMTIME time)
{
    sim::NoteCall("GetLocalTime");
    if (time != nullptr) *time = sim::Now();
}

int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR out,
                   int size)
{
    sim::NoteCall("GetDateFormatA");
    const DWORD kLongDate = 0x00000002;
    if (!sim::KnownLocale(locale)) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (format != nullptr && (flags & (DATE_SHORTDATE | kLongDate))) {
        sim::detail::SetError(ERROR_INVALID_FLAGS);
        return 0;
    }
    SYSTEMTIME t = date != nullptr ? *date : sim::Now();
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > sim::DaysInMonth(t.wYear, t.wMonth)) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string picture;
    if (format != nullptr) picture = format;
    else picture = (flags & kLongDate) ? "dddd, MMMM d, yyyy" : "M/d/yyyy";
    return sim::DeliverFormatted(sim::ExpandPicture(picture, t, true), out, size);
}

int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR out,
                   int size)
{
    sim::NoteCall("GetTimeFormatA");
    if (!sim::KnownLocale(locale)) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SYSTEMTIME t = time != nullptr ? *time : sim::Now();
    if (t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string picture = format != nullptr ? format : "h:mm:ss tt";
    const DWORD kNoSeconds = 0x2, kNoMarker = 0x4, kForce24 = 0x8;
    if (format == nullptr) {
        if (flags & kForce24) picture = "H:mm:ss tt";
        if (flags & kNoSeconds) picture.erase(picture.find(":ss"), 3);
        if (flags & kNoMarker) picture.erase(picture.find(" tt"), 3);
    }
    return sim::DeliverFormatted(sim::ExpandPicture(picture, t, false), out, size);
}

HMODULE LoadLibraryA(LPCSTR name)
{
    sim::NoteCall("LoadLibraryA");
    if (name == nullptr || *name == '\0') {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    sim::Library* library = sim::ResolveLibrary(name);
    if (library == nullptr || !library->present) {
        sim::detail::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A foreign file's code has run by the time the load returns.
    if (library->origin == sim::Origin::Foreign) State().foreignLoads.push_back(library->path);
    ++library->loads;
    return reinterpret_cast<HMODULE>(library);
}

BOOL FreeLibrary(HMODULE module)
{
    sim::NoteCall("FreeLibrary");
    sim::Library* library = sim::LibraryFromHandle(module);
    if (library == nullptr || library->loads == 0) {
        sim::detail::SetError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    --library->loads;
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    sim::NoteCall("GetProcAddress");
    sim::Library* library = sim::LibraryFromHandle(module);
    if (library == nullptr || library->loads == 0) {
        sim::detail::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Lookups by ordinal (a small integer in place of the name) find nothing here.
    if (name != nullptr && reinterpret_cast<uintptr_t>(name) > 0xFFFF &&
        !sim::Withdrawn(*library, name)) {
        struct Export {
            const char* library;
            const char* name;
            FARPROC entry;
        };
        static const Export kExports[] = {
            {"ntdll.dll", "NtQueryInformationFile", sim::AsProc(&sim::SimNtQueryInformationFile)},
            {"uxtheme.dll", "IsThemeActive", sim::AsProc(&sim::SimIsThemeActive)},
            {"kernel32.dll", "CreateToolhelp32Snapshot", sim::AsProc(&::CreateToolhelp32Snapshot)},
            {"kernel32.dll", "Process32First", sim::AsProc(&::Process32First)},
            {"kernel32.dll", "Process32Next", sim::AsProc(&::Process32Next)},
            {"kernel32.dll", "Module32First", sim::AsProc(&::Module32First)},
            {"kernel32.dll", "Module32Next", sim::AsProc(&::Module32Next)},
            {"kernel32.dll", "QueryFullProcessImageNameA", sim::AsProc(&::QueryFullProcessImageNameA)},
            {"kernel32.dll", "QueryFullProcessImageNameW", sim::AsProc(&::QueryFullProcessImageNameW)},
            {"kernel32.dll", "GetLongPathNameA", sim::AsProc(&::GetLongPathNameA)},
            {"kernel32.dll", "GetLongPathNameW", sim::AsProc(&::GetLongPathNameW)},
            {"psapi.dll", "EnumProcesses", sim::AsProc(&::EnumProcesses)},
            {"psapi.dll", "EnumProcessModules", sim::AsProc(&::EnumProcessModules)},
            {"psapi.dll", "GetModuleFileNameExA", sim::AsProc(&::GetModuleFileNameExA)},
            {"psapi.dll", "GetModuleFileNameExW", sim::AsProc(&::GetModuleFileNameExW)},
            {"version.dll", "GetFileVersionInfoSizeA", sim::AsProc(&::GetFileVersionInfoSizeA)},
            {"version.dll", "GetFileVersionInfoA", sim::AsProc(&::GetFileVersionInfoA)},
            {"version.dll", "VerQueryValueA", sim::AsProc(&::VerQueryValueA)},
            {"kernel32.dll", "FindActCtxSectionStringA", sim::AsProc(&sim::SimFindActCtxSectionStringA)},
            {"comctl32.dll", "InitCommonControlsEx", sim::AsProc(&sim::SimInitCommonControlsEx)},
        };
        // Export names are case-sensitive, library names are not. A foreign
        // file exports nothing the program would want.
        if (library->origin == sim::Origin::SideBySide && std::strcmp(name, "InitCommonControlsEx") == 0)
            return sim::AsProc(&sim::SimInitStyledCommonControls);
        for (const Export& entry : kExports)
            if (library->origin == sim::Origin::SystemFolder && library->name == entry.library &&
                std::strcmp(name, entry.name) == 0)
                return entry.entry;
    }
    sim::detail::SetError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

void RtlMoveMemory(void* destination, const void* source, SIZE_T length)
{
    sim::NoteCall("RtlMoveMemory");
    if (length > 0) std::memmove(destination, source, length);
}

UINT WinExec(LPCSTR commandLine, UINT show)
{
    sim::NoteCall("WinExec");
    if (commandLine == nullptr || *commandLine == '\0') return ERROR_FILE_NOT_FOUND;
    State().started.push_back({commandLine, show});
    return 33;  // above 31: started
}

// ---- shlwapi, shell32 ------------------------------------------------------------------
BOOL PathIsNetworkPathA(LPCSTR path)
{
    sim::NoteCall("PathIsNetworkPathA");
    if (path == nullptr) return FALSE;
    return path[0] == '\\' && path[1] == '\\' ? TRUE : FALSE;  // no mapped network drives
}

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT)
{
    sim::NoteCall("ShellExecuteA");
    if (file == nullptr || *file == '\0') return reinterpret_cast<HINSTANCE>(ERROR_FILE_NOT_FOUND);
    State().links.push_back(file);
    return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}

// ---- version -------------------------------------------------------------------------
DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle)
{
    sim::NoteCall("GetFileVersionInfoSizeA");
    if (handle != nullptr) *handle = 0;
    if (!sim::IsProgramFile(file)) {
        sim::detail::SetError(sim::NoVersionReason(file));
        return 0;
    }
    return static_cast<DWORD>(sim::VersionBlock().size());
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD, DWORD size, LPVOID data)
{
    sim::NoteCall("GetFileVersionInfoA");
    if (data == nullptr) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!sim::IsProgramFile(file)) {
        sim::detail::SetError(sim::NoVersionReason(file));
        return FALSE;
    }
    std::string block = sim::VersionBlock();
    // A short buffer receives the start of the block, marked with the length it holds.
    const DWORD copied = std::min<DWORD>(size, static_cast<DWORD>(block.size()));
    if (copied < 8) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(&block[4], &copied, 4);
    std::memcpy(data, block.data(), copied);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length)
{
    sim::NoteCall("VerQueryValueA");
    if (length != nullptr) *length = 0;
    if (block == nullptr || subBlock == nullptr || buffer == nullptr) return FALSE;
    const auto* bytes = static_cast<const unsigned char*>(block);
    if (std::memcmp(bytes, sim::kBlockSignature, 4) != 0) return FALSE;
    DWORD total;
    std::memcpy(&total, bytes + 4, 4);
    std::string wanted = subBlock;
    if (wanted.empty()) wanted = "\\";
    if (wanted.size() > 1 && wanted[0] != '\\') wanted.insert(wanted.begin(), '\\');
    size_t at = 8;
    auto read16 = [bytes](size_t pos) { return static_cast<size_t>(bytes[pos] | (bytes[pos + 1] << 8)); };
    while (at + 2 <= total) {
        const size_t keyLength = read16(at);
        if (at + 2 + keyLength + 2 > total) break;
        const std::string key(reinterpret_cast<const char*>(bytes + at + 2), keyLength);
        const size_t lengthAt = at + 2 + keyLength;
        const size_t valueAt = (lengthAt + 2 + 3) / 4 * 4;
        const size_t valueLength = read16(lengthAt);
        if (valueAt + valueLength > total) break;
        if (sim::detail::SameName(key, wanted)) {
            *buffer = const_cast<unsigned char*>(bytes + valueAt);
            if (length != nullptr) *length = static_cast<UINT>(valueLength);
            return TRUE;
        }
        at = valueAt + valueLength;
    }
    return FALSE;
}
