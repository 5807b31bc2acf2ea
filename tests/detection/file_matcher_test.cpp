#include <gtest/gtest.h>

#include "crc_forge.h"
#include "detection/file_matcher.h"
#include "detection/scratch_folder.h"
#include "support/throwaway_machine.h"

namespace {

// Bytes that put `text` at `offset` inside `size` filler bytes.
std::string WithTextAt(size_t size, size_t offset, const std::string& text)
{
    std::string bytes = testfiles::FillerBytes(size);
    bytes.replace(offset, text.size(), text);
    bytes.resize(size);
    return bytes;
}

const std::string kProbe1Bytes("NIWU\0UWIN\f", 10);

class FileMatcher : public testfiles::ScratchScan {
protected:
    // Scans folder + name the way the walker hands it over.
    void Scan(const std::wstring& name) { ScanFile(folder_.Path() + name, folder_.Path(), name); }
};

}  // namespace

TEST_F(FileMatcher, ReadFileHexRendersSpacedUpperCasePairs)
{
    const std::wstring path = folder_.Write(L"bytes.bin", std::string("\x4E\x09\x0A\xFF\x00", 5));
    EXPECT_EQ(ReadFileHex(path, 0, 1), L"4E 09");
    EXPECT_EQ(ReadFileHex(path, 2, 3), L"0A FF");
    EXPECT_EQ(ReadFileHex(path, 1, 1), L"09");
    EXPECT_EQ(ReadFileHex(path, 0, 4), L"4E 09 0A FF 00");
}

TEST_F(FileMatcher, ReadFileHexNeedsTheFileToReachTheLastOffset)
{
    const std::wstring path = folder_.Write(L"short.bin", "WSU");
    EXPECT_EQ(ReadFileHex(path, 0, 4), L"");
    // A length equal to the last offset still reads: the missing byte is 0.
    EXPECT_EQ(ReadFileHex(path, 0, 3), L"57 53 55 00");
    EXPECT_EQ(ReadFileHex(folder_.Path() + L"absent.bin", 0, 0), L"");
    EXPECT_EQ(ReadFileHex(path, 2, 1), L"");
}

TEST_F(FileMatcher, ProbeOneWindowEndingPastTheFileDoesNotMatch)
{
    // 996 bytes: offsets 987 to 995 hold the pattern, offset 996 is missing.
    const std::wstring path = folder_.Write(L"edge.dll", WithTextAt(996, 987, kProbe1Bytes.substr(0, 9)));
    EXPECT_EQ(ReadFileHex(path, 987, 996), L"4E 49 57 55 00 55 57 49 4E 00");
    Scan(L"edge.dll");
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
}

TEST_F(FileMatcher, ProtectedNamesAreSkippedInAnyCase)
{
    const std::string infected = "WSUD" + testfiles::FillerBytes(60);
    for (const wchar_t* name : {L"EXPLORER.EXE", L"Explorer.exe", L"NotePad.exe", L"USER32.DLL"}) {
        const std::wstring path = folder_.Write(name, infected);
        Scan(name);
        EXPECT_TRUE(win32files::Exists(path)) << "removed a protected file";
        EXPECT_EQ(win32files::Read(path), infected);
    }
    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
}

TEST_F(FileMatcher, OnlyWholeNamesAreProtected)
{
    // A match ends every process whose path holds the file's name and removes
    // same-named autorun values: the machine's own processes and keys.
    REQUIRE_THROWAWAY_MACHINE();
    const std::string infected = "WSUD" + testfiles::FillerBytes(60);
    for (const wchar_t* name : {L"myexplorer.exe", L"explorer.exe.bak"}) {
        folder_.Write(name, infected);
        Scan(name);
    }
    ASSERT_EQ(fakeui::Statuses().size(), 2u);
    EXPECT_EQ(fakeui::Statuses()[0], folder_.Path() + L"myexplorer.exe");
    EXPECT_EQ(gFilesFound, 2);
    EXPECT_EQ(fakeui::Lines().size(), 2u);
}

