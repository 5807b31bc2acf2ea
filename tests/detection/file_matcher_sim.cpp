#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "detection/crc32.h"
#include "detection/file_matcher.h"
#include "detection/scratch_folder.h"
#include "environment/protected_names.h"
#include "platform/sim/machine.h"
#include "scan/shared_state.h"
#include "support/fake_ui.h"

namespace {

const char kFolder[] = "C:\\WINDOWS\\";

class FileMatcherSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        ResetSharedState();
        fakeui::Reset();
        BuildCrcTable();
        LoadProtectedNames();
    }
    void TearDown() override
    {
        ResetSharedState();
        sim::Reset();
    }

    static std::wstring W(const std::string& text) { return std::wstring(text.begin(), text.end()); }
    void Scan(const std::string& name)
    {
        ScanFile(W(kFolder + name), W(kFolder), W(name));
    }

    // Counts calls by name until the removal of a matched file begins.
    void CountCallsBeforeRemoval()
    {
        sim::SetCallHook([this](const char* function) {
            if (std::strcmp(function, "SetFileAttributesA") == 0 ||
                std::strcmp(function, "DeleteFileA") == 0)
                removalStarted_ = true;
            if (!removalStarted_) ++calls_[function];
        });
    }
    int Calls(const std::string& function) { return calls_[function]; }

    std::map<std::string, int> calls_;
    bool removalStarted_ = false;
};

}  // namespace

TEST_F(FileMatcherSim, ProtectedNameIsNeverOpenedOrSearched)
{
    sim::AddFile("C:\\WINDOWS\\Explorer.EXE", "WSUD-infected");
    CountCallsBeforeRemoval();
    Scan("Explorer.EXE");
    EXPECT_EQ(Calls("CreateFileA") + Calls("_lopen") + Calls("FindFirstFileA"), 0);
    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\Explorer.EXE"), "WSUD-infected");
}

TEST_F(FileMatcherSim, ProtectedNameComparisonsKeepTheWindowAlive)
{
    sim::AddFile("C:\\WINDOWS\\cmd.exe", "x");
    Scan("cmd.exe");
    // cmd.exe is entry 18: seventeen comparisons fail before it matches.
    EXPECT_EQ(fakeui::PumpCount(), 17);
}

TEST_F(FileMatcherSim, ProbeMatchSkipsTheDigest)
{
    sim::AddFile("C:\\WINDOWS\\wsud.exe", "WSUD");
    CountCallsBeforeRemoval();
    Scan("wsud.exe");
    // Only probe 2's window fits a 4-byte file; the digest would be a second open.
    EXPECT_EQ(Calls("CreateFileA"), 1);
    EXPECT_EQ(gFilesFound, 1);
}

TEST_F(FileMatcherSim, UnmatchedFileIsHashedOnce)
{
    sim::AddFile("C:\\WINDOWS\\clean.exe", std::string(5000, 'a'));
    CountCallsBeforeRemoval();
    Scan("clean.exe");
    // Probes 1 and 2 fit (two opens), probes 3 and 4 do not; then the digest.
    EXPECT_EQ(Calls("CreateFileA"), 3);
    EXPECT_EQ(gFilesFound, 0);
}

TEST_F(FileMatcherSim, WindowRenderingPumpsAfterEveryByte)
{
    sim::AddFile("C:\\WINDOWS\\bytes.bin", "0123456789");
    const int before = fakeui::PumpCount();
    EXPECT_EQ(ReadFileHex(L"C:\\WINDOWS\\bytes.bin", 2, 7), L"32 33 34 35 36 37");
    EXPECT_EQ(fakeui::PumpCount() - before, 6);
}

