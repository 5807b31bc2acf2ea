// The activity list copied to the log text and appended to "Gv LogFile.txt".
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/win32.h"
#include "scan/activity_log.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/win32_files.h"

namespace {

class ActivityLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeui::Reset();
        ResetSharedState();
        path = platform::ToAnsi(LogFilePath());
        saved = std::make_unique<win32files::SavedFile>(path);
    }
    void TearDown() override
    {
        saved.reset();
        ResetSharedState();
    }

    std::string path;
    std::unique_ptr<win32files::SavedFile> saved;
};

TEST_F(ActivityLog, TheLogLivesBesideTheExecutable)
{
    char module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string folder(module, length);
    folder.erase(folder.rfind('\\'));

    EXPECT_EQ(path, folder + "\\Gv LogFile.txt");
}

TEST_F(ActivityLog, CaptureCopiesEveryLineWithItsLineEndAndAppends)
{
    gLogText = L"earlier\r\n";
    ui::AddLine(L"Grevlin 6.05");
    ui::AddLine(L"");
    ui::AddLine(L"  padded  line  ");

    CaptureListToLog();

    EXPECT_EQ(gLogText, L"earlier\r\nGrevlin 6.05\r\n\r\n  padded  line  \r\n");
}

TEST_F(ActivityLog, AnEmptyListCapturesNothing)
{
    CaptureListToLog();
    EXPECT_TRUE(gLogText.empty());
}

TEST_F(ActivityLog, AFirstRunCreatesTheFileAndASecondAppendsAfterTwoEmptyLines)
{
    gLogText = L"Grevlin 6.05\r\nScan was COMPLETED SUCCESSFULLY at 12:00:00\r\n";
    ASSERT_TRUE(WriteLogFile());
    const std::string first = "Grevlin 6.05\r\nScan was COMPLETED SUCCESSFULLY at 12:00:00\r\n\r\n\r\n";
    EXPECT_EQ(win32files::Read(path), first);

    gLogText = L"Grevlin 6.05\r\nScan was ABORTED at 12:05:00\r\n";
    ASSERT_TRUE(WriteLogFile());
    EXPECT_EQ(win32files::Read(path),
              first + "Grevlin 6.05\r\nScan was ABORTED at 12:05:00\r\n\r\n\r\n");
}

TEST_F(ActivityLog, AnExistingFileIsNeverTruncated)
{
    const std::string older(10000, 'o');
    ASSERT_TRUE(win32files::Write(path, older));
    gLogText = L"Grevlin 6.05\r\n";

    ASSERT_TRUE(WriteLogFile());

    EXPECT_EQ(win32files::Read(path), older + "Grevlin 6.05\r\n\r\n\r\n");
}

TEST_F(ActivityLog, TextIsWrittenInTheAnsiCodePage)
{
    gLogText = L"Removed File! : C:\\WINDOWS\\caf\u00e9.exe\r\n";

    ASSERT_TRUE(WriteLogFile());

    EXPECT_EQ(win32files::Read(path), "Removed File! : C:\\WINDOWS\\caf\xe9.exe\r\n\r\n\r\n");
}

TEST_F(ActivityLog, ALogLockedByAnotherProgramIsReportedAsNotWritten)
{
    ASSERT_TRUE(win32files::Write(path, "kept"));
    HANDLE locker = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    gLogText = L"Grevlin 6.05\r\n";

    EXPECT_FALSE(WriteLogFile());

    CloseHandle(locker);
    EXPECT_EQ(win32files::Read(path), "kept");
}

}  // namespace
