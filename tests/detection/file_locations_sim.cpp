#include <gtest/gtest.h>

#include "detection/file_locations.h"
#include "support/fresh_machine.h"

namespace {

const char kSeDll[] = "C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\se.dll";

using FileLocationsSim = simtest::FreshMachine;

}  // namespace

TEST_F(FileLocationsSim, CleanMachineAddsNoLineAndCountsNothing)
{
    sim::AddFile("C:\\WINDOWS\\regedit.exe", std::string(3000, 'r'));
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll", std::string(5000, 'k'));
    gFilesFound = 7;
    ScanFileLocations();
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
    ASSERT_FALSE(fakeui::Statuses().empty());
    EXPECT_EQ(fakeui::Statuses()[0], L"Scanning File locations...");
    EXPECT_EQ(fakeui::Statuses().back(), L"C:\\WINDOWS\\system32\\kernel32.dll");
}

TEST_F(FileLocationsSim, WalksTheWindowsFolderThenTheSystemFolder)
{
    sim::AddFile("C:\\WINDOWS\\system32\\bad.dll", "WSUD");
    sim::AddFile("C:\\WINDOWS\\bad.exe", "WSUD");
    sim::AddFile("C:\\WINDOWS\\Temp\\deeper.exe", "WSUD");
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(), (std::vector<std::wstring>{
                                   L"Removed File! : C:\\WINDOWS\\bad.exe",
                                   L"Removed File! : C:\\WINDOWS\\system32\\bad.dll"}));
    EXPECT_EQ(gFilesFound, 2);
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\Temp\\deeper.exe"));
}

TEST_F(FileLocationsSim, HiddenReadOnlyWarnhpIsRemovedAndCountedOnce)
{
    sim::AddFile("C:\\WINDOWS\\warnhp.html", "<html>",
                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\WINDOWS\\system32\\warnhp.html", "<html>");
    ScanFileLocations();
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\warnhp.html"));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\system32\\warnhp.html"));
    EXPECT_EQ(fakeui::Lines(),
              std::vector<std::wstring>{L"Removed File! : C:\\WINDOWS\\warnhp.html"});
    EXPECT_EQ(gFilesFound, 1);
}

TEST_F(FileLocationsSim, WarnhpThatStaysIsReportedWithoutRestartScheduling)
{
    sim::AddFile("C:\\WINDOWS\\warnhp.html", "<html>");
    LockForGood("C:\\WINDOWS\\warnhp.html", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(),
              std::vector<std::wstring>{L"Error Removing ! : C:\\WINDOWS\\warnhp.html"});
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(FileLocationsSim, RemovedSeDllIsNamedByItsFixedText)
{
    sim::AddFile(kSeDll, "anything");
    ScanFileLocations();
    EXPECT_FALSE(sim::FileExists(kSeDll));
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{L"Removed File! : Temp Folder\\Se.dll"});
    EXPECT_EQ(gFilesFound, 1);
}

TEST_F(FileLocationsSim, LockedSeDllIsScheduledInShortFormOnNt)
{
    sim::SetTempDir("C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\");
    const std::string longSeDll = "C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\se.dll";
    sim::AddFile(longSeDll, "anything");
    LockForGood(longSeDll, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{
                                   L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot)"});
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_EQ(sim::PendingDeletes(), std::vector<std::string>{sim::ShortPath(longSeDll)});
    EXPECT_NE(sim::ShortPath(longSeDll), longSeDll);
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(FileLocationsSim, LockedSeDllGoesIntoWinInitOn9x)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::AddFile(kSeDll, "anything");
    LockForGood(kSeDll, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{
                                   L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot)"});
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\WinInit.ini"),
              "[Rename]\r\nNUL=" + sim::ShortPath(kSeDll) + "\r\n");
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(FileLocationsSim, LockedSeDllThatCannotBeScheduledIsReportedSoOnBothFamilies)
{
    const std::vector<std::wstring> line = {
        L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot could not be scheduled)"};
    // NT: a user without administrator rights.
    sim::AddFile(kSeDll, "anything");
    LockForGood(kSeDll, FILE_SHARE_READ | FILE_SHARE_WRITE);
    sim::RefuseRestartDeletions(true);
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(), line);
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);

    // 9x: a Windows folder where WinInit.ini cannot be written.
    fakeui::Reset();
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::SetFolderReadOnly("C:\\WINDOWS", true);
    ScanFileLocations();
    EXPECT_EQ(fakeui::Lines(), line);
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\WinInit.ini"));
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(FileLocationsSim, TempFolderThatCannotBeNamedLeavesSeDllOut)
{
    // 100 characters and more do not fit the temporary-folder buffer.
    const std::string longTemp = "C:\\" + std::string(110, 't') + "\\";
    sim::SetTempDir(longTemp);
    sim::AddFile(longTemp + "se.dll", "anything");
    sim::AddFile("C:\\se.dll", "anything");
    sim::AddFile("C:\\Program Files\\Grevlin\\se.dll", "anything");
    LockForGood("C:\\se.dll", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ScanFileLocations();
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(sim::FileExists(longTemp + "se.dll"));
    EXPECT_TRUE(sim::FileExists("C:\\se.dll"));
    EXPECT_TRUE(sim::FileExists("C:\\Program Files\\Grevlin\\se.dll"));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(FileLocationsSim, AbortStopsTheWalksButNotTheFixedFiles)
{
    sim::AddFile("C:\\WINDOWS\\bad.exe", "WSUD");
    sim::AddFile("C:\\WINDOWS\\warnhp.html", "<html>");
    sim::AddFile(kSeDll, "anything");
    gAbort = kTrue;
    ScanFileLocations();
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\bad.exe"));
    EXPECT_EQ(fakeui::Statuses(), std::vector<std::wstring>{L"Scanning File locations..."});
    EXPECT_EQ(fakeui::Lines(), (std::vector<std::wstring>{
                                   L"Removed File! : C:\\WINDOWS\\warnhp.html",
                                   L"Removed File! : Temp Folder\\Se.dll"}));
    EXPECT_EQ(gFilesFound, 2);
}

TEST_F(FileLocationsSim, SeDllOutsideTheTemporaryFolderIsNotLookedForByName)
{
    sim::AddFile("C:\\WINDOWS\\system32\\se.dll", std::string(2000, 's'));
    ScanFileLocations();
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\system32\\se.dll"));
    EXPECT_TRUE(fakeui::Lines().empty());
}
