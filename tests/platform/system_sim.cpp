// The simulated machine's platform facts as a test arranges them: folders,
// platform family and version, the virtual clock, libraries and the theme,
// started programs and opened links, and the program's version resource.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

class SystemSim : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { EXPECT_EQ(0, sim::OpenHandles()); }

    static OSVERSIONINFOA Version(BOOL* ok = nullptr)
    {
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        const BOOL result = GetVersionExA(&info);
        if (ok != nullptr) *ok = result;
        return info;
    }

    static std::string Today()
    {
        char date[32] = {};
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
        return date;
    }

    static std::string Now()
    {
        char time[32] = {};
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
        return time;
    }
};

TEST_F(SystemSim, FreshMachineIsXpServicePackTwo)
{
    BOOL ok = FALSE;
    const OSVERSIONINFOA info = Version(&ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(5u, info.dwMajorVersion);
    EXPECT_EQ(1u, info.dwMinorVersion);
    EXPECT_EQ(2600u, info.dwBuildNumber);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_STREQ("Service Pack 2", info.szCSDVersion);
    EXPECT_EQ(0x0A280105u, GetVersion());

    char path[MAX_PATH];
    ASSERT_EQ(10u, GetWindowsDirectoryA(path, MAX_PATH));
    EXPECT_STREQ("C:\\WINDOWS", path);
    ASSERT_EQ(19u, GetSystemDirectoryA(path, MAX_PATH));
    EXPECT_STREQ("C:\\WINDOWS\\system32", path);
    ASSERT_EQ(32u, GetTempPathA(MAX_PATH, path));
    EXPECT_STREQ("C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\", path);
    ASSERT_EQ(36u, GetModuleFileNameA(nullptr, path, MAX_PATH));
    EXPECT_STREQ("C:\\Program Files\\Grevlin\\Grevlin.exe", path);
    EXPECT_STREQ("\"C:\\Program Files\\Grevlin\\Grevlin.exe\"", GetCommandLineA());
}

TEST_F(SystemSim, ArrangedFoldersAndProgram)
{
    sim::SetWindowsDir("D:\\WINNT");
    sim::SetSystemDir("D:\\WINNT\\System32");
    sim::SetTempDir("D:\\TEMP\\");
    sim::SetModulePath("E:\\Grevlin.exe");
    sim::SetCommandLine("\"E:\\Grevlin.exe\" /x");
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, MAX_PATH);
    EXPECT_STREQ("D:\\WINNT", path);
    GetSystemDirectoryA(path, MAX_PATH);
    EXPECT_STREQ("D:\\WINNT\\System32", path);
    GetTempPathA(MAX_PATH, path);
    EXPECT_STREQ("D:\\TEMP\\", path);
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    EXPECT_STREQ("E:\\Grevlin.exe", path);
    EXPECT_STREQ("\"E:\\Grevlin.exe\" /x", GetCommandLineA());
}

TEST_F(SystemSim, LongTempPathDoesNotFitAHundredCharactersSimOnly)
{
    const std::string temp = "C:\\Documents and Settings\\A user with a very long name indeed, longer still\\Local Settings\\Temp\\Deeper\\";
    ASSERT_GT(temp.size(), 99u);
    sim::SetTempDir(temp);
    char buffer[100];
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(temp.size() + 1, GetTempPathA(100, buffer));
    EXPECT_EQ('\0', buffer[0]);
}

TEST_F(SystemSim, ModuleFileNameCutWithoutNulSimOnly)
{
    char small[8];
    std::memset(small, 'x', sizeof small);
    SetLastError(0);
    EXPECT_EQ(6u, GetModuleFileNameA(nullptr, small, 6));
    EXPECT_EQ("C:\\Pro", std::string(small, 6)) << "as many characters as fit, no NUL";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(SystemSim, NineXFamilySimOnly)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    const OSVERSIONINFOA info = Version();
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
    EXPECT_EQ(4u, info.dwMajorVersion);
    EXPECT_EQ(10u, info.dwMinorVersion);
    EXPECT_EQ(2222u, LOWORD(info.dwBuildNumber)) << "the build sits in the low word";
    const DWORD version = GetVersion();
    EXPECT_EQ(4u, LOBYTE(LOWORD(version)));
    EXPECT_EQ(10u, HIBYTE(LOWORD(version)));
    EXPECT_NE(0u, version & 0x80000000u);
}

TEST_F(SystemSim, OtherFamilyAndWindows2000SimOnly)
{
    sim::SetPlatform(sim::Family::Other, 1, 30, 0);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32s), Version().dwPlatformId);
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_EQ(0x08930005u, GetVersion());
}

