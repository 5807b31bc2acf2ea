#include <gtest/gtest.h>

#include <new>
#include <string>

#include "environment/reboot_delete.h"
#include "support/fresh_machine.h"

namespace {

const char kLocked[] = "C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\se.dll";
const char kWinInit[] = "C:\\WINDOWS\\WinInit.ini";

class DeleteOnRebootSim : public simtest::FreshMachine {
protected:
    void SetUp() override
    {
        FreshMachine::SetUp();
        sim::AddFile(kLocked, "MZ");
        shortPath_ = sim::ShortPath(kLocked);
        entry_ = "NUL=" + shortPath_ + "\r\n";
    }
    void On9x() { sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222); }
    bool Schedule() { return DeleteOnReboot(std::wstring(kLocked, kLocked + sizeof(kLocked) - 1)); }

    std::string shortPath_;
    std::string entry_;
};

}  // namespace

TEST_F(DeleteOnRebootSim, NtGetsTheShortPathAsAPendingDeletionWhereTheUserMay)
{
    // Without administrator rights the system refuses; no restart would help.
    sim::RefuseRestartDeletions(true);
    EXPECT_FALSE(Schedule());
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);

    sim::RefuseRestartDeletions(false);
    ASSERT_NE(shortPath_, kLocked);
    EXPECT_TRUE(Schedule());
    EXPECT_EQ(sim::PendingDeletes(), std::vector<std::string>{shortPath_});
    EXPECT_FALSE(sim::FileExists(kWinInit));
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(DeleteOnRebootSim, MissingPathSchedulesNothingOnEitherFamily)
{
    EXPECT_FALSE(DeleteOnReboot(L"C:\\WINDOWS\\never there.dll"));
    On9x();
    EXPECT_FALSE(DeleteOnReboot(L"C:\\WINDOWS\\never there.dll"));
    EXPECT_FALSE(sim::FileExists(kWinInit)) << "no entry that names nothing";
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, NewWinInitHoldsTheSectionAndOneEntry)
{
    On9x();
    EXPECT_TRUE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), "[Rename]\r\n" + entry_);
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(DeleteOnRebootSim, PlatformOtherThanNtIsTreatedLike9x)
{
    sim::SetPlatform(sim::Family::Other, 0, 0, 0);
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), "[Rename]\r\n" + entry_);
}

TEST_F(DeleteOnRebootSim, ExistingTextGetsTheEntryOnItsOwnLine)
{
    On9x();
    sim::AddFile(kWinInit, "[Rename]\r\nNUL=C:\\OLD.DLL\r\n");
    EXPECT_TRUE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), "[Rename]\r\nNUL=C:\\OLD.DLL\r\n" + entry_);

    sim::AddFile(kWinInit, "[Other]\r\nkey=value");
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), "[Other]\r\nkey=value\r\n[Rename]\r\n" + entry_);

    // A lone line feed is no CR LF line end.
    sim::AddFile(kWinInit, "[Rename]\n");
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), "[Rename]\n\r\n" + entry_);
}

TEST_F(DeleteOnRebootSim, AnEntryGetsAHeaderUnlessTheTextEndsInsideTheRenameSection)
{
    On9x();
    const std::string longLine(10000, 'x');  // longer than any read chunk
    const std::string header = "[Rename]\r\n";
    struct Case {
        std::string old;
        std::string beforeEntry;
    };
    const Case cases[] = {
        {"", header},
        {"NUL=C:\\OLD.DLL\r\n", header},  // no section at all
        {"[Rename]\r\nNUL=C:\\OLD.DLL\r\n", ""},
        {"  [ rename ]\t\r\nNUL=C:\\OLD.DLL", "\r\n"},
        {"[RENAME]\nNUL=C:\\OLD.DLL\n", "\r\n"},
        {"[Rename]\r\nNUL=C:\\A.DLL\r\n[Other]\r\nkey=value\r\n", header},
        {"[Other]\r\n;[Rename]\r\nkey=[Rename]", "\r\n" + header},
        {"[Renamed]\r\n", header},
        {"[Other]\r\n[Rename]\r\n" + longLine + "\r\n" + longLine, "\r\n"},
        {"[Rename]\r\n" + longLine + "\r\n[Other]" + longLine + "\r\n", header},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.old.substr(0, 60));
        sim::AddFile(kWinInit, c.old);
        EXPECT_TRUE(Schedule());
        EXPECT_EQ(sim::FileContents(kWinInit), c.old + c.beforeEntry + entry_);
    }
}

TEST_F(DeleteOnRebootSim, OnlyTheEndOfALargeFileIsRead)
{
    On9x();
    std::string old = "[Other]\r\n";
    while (old.size() < 8u << 20) old += "key=a value of an unrelated program\r\n";
    old += "[Rename]\r\nNUL=C:\\OLD.DLL\r\n";
    sim::AddFile(kWinInit, old);
    int reads = 0;
    sim::SetCallHook([&](const char* function) { reads += std::string(function) == "ReadFile"; });

    Schedule();

    EXPECT_EQ(sim::FileContents(kWinInit), old + entry_);
    EXPECT_LE(reads, 2);
}