TEST_F(FileMatcherSim, ReadFileHexLeavesNoHandleOpen)
{
    sim::AddFile("C:\\WINDOWS\\bytes.bin", "0123456789");
    const int before = sim::OpenHandles();
    ReadFileHex(L"C:\\WINDOWS\\bytes.bin", 0, 9);
    ReadFileHex(L"C:\\WINDOWS\\bytes.bin", 0, 10);
    FileCrc32(L"C:\\WINDOWS\\bytes.bin", 10);
    EXPECT_EQ(sim::OpenHandles(), before);
}

TEST_F(FileMatcherSim, NamedStreamCanBeProbedAndHashed)
{
    sim::AddFile("C:\\WINDOWS\\host.exe", "plain");
    sim::AddStream("C:\\WINDOWS\\host.exe", "payload", "WSUD and more");
    EXPECT_EQ(ReadFileHex(L"C:\\WINDOWS\\host.exe:payload", 0, 3), L"57 53 55 44");
    EXPECT_EQ(FileCrc32(L"C:\\WINDOWS\\host.exe:payload", 13),
              CrcText(testfiles::ReferenceCrc("WSUD and more")));
}

namespace {

const char kLongPath[] = "C:\\WINDOWS\\Long Infected Name.dll";

// A process that cannot be ended keeps the file open without delete sharing.
void LockAgainstDeletion(const std::string& path)
{
    sim::ProcessSpec keeper;
    keeper.exeFile = "keeper.exe";
    keeper.modulePath = "\\??\\C:\\Apps\\keeper.exe";
    keeper.canTerminate = false;
    DWORD pid = sim::AddProcess(keeper);
    sim::HoldFile(pid, path, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

void AddBhoFor(const std::string& clsid, const std::string& server)
{
    sim::AddKey(HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + clsid);
    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InProcServer32", "", server);
}

bool BhoRegistered(const std::string& clsid)
{
    return sim::KeyExists(HKEY_LOCAL_MACHINE,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + clsid);
}

}  // namespace

TEST_F(FileMatcherSim, RebootFormSchedulesAFileThatStays)
{
    sim::AddFile(kLongPath, "WSUD");
    LockAgainstDeletion(kLongPath);
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::BhoAndReboot);
    EXPECT_EQ(gFilesFound, 1);
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0],
              W(std::string("Error Removing ! : ") + kLongPath + " (Removal on reboot)"));
    EXPECT_EQ(sim::PendingDeletes(), std::vector<std::string>{sim::ShortPath(kLongPath)});
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(FileMatcherSim, PlainFormSchedulesNothing)
{
    sim::AddFile(kLongPath, "WSUD");
    LockAgainstDeletion(kLongPath);
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::Plain);
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], W(std::string("Error Removing ! : ") + kLongPath));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(FileMatcherSim, RebootFormReportsARemovedFileLikeThePlainOne)
{
    sim::AddFile(kLongPath, "WSUD");
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::BhoAndReboot);
    EXPECT_FALSE(sim::FileExists(kLongPath));
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], W(std::string("Removed File! : ") + kLongPath));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(gRebootNeeded, kFalse);
}

TEST_F(FileMatcherSim, OnlyTheRebootFormRemovesBrowserHelperObjects)
{
    const std::string clsid = "{11111111-2222-3333-4444-555555555555}";
    sim::AddFile(kLongPath, "WSUD");
    AddBhoFor(clsid, kLongPath);
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::Plain);
    EXPECT_TRUE(BhoRegistered(clsid));

    sim::AddFile(kLongPath, "WSUD");
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::BhoAndReboot);
    EXPECT_FALSE(BhoRegistered(clsid));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + clsid));
}

TEST_F(FileMatcherSim, ScanFileUsesThePlainFormForEveryBuiltInEntry)
{
    sim::AddFile("C:\\WINDOWS\\kept.dll", "WSUD");
    LockAgainstDeletion("C:\\WINDOWS\\kept.dll");
    Scan("kept.dll");
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], L"Error Removing ! : C:\\WINDOWS\\kept.dll");
    EXPECT_TRUE(sim::PendingDeletes().empty());
}