TEST_F(SystemSim, FailingVersionCallLeavesTheRecordSimOnly)
{
    sim::SetVersionExFails(true);
    BOOL ok = TRUE;
    const OSVERSIONINFOA info = Version(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(0u, info.dwPlatformId);
    EXPECT_EQ(0u, info.dwMajorVersion);
}

TEST_F(SystemSim, SleepAdvancesTheClockAtOnce)
{
    EXPECT_EQ("7/30/2006", Today());
    EXPECT_EQ("12:00:00 PM", Now());
    const DWORD ticks = GetTickCount();
    Sleep(100);
    Sleep(1000);
    Sleep(0);
    EXPECT_EQ((std::vector<DWORD>{100, 1000, 0}), sim::Sleeps());
    EXPECT_EQ(1100u, sim::TotalSleptMs());
    EXPECT_EQ(1100u, sim::NowMs());
    EXPECT_EQ(ticks + 1100, GetTickCount());
    EXPECT_EQ("12:00:01 PM", Now());
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(100, now.wMilliseconds);
    EXPECT_EQ(0, now.wDayOfWeek) << "30 July 2006 was a Sunday";
}

TEST_F(SystemSim, AdvancingIsNoSleep)
{
    sim::AdvanceMs(90 * 60 * 1000);
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(0u, sim::TotalSleptMs());
    EXPECT_EQ("1:30:00 PM", Now());
}

TEST_F(SystemSim, ClockCrossesMidnightMonthsAndYears)
{
    SYSTEMTIME origin;
    std::memset(&origin, 0, sizeof origin);
    origin.wYear = 2006;
    origin.wMonth = 12;
    origin.wDay = 31;
    origin.wHour = 23;
    origin.wMinute = 59;
    origin.wSecond = 59;
    origin.wMilliseconds = 500;
    sim::SetLocalTime(origin);
    EXPECT_EQ("12/31/2006", Today());
    EXPECT_EQ("11:59:59 PM", Now());
    sim::AdvanceMs(600);
    EXPECT_EQ("1/1/2007", Today());
    EXPECT_EQ("12:00:00 AM", Now());
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(1, now.wDayOfWeek) << "1 January 2007 was a Monday";
    EXPECT_EQ(100, now.wMilliseconds);

    origin.wYear = 2008;
    origin.wMonth = 2;
    origin.wDay = 28;
    origin.wHour = 12;
    origin.wSecond = 0;
    origin.wMinute = 0;
    origin.wMilliseconds = 0;
    sim::SetLocalTime(origin);
    sim::AdvanceMs(24ull * 3600 * 1000 - 600);  // back to the origin's moment a day later
    EXPECT_EQ("2/29/2008", Today());
}

TEST_F(SystemSim, ThemeLibraryFollowsTheMachineSimOnly)
{
    HMODULE uxtheme = LoadLibraryA("UxTheme.dll");
    ASSERT_NE(nullptr, uxtheme);
    auto isThemeActive = reinterpret_cast<IsThemeActiveFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(uxtheme, "IsThemeActive")));
    ASSERT_NE(nullptr, isThemeActive);
    EXPECT_TRUE(isThemeActive());
    sim::SetThemeActive(false);
    EXPECT_FALSE(isThemeActive());
    EXPECT_TRUE(FreeLibrary(uxtheme));
    EXPECT_FALSE(FreeLibrary(uxtheme)) << "one release per load";

    sim::SetLibraryPresent("uxtheme.dll", false);
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("uxtheme.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("C:\\WINDOWS\\system32\\UXTHEME"));
}