TEST_F(DeleteOnRebootSim, TwoCallsLeaveTwoEntries)
{
    On9x();
    Schedule();
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), "[Rename]\r\n" + entry_ + entry_);
}

TEST_F(DeleteOnRebootSim, HiddenSystemReadOnlyFileIsKeptWholeWithItsAttributes)
{
    On9x();
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    const std::string old = "[Rename]\r\nNUL=C:\\A-RATHER-LONG-OLD-ENTRY.DLL\r\n";
    sim::AddFile(kWinInit, old, attributes);
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), old + entry_);
    EXPECT_EQ(sim::Attributes(kWinInit) & attributes, attributes);
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(DeleteOnRebootSim, LongFileWithNulBytesIsKeptWhole)
{
    On9x();
    std::string old = "[Rename]\r\n";
    for (int i = 0; old.size() < 40000; ++i) old += "NUL=C:\\OLD" + std::to_string(i) + ".DLL\r\n";
    old[20] = '\0';
    old[35000] = '\0';
    old += std::string("tail\0\r\n", 7);
    sim::AddFile(kWinInit, old);
    Schedule();
    EXPECT_EQ(sim::FileContents(kWinInit), old + entry_);
}

TEST_F(DeleteOnRebootSim, WriteFailingMidwayLeavesTheOldTextInPlace)
{
    On9x();
    const std::string old = "[Rename]\r\nNUL=C:\\OLD.DLL\r\n";
    sim::AddFile(kWinInit, old);
    sim::FailWriteAfter(kWinInit, 9);
    Schedule();
    const std::string now = sim::FileContents(kWinInit);
    ASSERT_GE(now.size(), old.size());
    EXPECT_EQ(now.substr(0, old.size()), old);
    // The cut-off entry cannot name a file any more: it became a comment.
    EXPECT_EQ(now.substr(old.size()), ";" + entry_.substr(1, 8));
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, WriteFailingAfterANewHeaderCommentsOutTheEntryAlone)
{
    On9x();
    const std::string old = "[Other]\r\nkey=value\r\n";
    sim::AddFile(kWinInit, old);
    sim::FailWriteAfter(kWinInit, 14);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), old + "[Rename]\r\n;" + entry_.substr(1, 3));

    // Cut inside the header: no entry at all follows it.
    sim::AddFile(kWinInit, old);
    sim::FailWriteAfter(kWinInit, 4);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), old + "[Ren");
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, AnExceptionMidwayGivesBackTheReadOnlyAttribute)
{
    On9x();
    sim::AddFile(kWinInit, "[Rename]\r\n", FILE_ATTRIBUTE_READONLY);
    sim::SetCallHook([](const char* function) {
        if (std::string(function) == "CreateFileA") throw std::bad_alloc();
    });
    EXPECT_THROW(Schedule(), std::bad_alloc);
    EXPECT_EQ(sim::Attributes(kWinInit) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
}

TEST_F(DeleteOnRebootSim, WriteFailingInTheLineEndKeepsTheOldText)
{
    On9x();
    const std::string old = "[Rename]\r\nNUL=C:\\OLD.DLL";
    sim::AddFile(kWinInit, old);
    sim::FailWriteAfter(kWinInit, 0);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), old);
}

TEST_F(DeleteOnRebootSim, NewFileThatFailsMidwayLeavesNoCutOffEntry)
{
    On9x();
    sim::FailWriteAfter(kWinInit, 14);
    EXPECT_FALSE(Schedule());
    EXPECT_FALSE(sim::FileExists(kWinInit));
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, FolderThatCannotBeWrittenLeavesTheOldFileUntouched)
{
    On9x();
    const std::string old = "[Rename]\r\nNUL=C:\\OLD.DLL";
    sim::AddFile(kWinInit, old, FILE_ATTRIBUTE_HIDDEN);
    sim::SetFolderReadOnly("C:\\WINDOWS", true);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), old);
    EXPECT_EQ(sim::Attributes(kWinInit) & FILE_ATTRIBUTE_HIDDEN, DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, LockedWinInitIsLeftAlone)
{
    On9x();
    const std::string old = "[Rename]\r\n";
    sim::AddFile(kWinInit, old);
    sim::ProcessSpec holder;
    holder.exeFile = "holder.exe";
    sim::HoldFile(sim::AddProcess(holder), kWinInit, 0);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(sim::FileContents(kWinInit), old);
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, AnEntryThatDoesNotReadBackAtTheEndIsNoScheduling)
{
    On9x();
    const std::string old = "[Rename]\r\nNUL=C:\\OLD.DLL\r\n";
    sim::AddFile(kWinInit, old);
    // Another program writes its own copy back just after ours was written.
    int opens = 0;
    sim::SetCallHook([&](const char* function) {
        if (std::string(function) == "CreateFileA" && ++opens == 2) sim::AddFile(kWinInit, old);
    });
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(DeleteOnRebootSim, LeavesNoHandleOpen)
{
    On9x();
    const int before = sim::OpenHandles();
    Schedule();
    Schedule();
    EXPECT_EQ(sim::OpenHandles(), before);
}
