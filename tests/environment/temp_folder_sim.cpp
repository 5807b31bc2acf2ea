// Emptying the temporary folder on the simulated machine.
#include <string>

#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "scan/sim_scan_fixture.h"

namespace {

using simscan::Machine;
using simscan::W;

class TempFolder : public Machine {
protected:
    static std::string InTemp(const std::string& name) { return simscan::kTemp + name; }
};

TEST_F(TempFolder, RemovesFilesAndLeavesSubfoldersWithTheirContents)
{
    sim::AddFile(InTemp("~DF1234.tmp"), "a");
    sim::AddFile(InTemp("setup.log"), "b", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    sim::AddFolder(InTemp("Cache"));
    sim::AddFile(InTemp("Cache\\page.htm"), "c");

    std::vector<std::wstring> expectedStatuses;
    for (const std::string& name : sim::ListFolder(simscan::kTemp))
        expectedStatuses.push_back(L"Cleaning: " + W(name));
    ASSERT_EQ(expectedStatuses.size(), 3u);

    CleanTempFolder();

    EXPECT_FALSE(sim::FileExists(InTemp("~DF1234.tmp")));
    EXPECT_FALSE(sim::FileExists(InTemp("setup.log")));
    EXPECT_TRUE(sim::FolderExists(InTemp("Cache")));
    EXPECT_TRUE(sim::FileExists(InTemp("Cache\\page.htm")));
    // Every entry in listing order, the subfolder included.
    EXPECT_EQ(fakeui::Statuses(), expectedStatuses);
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(TempFolder, TheShellIsEndedOnlyForAFileItHasLoaded)
{
    sim::AddFile(InTemp("icon.tmp"), "x");
    sim::HoldFile(ExplorerId(), InTemp("icon.tmp"), 0);

    CleanTempFolder();

    EXPECT_TRUE(sim::FileExists(InTemp("icon.tmp"))) << "the user's shell keeps its own file";
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
    EXPECT_EQ(gExplorerKilled, kFalse);

    sim::AddFile(InTemp("hook.tmp"), "MZ");
    sim::LoadModule(ExplorerId(), InTemp("hook.tmp"));
    sim::HoldFile(ExplorerId(), InTemp("hook.tmp"), FILE_SHARE_READ);

    CleanTempFolder();

    EXPECT_FALSE(sim::FileExists(InTemp("hook.tmp")));
    EXPECT_FALSE(sim::FileExists(InTemp("icon.tmp"))) << "let go of with the shell";
    EXPECT_EQ(gExplorerKilled, kTrue);
    EXPECT_EQ(gExplorerEnded, kTrue);
}

TEST_F(TempFolder, AStubbornLockLeavesTheFileAndTheCleaningGoesOn)
{
    sim::AddFile(InTemp("a.tmp"), "x");
    sim::AddFile(InTemp("b.tmp"), "x");
    sim::AddFile(InTemp("c.tmp"), "x");
    LockForGood(InTemp("b.tmp"), 0);

    CleanTempFolder();

    EXPECT_FALSE(sim::FileExists(InTemp("a.tmp")));
    EXPECT_TRUE(sim::FileExists(InTemp("b.tmp")));
    EXPECT_FALSE(sim::FileExists(InTemp("c.tmp")));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);
}

// The cleaning empties the user's temporary files: a process is ended only
// when it runs an entry itself, and an autorun value named like an entry goes
// only when its data names that very entry.
TEST_F(TempFolder, OnlyWhatRunsOrStartsAnEntryItselfIsEnded)
{
    for (const char* name : {"updater.exe", "notepad.exe", "explorer.exe", "e", ".exe"})
        sim::AddFile(InTemp(name), "MZ");
    sim::AddFolder(InTemp("Vendor"));
    const std::string longTemp = "C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\";
    const DWORD fromTemp = sim::AddProcess(longTemp + "updater.exe");
    const DWORD updater = sim::AddProcess("C:\\Program Files\\Vendor\\updater.exe");
    const DWORD notepad = sim::AddProcess("C:\\WINDOWS\\notepad.exe");
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    sim::SetString(HKEY_CURRENT_USER, run, "updater.exe", "\"" + longTemp + "updater.exe\" /tray");
    sim::SetString(HKEY_LOCAL_MACHINE, run, "updater.exe", std::string(simscan::kTemp) + "UPDATER.EXE");
    sim::SetString(HKEY_CURRENT_USER, run, "notepad.exe", "C:\\WINDOWS\\notepad.exe");
    sim::SetString(HKEY_LOCAL_MACHINE, run, "notepad.exe", "notepad.exe " + longTemp + "notes.txt");
    int walks = 0;
    sim::SetCallHook([&](const char* function) { walks += std::string(function) == "EnumProcesses"; });

    CleanTempFolder();

    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{fromTemp}));
    EXPECT_TRUE(sim::IsRunning(updater));
    EXPECT_TRUE(sim::IsRunning(notepad));
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
    EXPECT_EQ(gExplorerEnded, kFalse);
    EXPECT_FALSE(sim::ValueExists(HKEY_CURRENT_USER, run, "updater.exe"));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, run, "updater.exe"));
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, run, "notepad.exe"));
    EXPECT_TRUE(sim::ValueExists(HKEY_LOCAL_MACHINE, run, "notepad.exe"));
    EXPECT_EQ(sim::ListFolder(simscan::kTemp), (std::vector<std::string>{"Vendor"}));
    EXPECT_EQ(walks, 1) << "one walk of the processes for the whole cleaning";
}