TEST_F(SystemSim, NtdllHandsOutTheStreamQuery)
{
    HMODULE ntdll = LoadLibraryA("ntdll.dll");
    ASSERT_NE(nullptr, ntdll);
    auto query = reinterpret_cast<NtQueryInformationFileFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryInformationFile")));
    ASSERT_NE(nullptr, query);
    EXPECT_EQ(nullptr, GetProcAddress(ntdll, "IsThemeActive")) << "each export lives in its own library";
    sim::AddFile("C:\\WINDOWS\\host.txt", "x");
    sim::AddStream("C:\\WINDOWS\\host.txt", "hidden", "payload");
    HANDLE file = CreateFileA("C:\\WINDOWS\\host.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    alignas(8) unsigned char viaPointer[512] = {}, direct[512] = {};
    IO_STATUS_BLOCK status1{}, status2{};
    const LONG a = query(file, &status1, viaPointer, sizeof viaPointer, kFileStreamInformation);
    const LONG b = sim::NtQueryInformationFileSim(file, &status2, direct, sizeof direct, kFileStreamInformation);
    EXPECT_EQ(b, a);
    EXPECT_EQ(0, std::memcmp(viaPointer, direct, sizeof direct));
    CloseHandle(file);
    EXPECT_TRUE(FreeLibrary(ntdll));
}

TEST_F(SystemSim, UnknownLibrariesAndArrangedOnes)
{
    EXPECT_EQ(nullptr, LoadLibraryA("hijack.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    sim::SetLibraryPresent("hijack.dll", true);
    HMODULE loaded = LoadLibraryA("HIJACK");
    ASSERT_NE(nullptr, loaded);
    EXPECT_EQ(nullptr, GetProcAddress(loaded, "DllRegisterServer"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(loaded, path, MAX_PATH), 0u);
    EXPECT_STREQ("C:\\WINDOWS\\system32\\hijack.dll", path);
    EXPECT_TRUE(FreeLibrary(loaded));
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

const char kBeside[] = "C:\\Program Files\\Grevlin\\";
const char kStyledControls[] =
    "C:\\WINDOWS\\WinSxS\\x86_Microsoft.Windows.Common-Controls_6595b64144ccf1df_6.0.2600.2180_"
    "x-ww_a84f1ff9\\comctl32.dll";

// The loader's search order for a bare name: the activation context's
// redirection, the known DLLs, the program's folder, the system folder.
TEST_F(SystemSim, BareNamesAreLookedForBesideTheProgramFirstSimOnly)
{
    for (const char* name : {"uxtheme.dll", "kernel32.dll", "comctl32.dll"})
        sim::AddFile(std::string(kBeside) + name, "MZ planted");

    HMODULE planted = LoadLibraryA("UxTheme");
    ASSERT_NE(nullptr, planted);
    EXPECT_EQ(std::string(kBeside) + "uxtheme.dll", ModulePath(planted));
    EXPECT_EQ(nullptr, GetProcAddress(planted, "IsThemeActive"));
    HMODULE own = LoadLibraryA("C:\\WINDOWS\\system32\\uxtheme.dll");
    EXPECT_EQ("C:\\WINDOWS\\system32\\uxtheme.dll", ModulePath(own));
    EXPECT_NE(nullptr, GetProcAddress(own, "IsThemeActive"));
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    EXPECT_EQ("C:\\WINDOWS\\system32\\kernel32.dll", ModulePath(kernel32)) << "a known DLL";
    EXPECT_EQ(nullptr, LoadLibraryA("C:\\Program Files\\Grevlin\\psapi.dll")) << "no such file";

    auto redirected = [](const char* name) {
        HMODULE module = LoadLibraryA("kernel32.dll");
        auto find = reinterpret_cast<FindActCtxSectionStringAFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "FindActCtxSectionStringA")));
        ACTCTX_SECTION_KEYED_DATA_2600 data = {};
        data.cbSize = sizeof data;
        const bool found = find != nullptr &&
                           find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data);
        FreeLibrary(module);
        return found;
    };
    HMODULE beside = LoadLibraryA("comctl32.dll");
    EXPECT_EQ(std::string(kBeside) + "comctl32.dll", ModulePath(beside));
    EXPECT_FALSE(redirected("comctl32.dll"));
    sim::SetCommonControlsManifest(true);
    EXPECT_TRUE(redirected("comctl32.dll"));
    EXPECT_FALSE(redirected("uxtheme.dll"));
    HMODULE styled = LoadLibraryA("comctl32.dll");
    EXPECT_EQ(kStyledControls, ModulePath(styled)) << "the redirection comes before every folder";

    EXPECT_EQ(sim::ForeignLibraryLoads(),
              (std::vector<std::string>{std::string(kBeside) + "uxtheme.dll",
                                        std::string(kBeside) + "comctl32.dll"}));
    for (HMODULE module : {planted, own, kernel32, beside, styled}) EXPECT_TRUE(FreeLibrary(module));
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_FALSE(redirected("comctl32.dll")) << "Windows 2000 has no activation contexts";
}

// What the program loads goes by full path to the system folder, or for the
// common controls through the activation context, whatever lies beside it.
TEST_F(SystemSim, WindowsLibrariesComeFromTheSystemFolderSimOnly)
{
    for (const char* name : {"uxtheme.dll", "psapi.dll", "version.dll", "comctl32.dll"})
        sim::AddFile(std::string(kBeside) + name, "MZ planted");

    {
        const platform::LoadedLibrary psapi("psapi.dll");
        EXPECT_NE(nullptr, psapi.Entry<EnumProcessesFn>("EnumProcesses"));
        const platform::LoadedLibrary version("version.dll");
        EXPECT_NE(nullptr, version.Entry<VerQueryValueAFn>("VerQueryValueA"));
    }
    HMODULE uxtheme = platform::LoadSystemLibrary("uxtheme.dll");
    EXPECT_EQ("C:\\WINDOWS\\system32\\uxtheme.dll", ModulePath(uxtheme));
    FreeLibrary(uxtheme);
    sim::SetLibraryPresent("psapi.dll", false);
    EXPECT_FALSE(platform::LoadedLibrary("psapi.dll").Loaded()) << "missing, not taken from elsewhere";

    EXPECT_TRUE(platform::LoadCommonControls(ICC_TAB_CLASSES));
    EXPECT_EQ("C:\\WINDOWS\\system32\\comctl32.dll", sim::CommonControlsInitialised());
    sim::SetCommonControlsManifest(true);
    EXPECT_TRUE(platform::LoadCommonControls(ICC_TAB_CLASSES));
    EXPECT_EQ(kStyledControls, sim::CommonControlsInitialised()) << "a styled start keeps its style";

    EXPECT_TRUE(sim::ForeignLibraryLoads().empty());
}

TEST_F(SystemSim, StartedProgramsAndOpenedLinksAreRecorded)
{
    EXPECT_GT(WinExec("explorer.exe", SW_SHOWMINIMIZED), 31u);
    EXPECT_GT(WinExec("\"C:\\Program Files\\Grevlin\\Grevlin.exe\" \"x\"", SW_SHOWNORMAL), 31u);
    EXPECT_EQ(static_cast<UINT>(ERROR_FILE_NOT_FOUND), WinExec("", SW_SHOWNORMAL));
    const std::vector<sim::StartedProgram> started = sim::StartedPrograms();
    ASSERT_EQ(2u, started.size());
    EXPECT_EQ("explorer.exe", started[0].commandLine);
    EXPECT_EQ(static_cast<UINT>(SW_SHOWMINIMIZED), started[0].show);
    EXPECT_EQ(static_cast<UINT>(SW_SHOWNORMAL), started[1].show);

    HINSTANCE result = ShellExecuteA(nullptr, nullptr, "mailto:help@example.org", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, nullptr, nullptr, nullptr, nullptr, 1)), 32);
    EXPECT_EQ((std::vector<std::string>{"mailto:help@example.org"}), sim::OpenedLinks());
}

