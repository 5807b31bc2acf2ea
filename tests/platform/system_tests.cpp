// What the program relies on from kernel32, shlwapi and the run-time
// libraries: folder answers and their buffer rules, the version record, its
// own path, date and time texts, and libraries looked up at run time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string WindowsDir()
{
    char buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, length);
}

TEST(SystemFolders, WindowsFolderHasNoTrailingBackslash)
{
    char buffer[200];
    std::memset(buffer, 0, sizeof buffer);
    const UINT length = GetWindowsDirectoryA(buffer, 200);
    ASSERT_GT(length, 2u);
    EXPECT_EQ(std::strlen(buffer), length) << "the length excludes the NUL";
    EXPECT_NE('\\', buffer[length - 1]) << buffer;
    EXPECT_EQ(':', buffer[1]) << buffer;
}

TEST(SystemFolders, SystemFolderLiesInTheWindowsFolder)
{
    char buffer[255];
    std::memset(buffer, ' ', sizeof buffer);
    const UINT length = GetSystemDirectoryA(buffer, 255);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 255u);
    const std::string system(buffer, length);
    EXPECT_EQ('\0', buffer[length]) << "the answer ends with a NUL";
    EXPECT_NE('\\', system.back());
    EXPECT_EQ(Lower(WindowsDir() + "\\system32"), Lower(system));
}

TEST(SystemFolders, ShortBufferGetsTheSizeNeeded)
{
    const std::string windows = WindowsDir();
    char tiny[3] = {'x', 'x', 'x'};
    EXPECT_EQ(windows.size() + 1, GetWindowsDirectoryA(tiny, 3));
    const UINT systemLength = GetSystemDirectoryA(nullptr, 0);
    char system[MAX_PATH];
    EXPECT_EQ(systemLength - 1, GetSystemDirectoryA(system, MAX_PATH)) << "zero size asks for the size";
}

TEST(SystemFolders, TempFolderEndsWithABackslash)
{
    char buffer[100];
    std::memset(buffer, 0, sizeof buffer);
    const DWORD length = GetTempPathA(100, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 100u);
    EXPECT_EQ(std::strlen(buffer), length);
    EXPECT_EQ('\\', buffer[length - 1]) << buffer;
}

TEST(SystemFolders, TempFolderInAShortBufferWritesNothing)
{
    char full[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, full);
    ASSERT_GT(length, 1u);
    char small[MAX_PATH];
    std::memset(small, 0, sizeof small);
    EXPECT_EQ(length + 1, GetTempPathA(length, small)) << "no room for the NUL";
    EXPECT_EQ(std::string(MAX_PATH, '\0'), std::string(small, MAX_PATH));
    EXPECT_EQ(length + 1, GetTempPathA(1, small));
    EXPECT_EQ('\0', small[0]);
    EXPECT_EQ(length, GetTempPathA(length + 1, small)) << "room for the NUL is enough";
    EXPECT_STREQ(full, small);
}

