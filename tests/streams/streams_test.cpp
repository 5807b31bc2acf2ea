// The stream stage against real Win32 (under Wine) and the simulation alike.
// Ordinary files stand in for streams where only the matcher is concerned:
// it treats "file:stream" as any other path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crc_forge.h"
#include "detection/crc32.h"
#include "platform/win32.h"
#include "session/shared_state.h"
#include "streams/stream_bytes.h"
#include "streams/stream_enum.h"
#include "streams/stream_matcher.h"
#include "streams/stream_stage.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

namespace {

using namespace streamtest;

// A private folder under the temporary folder, emptied and removed afterwards.
class StreamsOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSharedState();
        fakeui::Reset();
        BuildCrcTable();
        char temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = std::string(temp) + "grevlin-streams-" + std::to_string(GetCurrentProcessId()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            << "error " << GetLastError();
    }

    void TearDown() override
    {
        for (const std::string& path : created_) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        RemoveDirectoryA(folder_.c_str());
    }

    std::string Write(const std::string& name, const std::string& contents)
    {
        const std::string path = folder_ + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
        DWORD written = 0;
        if (!contents.empty()) {
            EXPECT_TRUE(WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                                  nullptr));
        }
        CloseHandle(file);
        created_.push_back(path);
        return path;
    }

    static bool Exists(const std::string& path)
    {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    static std::wstring Wide(const std::string& text) { return platform::FromAnsi(text); }

    std::string folder_;
    std::vector<std::string> created_;
};

}  // namespace

TEST_F(StreamsOnDisk, MatchIsDeletedReportedAndCounted)
{
    const std::string path = Write("payload.bin", WsudContents(120));
    CheckStream(Wide(path), 120);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{L"Removed Stream! " + Wide(path)});
    EXPECT_EQ(gStreamsFound, 1);
}

TEST_F(StreamsOnDisk, NoMatchLeavesNoTrace)
{
    const std::string path = Write("plain.txt", Filler(5000));
    CheckStream(Wide(path), 5000);
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
}

TEST_F(StreamsOnDisk, EmptyStreamNeverMatches)
{
    const std::string path = Write("empty.txt", "");
    CheckStream(Wide(path), 0);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(gStreamsFound, 0);
}

TEST_F(StreamsOnDisk, DigestIsTakenOverTheReportedSize)
{
    const std::string infected = forge::WithCrc32(Filler(28156, 'E'), 0x55B8CBF1u);
    // The first 28160 bytes carry the digest; the size the list reports decides.
    const std::string path = Write("longer.bin", infected + "tail");
    CheckStream(Wide(path), 28164);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(gStreamsFound, 0);
    CheckStream(Wide(path), 28160);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(gStreamsFound, 1);
}

TEST_F(StreamsOnDisk, MatchThatCannotBeDeletedIsStillCounted)
{
    const std::string path = Write("locked.bin", WsudContents(80));
    // Open without delete sharing: the deletion fails, reading still works.
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CheckStream(Wide(path), 80);
    CloseHandle(holder);
    EXPECT_TRUE(Exists(path));

    // The hijacker empties its stream while it is examined and keeps it open:
    // an empty stream that is still there has not been removed.
    const std::string emptied = Write("emptied.bin", WsudContents(80));
    HANDLE writer = INVALID_HANDLE_VALUE;
    fakeui::SetPumpHook([&] {
        if (writer != INVALID_HANDLE_VALUE) return;
        writer = CreateFileA(emptied.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             TRUNCATE_EXISTING, 0, nullptr);
    });
    ui::ResetPumpClock();  // the first byte rendered pumps at once
    CheckStream(Wide(emptied), 80);
    fakeui::SetPumpHook(nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(writer);
    EXPECT_TRUE(Exists(emptied));

    EXPECT_EQ(fakeui::Lines(),
              (std::vector<std::wstring>{L"Error Removing! " + Wide(path), L"Error Removing! " + Wide(emptied)}));
    EXPECT_EQ(gStreamsFound, 2);
}

TEST_F(StreamsOnDisk, UnnamedStreamOfAFileIsNeverExamined)
{
    // Whatever the system reports for these files, their main data is not a
    // named stream, so their matching contents stay.
    const std::string first = Write("infected.exe", WsudContents(64));
    const std::string second = Write("other.dll", forge::WithCrc32(Filler(28156), 0x55B8CBF1u));
    ScanFolderStreams(Wide(folder_));
    EXPECT_TRUE(Exists(first));
    EXPECT_TRUE(Exists(second));
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
}

TEST(NtfsCheck, FollowsTheNamedStreamsFlagOfTheSystemDrive)
{
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
    const std::string root(windows, 3);
    DWORD flags = 0;
    const BOOL known = GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    if (known && (flags & FILE_NAMED_STREAMS) != 0) {
        EXPECT_EQ(IsSystemNtfs(), kTrue) << root;
    } else {
        // Wine's volumes, FAT drives: the stage is skipped.
        EXPECT_EQ(IsSystemNtfs(), kFalse) << root << " flags " << std::hex << flags;
    }
}

TEST(NtfsCheck, CleanWindowsFolderGivesOnlyTheCleanLine)
{
    REQUIRE_THROWAWAY_MACHINE();
    ResetSharedState();
    fakeui::Reset();
    BuildCrcTable();
    ScanStreams();
    EXPECT_EQ(fakeui::Statuses(), std::vector<std::wstring>{L"Scanning ADS locations..."});
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{L"No Ads Found!"});
}
