// Emptying a folder on the machine the tests run on: files go, subfolders stay.
#include <gtest/gtest.h>

#include <string>

#include "environment/paths.h"
#include "environment/text.h"
#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "scan/shared_state.h"
#include "scan/win32_files.h"
#include "support/fake_ui.h"

namespace {

class TempFolderClean : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeui::Reset();
        ResetSharedState();
        folder = platform::ToAnsi(GetTempDir()) + "gvq_clean_" +
                 std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "gvq_sub").c_str(), nullptr);
    }
    void TearDown() override
    {
        win32files::Remove(folder + "gvq_sub\\gvq_inner.tmp");
        win32files::Remove(folder + "gvq_one.tmp");
        win32files::Remove(folder + "gvq_two.txt");
        RemoveDirectoryA((folder + "gvq_sub").c_str());
        RemoveDirectoryA(folder.c_str());
        fakeui::Reset();
        ResetSharedState();
    }

    std::string folder;
};

TEST_F(TempFolderClean, FilesAreRemovedAndSubfoldersKeepTheirContents)
{
    ASSERT_TRUE(win32files::FolderExists(folder + "gvq_sub"));
    ASSERT_TRUE(win32files::Write(folder + "gvq_one.tmp", "one"));
    ASSERT_TRUE(win32files::Write(folder + "gvq_two.txt", "two"));
    SetFileAttributesA((folder + "gvq_two.txt").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(win32files::Write(folder + "gvq_sub\\gvq_inner.tmp", "inner"));

    CleanFolder(platform::FromAnsi(folder));

    EXPECT_FALSE(win32files::Exists(folder + "gvq_one.tmp"));
    EXPECT_FALSE(win32files::Exists(folder + "gvq_two.txt"));
    EXPECT_TRUE(win32files::FolderExists(folder + "gvq_sub"));
    EXPECT_TRUE(win32files::Exists(folder + "gvq_sub\\gvq_inner.tmp"));
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_TRUE(fakeui::Lines().empty());

    // Every entry is named in the status line, the subfolder too.
    int named = 0;
    for (const auto& status : fakeui::Statuses()) {
        EXPECT_EQ(status.rfind(L"Cleaning: ", 0), 0u);
        named += status == L"Cleaning: gvq_one.tmp" || status == L"Cleaning: gvq_two.txt" ||
                 status == L"Cleaning: gvq_sub";
    }
    EXPECT_EQ(named, 3);
    EXPECT_EQ(fakeui::Statuses().size(), 3u);
}

TEST_F(TempFolderClean, AFolderWithOnlyASubfolderLosesNothing)
{
    ASSERT_TRUE(win32files::Write(folder + "gvq_sub\\gvq_inner.tmp", "inner"));

    CleanFolder(platform::FromAnsi(folder));

    EXPECT_TRUE(win32files::Exists(folder + "gvq_sub\\gvq_inner.tmp"));
    EXPECT_EQ(fakeui::Statuses(), (std::vector<std::wstring>{L"Cleaning: gvq_sub"}));
}

TEST_F(TempFolderClean, AMissingFolderDoesNothing)
{
    CleanFolder(platform::FromAnsi(folder + "gvq_absent\\"));

    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_EQ(fakeui::PumpCount(), 0);
}

// Which folders may be emptied, asked of the machine's own folders: nothing
// is deleted here, whatever the answer.
TEST(TemporaryFolderCheck, OnlyTheTemporaryFolderAndFoldersBelowOthersPass)
{
    const std::wstring windows = GetWindowsDir();
    EXPECT_TRUE(IsPlainTemporaryFolder(GetTempDir()));
    EXPECT_TRUE(IsPlainTemporaryFolder(windows + L"\\Temp\\"));

    char profile[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);
    char shortProfile[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(profile, shortProfile, MAX_PATH), 0u);
    const std::wstring refused[] = {
        windows.substr(0, 3),                                            // the drive's root
        LCase(windows) + L"\\SYSTEM32\\.\\..\\",                           // the Windows folder
        windows.substr(0, 2) + L"/" + windows.substr(3) + L"/system32/",  // the system folder
        platform::FromAnsi(shortProfile) + L"\\",                       // the profile, in 8.3 form
        platform::FromAnsi(profile) + L"\\..\\",                           // above it
        GetProgramFolder() + L"\\",                                     // the program's own
    };
    for (const std::wstring& folder : refused)
        EXPECT_FALSE(IsPlainTemporaryFolder(folder)) << platform::ToAnsi(folder);
}

}  // namespace