TEST(SystemFolders, FullPathNamesAndEnvironmentVariables)
{
    const std::string windows = WindowsDir();
    char buffer[MAX_PATH] = {};
    char* name = buffer;
    auto full = [&](const std::string& path) {
        return std::string(buffer, GetFullPathNameA(path.c_str(), MAX_PATH, buffer, &name));
    };
    EXPECT_EQ(full(windows + "/system32/./..\\"), windows + "\\");
    EXPECT_EQ(name, nullptr) << "a trailing backslash names no file";
    EXPECT_EQ(full(windows.substr(0, 3) + "..\\"), windows.substr(0, 3)) << "nothing above the root";
    EXPECT_EQ(full(windows + "\\no such folder\\x.txt"), windows + "\\no such folder\\x.txt");
    EXPECT_STREQ(name, "x.txt");

    // Names in any case; a short buffer is told the size with the NUL.
    const DWORD length = GetEnvironmentVariableA("USERPROFILE", buffer, MAX_PATH);
    EXPECT_EQ(buffer[1], ':') << buffer;
    EXPECT_EQ(GetEnvironmentVariableA("userprofile", buffer, 2), length + 1);
    EXPECT_EQ(GetEnvironmentVariableA("GREVLIN_NEVER_SET", buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST(SystemVersion, RecordOfTheAnsiSizeIsFilled)
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = 148;
    ASSERT_EQ(148u, sizeof info);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_GE(info.dwMajorVersion, 5u);
    EXPECT_LT(std::strlen(info.szCSDVersion), sizeof info.szCSDVersion);

    const DWORD version = GetVersion();
    EXPECT_EQ(info.dwMajorVersion, LOBYTE(LOWORD(version)));
    EXPECT_EQ(info.dwMinorVersion, HIBYTE(LOWORD(version)));
    EXPECT_EQ(0u, version & 0x80000000u) << "the high bit marks the 9x family";
}

TEST(SystemVersion, RecordOfAnotherSizeIsRefused)
{
    OSVERSIONINFOA info;
    for (DWORD size : {0u, 147u, 149u, 296u}) {
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = size;
        EXPECT_FALSE(GetVersionExA(&info)) << size;
        EXPECT_EQ(0u, info.dwPlatformId) << size;
    }
}

TEST(SystemProgram, ModuleFileNameIsTheFullExecutablePath)
{
    char path[MAX_PATH];
    std::memset(path, 'x', sizeof path);
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 4u);
    EXPECT_EQ(std::strlen(path), length);
    EXPECT_EQ(".exe", Lower(std::string(path + length - 4)));
    EXPECT_EQ(':', path[1]);

    const std::string full(path, length);
    const std::string name = full.substr(full.find_last_of('\\') + 1);
    EXPECT_NE(std::string::npos, Lower(GetCommandLineA()).find(Lower(name.substr(0, name.size() - 4))))
        << "the command line starts the executable: " << GetCommandLineA();
}

TEST(SystemProgram, ModuleFileNameInAShortBufferIsCut)
{
    char full[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, full, MAX_PATH);
    ASSERT_GT(length, 6u);
    char small[8];
    std::memset(small, 'x', sizeof small);
    const DWORD got = GetModuleFileNameA(nullptr, small, 6);
    EXPECT_EQ(6u, got) << "a cut path answers the buffer's size";
    EXPECT_EQ(std::string(full, 5), std::string(small, 5));
    EXPECT_EQ('x', small[6]) << "nothing past the buffer";
}

TEST(SystemProgram, OwnModuleThroughPsapiIsCutWithItsNul)
{
    char full[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, full, MAX_PATH), 6u);
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(6u, GetModuleFileNameExA(self, nullptr, small, 6));
    EXPECT_EQ(std::string(full, 5), std::string(small));
    EXPECT_EQ('x', small[6]);
    CloseHandle(self);
}

TEST(SystemProgram, AnsiCodePageIsWesternEuropean)
{
    EXPECT_EQ(1252u, GetACP());
    EXPECT_NE(0u, GetCurrentProcessId());
}

// Code page 1252 gives characters without a byte of their own a look-alike
// by best fit, unless WC_NO_BEST_FIT_CHARS asks for the default character.
TEST(SystemText, BestFitOnlyWithoutTheFlag)
{
    // Fullwidth A, b, colon and reverse solidus; set minus; ratio; fraction
    // slash; fullwidth e; A with macron; hyphen; ideographic space.
    const WCHAR lookalikes[] = {0xFF21, 0xFF42, 0xFF1A, 0xFF3C, 0x2216, 0x2236,
                                0x2044, 0xFF45, 0x0100, 0x2010, 0x3000};
    char out[16] = {};
    BOOL used = TRUE;
    int n = WideCharToMultiByte(CP_ACP, 0, lookalikes, 11, out, sizeof out, nullptr, &used);
    EXPECT_EQ("Ab:\\\\:/eA- ", std::string(out, n > 0 ? n : 0));
    EXPECT_FALSE(used);
    used = FALSE;
    n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, lookalikes, 11, out, sizeof out, nullptr, &used);
    EXPECT_EQ("???????????", std::string(out, n > 0 ? n : 0));
    EXPECT_TRUE(used);
    // Cyrillic zhe has no look-alike; a surrogate pair is two characters.
    const WCHAR unfit[] = {0x0416, 0xD83D, 0xDE00};
    n = WideCharToMultiByte(CP_ACP, 0, unfit, 3, out, sizeof out, nullptr, &used);
    EXPECT_EQ("???", std::string(out, n > 0 ? n : 0));
    EXPECT_TRUE(used);
    n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, lookalikes, 2, out, sizeof out, "_", nullptr);
    EXPECT_EQ("__", std::string(out, n > 0 ? n : 0));

    // Characters of the code page itself, the five undefined bytes' included.
    const WCHAR exact[] = {0x00E9, 0x20AC, 0x0081, 0x017D, 'a'};
    n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, exact, 5, out, sizeof out, nullptr, &used);
    EXPECT_EQ("\xE9\x80\x81\x8E" "a", std::string(out, n > 0 ? n : 0));
    EXPECT_FALSE(used);
    WCHAR back[8] = {};
    ASSERT_EQ(5, MultiByteToWideChar(CP_ACP, 0, out, 5, back, 8));
    EXPECT_TRUE(std::equal(exact, exact + 5, back));

    EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, lookalikes, 6, nullptr, 0, nullptr, nullptr))
        << "size zero asks for the size";
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, lookalikes, 6, out, 3, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