TEST_F(FileMatcher, CleanFileShowsItsPathAndLeavesNoLine)
{
    const std::wstring path = folder_.Write(L"clean.dll", testfiles::FillerBytes(40000));
    Scan(L"clean.dll");
    ASSERT_EQ(fakeui::Statuses().size(), 1u);
    EXPECT_EQ(fakeui::Statuses()[0], path);
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(win32files::Exists(path));
}

TEST_F(FileMatcher, EachByteProbeMatchesAtItsWindow)
{
    REQUIRE_THROWAWAY_MACHINE();
    struct Case {
        const wchar_t* name;
        std::string bytes;
    };
    const Case cases[] = {
        {L"probe1.exe", WithTextAt(997, 987, kProbe1Bytes)},
        {L"probe2.dat", "WSUD"},
        {L"probe3.dll", WithTextAt(7021, 7006, "Call (RPC) Help")},
        {L"probe4.tmp", WithTextAt(39149, 39133, "lightspeedsearch")},
    };
    for (const Case& c : cases) {
        fakeui::Reset();
        gFilesFound = 0;
        const std::wstring path = folder_.Write(c.name, c.bytes);
        Scan(c.name);
        EXPECT_EQ(gFilesFound, 1) << std::string(c.name, c.name + wcslen(c.name));
        ASSERT_EQ(fakeui::Lines().size(), 1u);
        EXPECT_EQ(fakeui::Lines()[0], L"Removed File! : " + path);
        EXPECT_FALSE(win32files::Exists(path));
    }
}

TEST_F(FileMatcher, EveryProbeMatchesOnlyWithItsWholeWindowInTheFile)
{
    const struct {
        size_t first;
        std::string pattern;
    } probes[] = {{987, kProbe1Bytes}, {0, "WSUD"}, {7006, "Call (RPC) Help"}, {39133, "lightspeedsearch"}};
    int examined = 0;
    for (const auto& probe : probes) {
        const size_t end = probe.first + probe.pattern.size();  // one past the window
        const std::string cut = probe.pattern.substr(0, probe.pattern.size() - 1);
        struct Case {
            std::string bytes;
            int found;
            const char* what;
        };
        std::vector<Case> cases = {
            {WithTextAt(end, probe.first, probe.pattern), 1, "the window ends the file"},
            // The file ends one byte early: that byte reads as 0.
            {WithTextAt(end - 1, probe.first, cut), 0, "the window's last byte is past the end"},
            {WithTextAt(end + 100, probe.first + 1, probe.pattern), 0, "the pattern one byte late"},
        };
        if (probe.first > 0)
            cases.push_back({WithTextAt(end + 100, probe.first - 1, probe.pattern), 0, "the pattern one byte early"});
        for (const Case& c : cases) {
            gFilesFound = 0;
            const std::wstring name = L"edge" + std::to_wstring(examined++) + L".dll";
            const std::wstring path = folder_.Write(name, c.bytes);
            Scan(name);
            EXPECT_EQ(gFilesFound, c.found) << "probe at " << probe.first << ": " << c.what;
            EXPECT_EQ(win32files::Exists(path), c.found == 0) << "probe at " << probe.first << ": " << c.what;
        }
    }
}

TEST_F(FileMatcher, ListedSizeWithAnotherEntrysDigestIsNoMatch)
{
    // Both halves are listed, but never as one entry.
    const struct {
        size_t size;
        uint32_t digest;  // an entry's digest, listed with another size
    } files[] = {{28160, 0xE87AD6B0u}, {4096, 0x55B8CBF1u}, {66560, 0x13F32D06u}, {197761, 0x71DA9336u}};
    for (const auto& f : files) {
        const std::wstring name = L"listed" + std::to_wstring(f.size) + L".exe";
        const std::wstring path =
            folder_.Write(name, forge::WithCrc32(testfiles::FillerBytes(f.size - 4), f.digest));
        Scan(name);
        EXPECT_TRUE(win32files::Exists(path)) << f.size;
    }
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(fakeui::Lines().empty());
}

TEST_F(FileMatcher, ProbeFourReadsTheSixteenBytesFromItsFirstOffset)
{
    // The same text one byte later (ending at 39149) is outside the window.
    folder_.Write(L"late.tmp", WithTextAt(39150, 39134, "lightspeedsearch"));
    Scan(L"late.tmp");
    EXPECT_EQ(gFilesFound, 0);
    // A three-byte WSU file is no match either: its fourth window byte reads 0.
    folder_.Write(L"wsu.dat", "WSU");
    Scan(L"wsu.dat");
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(fakeui::Lines().empty());
}

