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

TEST_F(TempFolder, AFileHeldByTheShellEndsTheShellAndIsRemoved)
{
    sim::AddFile(InTemp("icon.tmp"), "x");
    sim::HoldFile(ExplorerId(), InTemp("icon.tmp"), FILE_SHARE_READ);

    CleanTempFolder();

    EXPECT_FALSE(sim::FileExists(InTemp("icon.tmp")));
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

TEST_F(TempFolder, EntryNamesAreProcessTargets)
{
    sim::AddFile(InTemp("updater.exe"), "MZ");
    // Names that are only parts of other programs' paths.
    for (const char* part : {"e", ".exe", "r.exe", "1", "Program Files"})
        sim::AddFile(InTemp(part), "x");
    sim::AddFolder(InTemp("Vendor"));
    DWORD updater = sim::AddProcess("C:\\Program Files\\Vendor\\updater.exe");
    DWORD other = sim::AddProcess("C:\\Program Files\\Vendor\\viewer.exe");

    CleanTempFolder();

    EXPECT_FALSE(sim::IsRunning(updater));
    EXPECT_TRUE(sim::IsRunning(other));
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{updater}));
    EXPECT_EQ(gExplorerEnded, kFalse);
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
        if (std::string(function) == "FindFirstFileA") ++searches;
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
                                "C:\\Documents and Settings\\Owner\\ntuser.dat",
                                "C:\\Program Files\\Grevlin\\readme.txt"};
    for (const char* file : kept) sim::AddFile(file, "kept");
    const DWORD notepad = sim::AddProcess("C:\\WINDOWS\\notepad.exe");

    for (const std::string temp : {
             "C:\\", "c:\\", "\\\\?\\C:\\",                               // the drive's root
             "c:\\windows\\", "C:/Windows/", "C:\\WINDOWS\\system32\\..\\",  // the Windows folder
             "C:\\WINDOWS\\SYSTEM32\\", "\\\\?\\C:\\WINDOWS\\.\\system32\\",  // the system folder
             "C:\\DOCUME~1\\OWNER\\", "C:\\Documents and Settings\\",      // the profile, above it
             "C:\\PROGRA~1\\GREVLIN\\", ".\\",                              // the program's own
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

TEST_F(TempFolder, TemporaryFoldersBelowTheProtectedOnesAreCleanedAlsoWithoutAProfile)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::SetEnvironment("USERPROFILE", "");
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