// user32 lower-cases the letters of code page 1252 and beyond, each
// character on its own.
TEST(SystemText, WideTextLowerCase)
{
    WCHAR text[] = {'A', 0x00C0, 0x0178, 0xFF21, 0x0160, 0x0391, 0x0410, 'z', '1', 0};
    EXPECT_EQ(8u, CharLowerBuffW(text, 8));
    EXPECT_EQ(L"a\u00E0\u00FF\uFF41\u0161\u03B1\u0430z1", platform::FromUtf16(text, 9))
        << "the characters past the count stay";
}

// The program's own conversions on top of those calls: never a look-alike.
TEST(SystemText, ProgramConversionsNeverTakeALookAlike)
{
    EXPECT_EQ("?bc?x", platform::ToAnsi(L"\uFF41bc\uFF1Ax"));
    EXPECT_FALSE(platform::HasExactAnsiForm(L"\uFF41bc"));
    EXPECT_FALSE(platform::HasExactAnsiForm(L"a\u2216b"));
    EXPECT_TRUE(platform::HasExactAnsiForm(L"caf\u00e9 \u20ac ?"));
    EXPECT_EQ(L"caf\u00e9 \u20ac", platform::FromAnsi(platform::ToAnsi(L"caf\u00e9 \u20ac")));
}

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME t;
    std::memset(&t, 0, sizeof t);
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

std::string Date(const SYSTEMTIME& t, DWORD flags, const char* picture)
{
    char out[64] = {};
    const int n = GetDateFormatA(0x0409, flags, &t, picture, out, sizeof out);
    EXPECT_EQ(static_cast<int>(std::strlen(out)) + 1, n) << "the count includes the NUL";
    return out;
}

std::string Time(const SYSTEMTIME& t, const char* picture)
{
    char out[64] = {};
    const int n = GetTimeFormatA(0x0409, 0, &t, picture, out, sizeof out);
    EXPECT_EQ(static_cast<int>(std::strlen(out)) + 1, n);
    return out;
}

TEST(SystemClock, UsEnglishShortDateAndTime)
{
    EXPECT_EQ("7/30/2006", Date(At(2006, 7, 30, 12, 0, 0), DATE_SHORTDATE, nullptr));
    EXPECT_EQ("12/3/2005", Date(At(2005, 12, 3, 0, 0, 0), DATE_SHORTDATE, nullptr));
    EXPECT_EQ("12:00:00 PM", Time(At(2006, 7, 30, 12, 0, 0), nullptr));
    EXPECT_EQ("1:05:09 PM", Time(At(2006, 7, 30, 13, 5, 9), nullptr));
    EXPECT_EQ("12:00:07 AM", Time(At(2006, 7, 30, 0, 0, 7), nullptr));
    EXPECT_EQ("11:59:59 PM", Time(At(2006, 7, 30, 23, 59, 59), nullptr));
}

TEST(SystemClock, PicturesAndQuotedText)
{
    const SYSTEMTIME t = At(2006, 7, 2, 9, 4, 3);
    EXPECT_EQ("02.07.06", Date(t, 0, "dd'.'MM'.'yy"));
    EXPECT_EQ("Sun, Jul 2 2006", Date(t, 0, "ddd',' MMM d yyyy"));
    EXPECT_EQ("Sunday July", Date(t, 0, "dddd MMMM"));
    EXPECT_EQ("it's 2006", Date(t, 0, "'it''s' yyyy"));
    EXPECT_EQ("09:04:03", Time(t, "HH':'mm':'ss"));
    EXPECT_EQ("9h4 A", Time(t, "h'h'm t"));
}

TEST(SystemClock, LongDateAndTimeFlags)
{
    const SYSTEMTIME t = At(2006, 7, 30, 14, 5, 9);
    EXPECT_EQ("Sunday, July 30, 2006", Date(t, 0x2 /* DATE_LONGDATE */, nullptr));
    char out[64] = {};
    EXPECT_EQ(0, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, "d", out, sizeof out))
        << "a picture and a format flag exclude each other";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    ASSERT_GT(GetTimeFormatA(0x0409, 0x2 /* TIME_NOSECONDS */, &t, nullptr, out, sizeof out), 0);
    EXPECT_STREQ("2:05 PM", out);
    ASSERT_GT(GetTimeFormatA(0x0409, 0x4 /* TIME_NOTIMEMARKER */, &t, nullptr, out, sizeof out), 0);
    EXPECT_STREQ("2:05:09", out);
    ASSERT_GT(GetTimeFormatA(0x0409, 0x8 /* TIME_FORCE24HOURFORMAT */, &t, nullptr, out, sizeof out), 0);
    EXPECT_STREQ("14:05:09 PM", out);
}