TEST_F(FileMatcher, DigestMatchesOnlyTogetherWithTheExactSize)
{
    REQUIRE_THROWAWAY_MACHINE();
    const std::string match = forge::WithCrc32(testfiles::FillerBytes(28156), 0x55B8CBF1u);
    const std::string longer = forge::WithCrc32(testfiles::FillerBytes(28157), 0x55B8CBF1u);
    const std::wstring longerPath = folder_.Write(L"longer.dll", longer);
    ASSERT_EQ(FileCrc32(longerPath, 28161), L"55B8CBF1");
    Scan(L"longer.dll");
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(win32files::Exists(longerPath));

    const std::wstring matchPath = folder_.Write(L"match.dll", match);
    Scan(L"match.dll");
    EXPECT_EQ(gFilesFound, 1);
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], L"Removed File! : " + matchPath);
}

TEST_F(FileMatcher, EveryDigestEntryIsRecognised)
{
    REQUIRE_THROWAWAY_MACHINE();
    struct Known {
        uint32_t digest;
        size_t size;
    };
    const Known known[] = {
        {0x55B8CBF1, 28160}, {0xE87AD6B0, 66560}, {0x49A321AE, 66560},  {0x13F32D06, 66048},
        {0x70CB3844, 68608}, {0xC6B2E50D, 91639}, {0xBA9685E5, 10720},  {0x1B27E0BD, 90648},
        {0x4C698966, 11264}, {0x1EF4F0E2, 17408}, {0xDA9873A3, 197761}, {0x6F0E7F63, 5636},
        {0x343B395C, 6657},  {0x4CBB0151, 6657},  {0x800A77EB, 6657},   {0x9CD16A67, 6656},
        {0x71DA9336, 4096},  {0x7FA6C8F0, 46592}, {0x45C37C75, 44032},  {0xC776E23F, 37888},
        {0x54416AF3, 57390}, {0xA135B470, 24182},
    };
    int expected = 0;
    for (const Known& k : known) {
        const std::wstring name = L"digest" + std::to_wstring(expected) + L".bak";
        folder_.Write(name, forge::WithCrc32(testfiles::FillerBytes(k.size - 4), k.digest));
        Scan(name);
        ++expected;
        EXPECT_EQ(gFilesFound, expected) << "digest " << std::hex << k.digest << " size " << std::dec << k.size;
    }
}

TEST_F(FileMatcher, FileLockedAgainstReadingIsNoMatch)
{
    const std::wstring path = folder_.Write(L"locked.exe", "WSUD" + testfiles::FillerBytes(100));
    testfiles::HeldFile locker(path, GENERIC_READ, 0);
    ASSERT_TRUE(locker.Ok());
    Scan(L"locked.exe");
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(fakeui::Lines().empty());
}

TEST_F(FileMatcher, FileHeldOpenForWritingWithoutWriteSharingIsStillExamined)
{
    // Another program writes the file and shares it for reading only: an
    // examination that did not share writing could not open it.
    const std::wstring path = folder_.Write(L"written.exe", "WSUD" + testfiles::FillerBytes(100));
    testfiles::HeldFile writer(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(writer.Ok());
    Scan(L"written.exe");
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_EQ(fakeui::Lines(), std::vector<std::wstring>{L"Error Removing ! : " + path});
}

TEST_F(FileMatcher, FileThatResistsRemovalIsReportedAndStillCounted)
{
    // A file that stays locked makes the removal end explorer.exe and rundll32.exe.
    REQUIRE_THROWAWAY_MACHINE();
    const std::wstring path = folder_.Write(L"held.dll", "WSUD" + testfiles::FillerBytes(100));
    // Readable by the matcher, but not deletable while this handle is open.
    testfiles::HeldFile holder(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.Ok());
    Scan(L"held.dll");
    EXPECT_EQ(gFilesFound, 1);
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], L"Error Removing ! : " + path);
    EXPECT_EQ(gRebootNeeded, kFalse);
}