TEST_F(SystemSim, VersionResourceOfTheProgram)
{
    sim::SetVersionStrings("Acme & Co", "Removes <things>");
    DWORD handle = 99;
    const DWORD size = GetFileVersionInfoSizeA("c:\\program files\\grevlin\\GREVLIN.EXE", &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(0u, handle);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Program Files\\Grevlin\\Grevlin.exe", 0, size, block.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName", &value, &length));
    EXPECT_STREQ("Acme & Co", static_cast<char*>(value));
    EXPECT_EQ(10u, length) << "the length counts the NUL";
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileDescription", &value, &length));
    EXPECT_STREQ("Removes <things>", static_cast<char*>(value));
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\Nothing", &value, &length));
    EXPECT_EQ(0u, length);

    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0u, (static_cast<char*>(value) - block.data()) % 4) << "values are DWORD-aligned";
    DWORD translation = 0;
    std::memcpy(&translation, value, 4);
    EXPECT_EQ(0x0409u, LOWORD(translation));
    EXPECT_EQ(0x04B0u, HIWORD(translation));

    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
    EXPECT_EQ(6u, HIWORD(fixed.dwFileVersionMS));
    EXPECT_EQ(5u, LOWORD(fixed.dwFileVersionMS));
    EXPECT_EQ(0u, fixed.dwFileVersionLS);
}