TEST(SystemClock, SizeZeroAsksAndShortBuffersFail)
{
    const SYSTEMTIME t = At(2006, 7, 30, 12, 0, 0);
    EXPECT_EQ(10, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, nullptr, nullptr, 0));
    EXPECT_EQ(12, GetTimeFormatA(0x0409, 0, &t, nullptr, nullptr, 0));
    char out[5] = {};
    EXPECT_EQ(0, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, nullptr, out, sizeof out));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0, GetTimeFormatA(0x0409, 0, &t, nullptr, out, sizeof out));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(SystemClock, InvalidDatesAreRefused)
{
    char out[32];
    SYSTEMTIME t = At(2006, 13, 1, 0, 0, 0);
    EXPECT_EQ(0, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, nullptr, out, sizeof out));
    t = At(2006, 4, 31, 0, 0, 0);
    EXPECT_EQ(0, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, nullptr, out, sizeof out));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    t = At(2004, 2, 29, 0, 0, 0);
    EXPECT_NE(0, GetDateFormatA(0x0409, DATE_SHORTDATE, &t, nullptr, out, sizeof out)) << "a leap day";
    t = At(2006, 7, 30, 24, 0, 0);
    EXPECT_EQ(0, GetTimeFormatA(0x0409, 0, &t, nullptr, out, sizeof out));
}

TEST(SystemClock, LocalTimeIsACalendarDate)
{
    SYSTEMTIME now;
    std::memset(&now, 0xFF, sizeof now);
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2000);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_GE(now.wDay, 1);
    EXPECT_LE(now.wDay, 31);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMinute, 59);
    EXPECT_LE(now.wSecond, 59);
    EXPECT_LE(now.wMilliseconds, 999);
    // Sakamoto's rule gives the weekday the system must agree with.
    static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = now.wYear - (now.wMonth < 3 ? 1 : 0);
    const int weekday = (y + y / 4 - y / 100 + y / 400 + offsets[now.wMonth - 1] + now.wDay) % 7;
    EXPECT_EQ(weekday, now.wDayOfWeek);
    char date[32];
    EXPECT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date), 1)
        << "no date stands for today";
}

TEST(SystemLibraries, NtdllExportsTheStreamQuery)
{
    HMODULE ntdll = LoadLibraryA("ntdll.dll");
    ASSERT_NE(nullptr, ntdll);
    EXPECT_NE(nullptr, GetProcAddress(ntdll, "NtQueryInformationFile"));
    EXPECT_EQ(nullptr, GetProcAddress(ntdll, "GrevlinNoSuchExport"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_TRUE(FreeLibrary(ntdll));
}

TEST(SystemLibraries, ThemeLibraryLoadsByName)
{
    HMODULE uxtheme = LoadLibraryA("uxtheme.dll");
    ASSERT_NE(nullptr, uxtheme);
    auto isThemeActive = reinterpret_cast<IsThemeActiveFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(uxtheme, "IsThemeActive")));
    ASSERT_NE(nullptr, isThemeActive);
    EXPECT_TRUE(FreeLibrary(uxtheme));
}

TEST(SystemLibraries, UnknownLibraryIsNotFound)
{
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("grevlin_no_such_library.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(SystemMemory, MoveMemoryHandlesOverlap)
{
    char text[] = "abcdefgh";
    RtlMoveMemory(text + 2, text, 5);
    EXPECT_STREQ("ababcdeh", text);
    RtlMoveMemory(text, text + 3, 4);
    EXPECT_STREQ("bcdecdeh", text);
}

TEST(SystemShell, UncPathsAreNetworkPaths)
{
    EXPECT_EQ(TRUE, PathIsNetworkPathA("\\\\server\\share"));
    EXPECT_EQ(TRUE, PathIsNetworkPathA("\\\\server\\share\\folder\\"));
    EXPECT_EQ(FALSE, PathIsNetworkPathA("C:\\WINDOWS"));
    EXPECT_EQ(FALSE, PathIsNetworkPathA("\\WINDOWS"));
    EXPECT_EQ(FALSE, PathIsNetworkPathA(""));
}

TEST(SystemVersionInfo, MissingFileHasNoVersionResource)
{
    DWORD handle = 7;
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\grevlin\\no\\such\\file.exe", &handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

}  // namespace