TEST_F(TempFolder, AnEmptyFolderChangesNothing)
{
    CleanTempFolder();

    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
}

TEST_F(TempFolder, AbortDoesNotShortenTheCleaning)
{
    for (int i = 0; i < 5; ++i) sim::AddFile(InTemp("f" + std::to_string(i) + ".tmp"), "x");
    fakeui::SetPumpHook([] { gAbort = kTrue; });

    CleanTempFolder();

    EXPECT_EQ(gAbort, kTrue);
    EXPECT_TRUE(sim::ListFolder(simscan::kTemp).empty());
}

TEST_F(TempFolder, AnEmptyFolderArgumentDeletesNothing)
{
    int searches = 0;
    sim::SetCallHook([&](const char* function) {
        const std::string name = function;
        searches += name == "FindFirstFileA" || name == "FindFirstFileW";
    });
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll", "MZ");
    sim::AddFile("C:\\Program Files\\Grevlin\\notes.txt", "x");

    CleanFolder(L"");

    EXPECT_EQ(searches, 0);
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\system32\\kernel32.dll"));
    EXPECT_TRUE(sim::FileExists("C:\\Program Files\\Grevlin\\notes.txt"));
    EXPECT_TRUE(fakeui::Statuses().empty());
}

TEST_F(TempFolder, ATemporaryFolderThatDoesNotFitIsNotCleaned)
{
    // 100 characters and more do not fit the buffer: the folder comes back empty.
    const std::string deep = "C:\\" + std::string(110, 'd') + "\\";
    sim::SetTempDir(deep);
    sim::AddFile(deep + "keep.tmp", "x");

    CleanTempFolder();

    EXPECT_TRUE(sim::FileExists(deep + "keep.tmp"));
    EXPECT_TRUE(fakeui::Statuses().empty());
}

const std::wstring kRefused = L"Temp Files not removed! Not a temporary folder: ";