TEST_F(SystemSim, VersionResourceDefaultsAndOtherFiles)
{
    const DWORD size = GetFileVersionInfoSizeA("C:\\Program Files\\Grevlin\\Grevlin.exe", nullptr);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Program Files\\Grevlin\\Grevlin.exe", 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName", &value, &length));
    EXPECT_STREQ("Grevlin Team", static_cast<char*>(value));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileDescription", &value, &length));
    EXPECT_STREQ("Grevlin CWS removal tool", static_cast<char*>(value));

    // A cut copy of the block answers only what it holds.
    std::vector<char> cut(40);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Program Files\\Grevlin\\Grevlin.exe", 0, 40, cut.data()));
    EXPECT_FALSE(VerQueryValueA(cut.data(), "\\StringFileInfo\\040904b0\\FileDescription", &value, &length));

    sim::AddFile("C:\\WINDOWS\\plain.exe", "MZ");
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\WINDOWS\\plain.exe", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\WINDOWS\\absent.exe", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    sim::SetModulePath("D:\\Grevlin.exe");
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\Program Files\\Grevlin\\Grevlin.exe", nullptr))
        << "the resource belongs to the running program";
    EXPECT_GT(GetFileVersionInfoSizeA("D:\\Grevlin.exe", nullptr), 0u);
}

TEST_F(SystemSim, EveryCallPassesTheHook)
{
    std::vector<std::string> calls;
    sim::SetCallHook([&calls](const char* name) { calls.push_back(name); });
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, MAX_PATH);
    Sleep(5);
    HKEY key = nullptr;
    RegOpenKeyA(HKEY_CURRENT_USER, "Missing", &key);
    EnumProcesses(nullptr, 0, nullptr);
    OpenSCManagerA(nullptr, "Wrong", 0);
    sim::SetCallHook(nullptr);
    EXPECT_EQ((std::vector<std::string>{"GetWindowsDirectoryA", "Sleep", "RegOpenKeyA", "EnumProcesses",
                                        "OpenSCManagerA"}),
              calls);
}

}  // namespace
