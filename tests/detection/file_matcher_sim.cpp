#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "crc_forge.h"
#include "detection/file_matcher.h"
#include "support/fresh_machine.h"
#include "support/sim_clock.h"

namespace {

const char kFolder[] = "C:\\WINDOWS\\";

class FileMatcherSim : public simtest::FreshMachine {
protected:
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

TEST_F(FileMatcherSim, ProtectedNameComparisonsPumpAsTheClockAllows)
{
    sim::AddFile("C:\\WINDOWS\\cmd.exe", "x");
    // cmd.exe is entry 18: seventeen comparisons fail before it matches.
    Scan("cmd.exe");
    EXPECT_EQ(fakeui::PumpCount(), 1) << "with the clock standing still only the first pump runs";

    fakeui::Reset();
    simclock::EachCallTakes("GetTickCount", 5);
    Scan("cmd.exe");
    EXPECT_EQ(fakeui::PumpCount(), 9) << "5 ms a comparison: every other one pumps";

    fakeui::Reset();
    simclock::EachCallTakes("GetTickCount", 10);
    Scan("cmd.exe");
    EXPECT_EQ(fakeui::PumpCount(), 17);
}

TEST_F(FileMatcherSim, PumpsAreSpacedByTenMillisecondsAcrossTheTickCountWrap)
{
    // The last pump runs 8 ms before the 32-bit tick count wraps to 0.
    sim::AdvanceMs(0xFFFFFFF8u - GetTickCount());
    ui::PumpMessages();
    const struct {
        uint64_t advance;
        int pumps;
    } steps[] = {{2, 1}, {7, 1}, {1, 2}, {9, 2}, {25, 3}};
    for (const auto& step : steps) {
        sim::AdvanceMs(step.advance);
        ui::PumpMessages();
        EXPECT_EQ(fakeui::PumpCount(), step.pumps) << "at tick " << GetTickCount();
    }
}

TEST_F(FileMatcherSim, OneOpenPerFileAndADigestOnlyAtAListedSize)
{
    struct Case {
        const char* name;
        std::string contents;
        int reads;  // the probe windows that fit, then the digest's read if any
        int found;
    };
    std::string rpcAtEdge = std::string(7020, 'a');
    rpcAtEdge.replace(7006, 14, "Call (RPC) Hel");
    const Case cases[] = {
        {"clean.exe", std::string(5000, 'a'), 2, 0},
        {"big.dll", std::string(300000, 'a'), 4, 0},
        {"listed.dll", std::string(28160, 'a'), 3 + 1, 0},  // the size of an entry, another digest
        {"edge.dat", rpcAtEdge, 3, 0},                       // probe 3's last byte lies past the end
        {"wsud.exe", "WSUD" + std::string(28156, 'a'), 3, 1},  // a listed size, but a probe matched
    };
    for (const Case& c : cases) {
        calls_.clear();
        removalStarted_ = false;
        gFilesFound = 0;
        sim::AddFile(std::string(kFolder) + c.name, c.contents);
        CountCallsBeforeRemoval();
        Scan(c.name);
        EXPECT_EQ(Calls("CreateFileA") + Calls("_lopen"), 1) << c.name;
        EXPECT_EQ(Calls("ReadFile"), c.reads) << c.name;
        EXPECT_EQ(gFilesFound, c.found) << c.name;
        EXPECT_EQ(sim::OpenHandles(), 0) << c.name;
    }
}

TEST_F(FileMatcherSim, AFileThatChangesWhileItIsExaminedGetsTheVerdictOfTheMomentItIsRead)
{
    const std::string path = std::string(kFolder) + "changing.exe";
    // Shrunk to "WSU" after its length was taken: the fourth window byte reads 0.
    sim::AddFile(path, "WSUD" + std::string(5000, 'a'));
    sim::SetCallHook([&](const char* function) {
        if (std::string(function) == "SetFilePointer") sim::AddFile(path, "WSU");
    });
    Scan("changing.exe");
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(fakeui::Lines().empty());

    // Replaced by the hijacker's 28160 bytes while the probes ran: the digest
    // takes the length as it is after them, and finds it.
    const std::string hijacker = forge::WithCrc32(std::string(28156, 'b'), 0x55B8CBF1u);
    sim::AddFile(path, std::string(30000, 'a'));
    bool replaced = false;
    sim::SetCallHook([&](const char* function) {
        if (!replaced && std::string(function) == "ReadFile") {
            sim::AddFile(path, hijacker);
            replaced = true;
        }
    });
    Scan("changing.exe");
    sim::SetCallHook(nullptr);
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{L"Removed File! : " + W(path)});
}

TEST_F(FileMatcherSim, WindowRenderingPumpsAfterEveryByte)
{
    sim::AddFile("C:\\WINDOWS\\bytes.bin", "0123456789");
    simclock::EachCallTakes("GetTickCount", 10);
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
              CrcText(forge::Crc32("WSUD and more")));
}

namespace {

const char kLongPath[] = "C:\\WINDOWS\\Long Infected Name.dll";

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

TEST_F(FileMatcherSim, RebootFormSchedulesAFileThatStaysAndSaysWhenItCannot)
{
    sim::AddFile(kLongPath, "WSUD");
    LockForGood(kLongPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    sim::RefuseRestartDeletions(true);
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::BhoAndReboot);
    sim::RefuseRestartDeletions(false);
    RemoveMatchedFile(W(kLongPath), W(kFolder), L"Long Infected Name.dll", RemovalKind::BhoAndReboot);

    EXPECT_EQ(gFilesFound, 2);
    const std::wstring prefix = W(std::string("Error Removing ! : ") + kLongPath);
    EXPECT_EQ(fakeui::Lines(),
              (std::vector<std::wstring>{prefix + L" (Removal on reboot could not be scheduled)",
                                         prefix + L" (Removal on reboot)"}));
    EXPECT_EQ(sim::PendingDeletes(), std::vector<std::string>{sim::ShortPath(kLongPath)});
    EXPECT_EQ(gRebootNeeded, kTrue);
}

TEST_F(FileMatcherSim, PlainFormSchedulesNothing)
{
    sim::AddFile(kLongPath, "WSUD");
    LockForGood(kLongPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
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
    LockForGood("C:\\WINDOWS\\kept.dll", FILE_SHARE_READ | FILE_SHARE_WRITE);
    Scan("kept.dll");
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], L"Error Removing ! : C:\\WINDOWS\\kept.dll");
    EXPECT_TRUE(sim::PendingDeletes().empty());
}
