// Emptying a folder on the machine the tests run on: files go, subfolders stay.
#include <gtest/gtest.h>

#include <string>

#include "environment/paths.h"
#include "environment/temp_folder.h"
#include "environment/text.h"
#include "platform/win32.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/win32_files.h"

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
        win32files::Remove(victim);
        win32files::RemoveWide(platform::FromAnsi(folder) + kLookAlike + platform::FromAnsi(victimName));
        win32files::Remove(folder + "gvq_sub\\gvq_inner.tmp");
        win32files::Remove(folder + "gvq_one.tmp");
        win32files::Remove(folder + "gvq_two.txt");
        RemoveDirectoryA((folder + "gvq_sub").c_str());
        RemoveDirectoryA(folder.c_str());
        fakeui::Reset();
        ResetSharedState();
    }

    std::string folder;
    // In the temporary folder itself, beside the cleaned folder.
    const std::string victimName = "gvq_victim_" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::string victim = platform::ToAnsi(GetTempDir()) + victimName;
    // FULLWIDTH REVERSE SOLIDUS: listed to ANSI programs as "..\\".
    const std::wstring kLookAlike = L"..\uFF3C";
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

// "..＼gvq_victim_N.txt" comes back from the ANSI listing as "..\\gvq_victim_N.txt",
// which names a file beside the cleaned folder: only the entry itself may go.
TEST_F(TempFolderClean, AnEntryListedAsALookAlikeNeverReachesTheFileItResembles)
{
    ASSERT_TRUE(win32files::Write(victim, "keep"));
    SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const std::wstring planted = platform::FromAnsi(folder) + kLookAlike + platform::FromAnsi(victimName);
    ASSERT_TRUE(win32files::WriteWide(planted, "planted"));

    CleanFolder(platform::FromAnsi(folder));

    EXPECT_EQ(win32files::Read(victim), "keep");
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    EXPECT_EQ(GetFileAttributesA(victim.c_str()) & kept, kept);
    EXPECT_FALSE(win32files::ExistsWide(planted)) << "the entry goes by its short name";
    for (const std::wstring& status : fakeui::Statuses())
        EXPECT_EQ(status.find(L"..\\"), std::wstring::npos) << platform::ToAnsi(status);
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
    char programFiles[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH), 0u);
    const std::wstring refused[] = {
        windows.substr(0, 3),                                            // the drive's root
        LCase(windows) + L"\\SYSTEM32\\.\\..\\",                           // the Windows folder
        windows.substr(0, 2) + L"/" + windows.substr(3) + L"/system32/",  // the system folder
        GetSystemDir() + L"\\drivers\\",                                // inside it
        platform::FromAnsi(shortProfile) + L"\\",                       // the profile, in 8.3 form
        platform::FromAnsi(profile) + L"\\..\\",                           // above it
        platform::FromAnsi(profile) + L"\\Desktop\\",                    // inside it
        platform::FromAnsi(programFiles) + L"\\Common Files\\",         // where programs live
        L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Temp\\",              // device paths
        L"\\\\.\\" + GetTempDir(),
    };
    for (const std::wstring& folder : refused)
        EXPECT_FALSE(IsPlainTemporaryFolder(folder)) << platform::ToAnsi(folder);
}

}  // namespace