TEST_F(TempFolder, FoldersThatAreNotPlainlyTemporaryAreRefusedHoweverSpelt)
{
    const char* const kept[] = {"C:\\boot.ini", "C:\\WINDOWS\\win.ini", "C:\\WINDOWS\\system32\\hal.dll",
                                "C:\\WINDOWS\\system32\\drivers\\ntfs.sys",
                                "C:\\Documents and Settings\\Owner\\ntuser.dat",
                                "C:\\Documents and Settings\\Owner\\Desktop\\letter.doc",
                                "C:\\Documents and Settings\\Guest\\Local Settings\\Temp\\draft.tmp",
                                "C:\\Program Files\\Vendor\\tmp\\state.dat",
                                "C:\\Data\\Linked\\photo.jpg",
                                "C:\\Program Files\\Grevlin\\readme.txt"};
    for (const char* file : kept) sim::AddFile(file, "kept");
    sim::SetReparsePoint("C:\\Data\\Linked", true);
    const DWORD notepad = sim::AddProcess("C:\\WINDOWS\\notepad.exe");

    for (const std::string temp : {
             "C:\\", "c:\\", "\\\\?\\C:\\",                               // the drive's root
             "c:\\windows\\", "C:/Windows/", "C:\\WINDOWS\\system32\\..\\",  // the Windows folder
             "C:\\WINDOWS\\SYSTEM32\\", "\\\\?\\C:\\WINDOWS\\.\\system32\\",  // the system folder
             "C:\\WINDOWS\\system32\\drivers\\",                          // inside them
             "C:\\DOCUME~1\\OWNER\\", "C:\\Documents and Settings\\",      // the profile, above it
             "C:\\Documents and Settings\\Owner\\Desktop\\",               // inside them
             "C:\\Documents and Settings\\Guest\\Local Settings\\Temp\\",  // another user's
             "C:\\Program Files\\Vendor\\tmp\\", ".\\",                    // where programs live
             "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Temp\\",         // device paths
             "\\\\.\\C:\\Temp\\", "\\??\\C:\\Temp\\",
             "C:\\Data\\Linked\\",                                      // a junction
             "C:\\WINDOWS", "C:", ""}) {                                  // no backslash, too long
        SCOPED_TRACE(temp);
        sim::SetTempDir(temp);
        fakeui::Reset();

        EXPECT_FALSE(CleanTempFolder());

        EXPECT_EQ(fakeui::Lines(),
                  std::vector<std::wstring>{kRefused + (temp.empty() ? L"(none)" : W(temp))});
        for (const char* file : kept) EXPECT_TRUE(sim::FileExists(file)) << file;
    }
    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_TRUE(sim::IsRunning(notepad));
    EXPECT_TRUE(sim::Sleeps().empty());
}

// Started from its temporary folder, Grevlin cleans it and keeps itself and its log.
TEST_F(TempFolder, TheProgramsOwnFolderKeepsTheProgramAndItsLog)
{
    const std::string folder = "C:\\Temp\\Tools\\";
    sim::SetModulePath(folder + "Grevlin (1).exe");
    sim::SetTempDir(folder);
    for (const char* name : {"Grevlin (1).exe", "Gv LogFile.txt", "junk.tmp", "Grevlin.exe"})
        sim::AddFile(folder + name, "x");

    EXPECT_TRUE(CleanTempFolder());

    EXPECT_EQ(sim::ListFolder(folder), (std::vector<std::string>{"Grevlin (1).exe", "Gv LogFile.txt"}));
    EXPECT_TRUE(fakeui::Lines().empty());
}

// The user's own temporary folder inside the profile, by the layout of the
// system's version, and the Windows folder's "Temp".
TEST_F(TempFolder, TheProfilesAndTheWindowsFolderOwnTemporaryFoldersAreCleaned)
{
    sim::SetPlatform(sim::Family::Nt, 6, 1, 7601);
    sim::SetEnvironment("USERPROFILE", "C:\\Users\\Owner");
    for (const std::string temp : {"C:\\Users\\Owner\\AppData\\Local\\Temp\\",
                                   "C:\\Users\\Owner\\AppData\\Local\\Temp\\Low\\",
                                   "C:\\WINDOWS\\Temp\\"}) {
        SCOPED_TRACE(temp);
        sim::SetTempDir(temp);
        sim::AddFile(temp + "junk.tmp", "x");

        EXPECT_TRUE(CleanTempFolder());
        EXPECT_FALSE(sim::FileExists(temp + "junk.tmp"));
    }
    // The layout of Windows XP is no temporary folder of Windows 7's.
    sim::SetTempDir("C:\\Users\\Owner\\Local Settings\\Temp\\");
    EXPECT_FALSE(CleanTempFolder());
}

TEST_F(TempFolder, TemporaryFoldersBelowTheProtectedOnesAreCleanedAlsoWithoutAProfile)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::SetEnvironment("USERPROFILE", "");
    sim::SetEnvironment("ProgramFiles", "");
    for (const std::string temp : {"C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\",
                                   "C:\\WINDOWS\\TEMP\\", "C:\\Program Files\\Grevlin\\tmp\\"}) {
        SCOPED_TRACE(temp);
        sim::SetTempDir(temp);
        sim::AddFile(temp + "junk.tmp", "x");

        EXPECT_TRUE(CleanTempFolder());
        EXPECT_FALSE(sim::FileExists(temp + "junk.tmp"));
    }
    EXPECT_TRUE(fakeui::Lines().empty());
}

}  // namespace
