// The stream stage on the simulated machine, whose C: drive is NTFS with
// named streams: which files are listed, which streams reach the matcher,
// what is deleted and what the activity list shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crc_forge.h"
#include "streams/stream_bytes.h"
#include "streams/stream_enum.h"
#include "streams/stream_matcher.h"
#include "streams/stream_stage.h"
#include "support/fresh_machine.h"
#include "support/sim_clock.h"

namespace {

using namespace streamtest;

const std::string kWin = "C:\\WINDOWS";
const std::string kHost = "C:\\WINDOWS\\notepad.exe";
const std::wstring kHostW = L"C:\\WINDOWS\\notepad.exe";

class StreamScan : public simtest::FreshMachine {
protected:
    // How often the stream matcher opened a stream: once for each stream it
    // examines (the host is opened with CreateFileW for its stream list).
    int CountOpens(const std::function<void()>& action)
    {
        int opens = 0;
        sim::SetCallHook([&](const char* function) {
            const std::string name = function;
            if (name == "CreateFileA" || name == "_lopen") ++opens;
        });
        action();
        sim::SetCallHook(nullptr);
        return opens;
    }

    static std::vector<std::wstring> Lines() { return fakeui::Lines(); }
};

std::string Sorted(std::vector<std::string> names, const char* separator = ",")
{
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : separator) + n;
    return out;
}

}  // namespace

// ---- ScanFileStreams ---------------------------------------------------------

TEST_F(StreamScan, UnnamedStreamIsNeverHandedOn)
{
    // Even a host whose own contents would match stays untouched.
    sim::AddFile(kHost, WsudContents(200));
    EXPECT_EQ(CountOpens([] { ScanFileStreams(kHostW); }), 0);
    EXPECT_TRUE(sim::FileExists(kHost));
    EXPECT_EQ(sim::FileContents(kHost), WsudContents(200));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(StreamScan, HarmlessNamedStreamReachesTheMatcherAndStays)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    EXPECT_EQ(CountOpens([] { ScanFileStreams(kHostW); }), 1);
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"Zone.Identifier"});
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
}

TEST_F(StreamScan, TwoNamedStreamsInOrderEachWithItsOwnSize)
{
    // Both are recognised by digest and size only, so a wrong size misses them.
    const std::string first = forge::WithCrc32(Filler(28156), 0x55B8CBF1u);
    const std::string second = forge::WithCrc32(Filler(11260, 'C'), 0x4C698966u);
    ASSERT_EQ(forge::Crc32(first), 0x55B8CBF1u);
    ASSERT_EQ(forge::Crc32(second), 0x4C698966u);
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "first", first);
    sim::AddStream(kHost, "second", second);
    ScanFileStreams(kHostW);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":first",
                                                   L"Removed Stream! " + kHostW + L":second"}));
    EXPECT_EQ(gStreamsFound, 2);
    EXPECT_TRUE(sim::StreamNames(kHost).empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(StreamScan, ListOrderIsKeptWhateverTheNames)
{
    // The same two streams, listed by the file system in the other order.
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "first", forge::WithCrc32(Filler(28156), 0x55B8CBF1u));
    sim::AddStream(kHost, "second", forge::WithCrc32(Filler(11260, 'C'), 0x4C698966u));
    sim::SetStreamListBytes(kHost, List({{kUnnamed, 4}, {Named(u"second"), 11264}, {Named(u"first"), 28160}}));
    ScanFileStreams(kHostW);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":second",
                                                   L"Removed Stream! " + kHostW + L":first"}));
}

TEST_F(StreamScan, DeletingAStreamLeavesTheHostAndItsOtherStreams)
{
    sim::AddFile(kHost, "the editor itself");
    sim::AddStream(kHost, "before", "kept one");
    sim::AddStream(kHost, "payload", WsudContents(5000));
    sim::AddStream(kHost, "after", "kept two");
    ScanFileStreams(kHostW);
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":payload"});
    EXPECT_EQ(gStreamsFound, 1);
    EXPECT_EQ(sim::FileContents(kHost), "the editor itself");
    EXPECT_EQ(Sorted(sim::StreamNames(kHost)), "after,before");
    EXPECT_EQ(sim::FileContents(kHost + ":before"), "kept one");
    EXPECT_EQ(sim::FileContents(kHost + ":after"), "kept two");
}

TEST_F(StreamScan, ZeroSizeStreamIsExaminedButNeverMatches)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "empty", "");
    EXPECT_EQ(CountOpens([] { ScanFileStreams(kHostW); }), 1);
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"empty"});
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
}

TEST_F(StreamScan, StreamHeldOpenByAnotherProcessIsReportedAndCounted)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "payload", WsudContents(300));
    sim::AddStream(kHost, "grabbed", WsudContents(300));
    sim::AddStream(kHost, "pending", WsudContents(300));
    const DWORD holder = sim::AddProcess("C:\\Program Files\\Other\\holder.exe");
    sim::HoldFile(holder, kHost + ":payload", FILE_SHARE_READ | FILE_SHARE_WRITE);
    // Deleted for as long as the holder keeps it open: until then it is still there.
    sim::HoldFile(holder, kHost + ":pending", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    // Opened without any sharing just as it is deleted (it is listed first):
    // it cannot even be measured.
    bool grabbed = false;
    sim::SetCallHook([&](const char* function) {
        if (std::string(function) == "DeleteFileA" && !grabbed) {
            grabbed = true;
            sim::HoldFile(holder, kHost + ":grabbed", 0);
        }
    });

    ScanStreams();
    sim::SetCallHook(nullptr);

    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"Error Removing! " + kHostW + L":grabbed",
                                                  L"Error Removing! " + kHostW + L":payload",
                                                  L"Error Removing! " + kHostW + L":pending"}));
    EXPECT_EQ(gStreamsFound, 3);
    EXPECT_EQ(sim::StreamNames(kHost), (std::vector<std::string>{"grabbed", "payload", "pending"}));
}

TEST_F(StreamScan, FailedStreamQueryExaminesNothing)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "payload", WsudContents(300));
    sim::FailStreamQuery(kHost);
    ScanFileStreams(kHostW);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"payload"});
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(StreamScan, WithoutNtQueryInformationFileNothingIsExamined)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "payload", WsudContents(300));
    sim::SetLibraryPresent("ntdll.dll", false);
    ScanFileStreams(kHostW);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"payload"});
    EXPECT_EQ(sim::OpenHandles(), 0);
}

// ---- Forged stream lists ------------------------------------------------------

class ForgedStreamList : public StreamScan {
protected:
    void SetUp() override
    {
        StreamScan::SetUp();
        sim::AddFile(kHost, "host");
        sim::AddStream(kHost, "good", WsudContents(100));
        sim::AddStream(kHost, "bad", WsudContents(100));
    }

    void ExpectOnlyGoodRemoved()
    {
        EXPECT_EQ(Lines(), std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":good"});
        EXPECT_EQ(gStreamsFound, 1);
        EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"bad"});
        EXPECT_EQ(sim::FileContents(kHost), "host");
        EXPECT_EQ(sim::OpenHandles(), 0);
    }

    static uint32_t Bytes(const std::u16string& name) { return static_cast<uint32_t>(name.size() * 2); }
};

TEST_F(ForgedStreamList, NameTooLongForTheFieldThenAGoodRecord)
{
    const std::u16string longName = u":" + std::u16string(140, u'x') + u":$DATA";
    sim::SetStreamListBytes(kHost, List({{kUnnamed, 4}, {longName, 100}, {Named(u"good"), 100}}));
    ScanFileStreams(kHostW);
    ExpectOnlyGoodRemoved();
}

TEST_F(ForgedStreamList, OddNameLengthThenAGoodRecord)
{
    const std::u16string bad = Named(u"bad");
    sim::SetStreamListBytes(kHost, Raw({{48, Bytes(bad) - 1, 100, bad}}) + List({{Named(u"good"), 100}}));
    ScanFileStreams(kHostW);
    ExpectOnlyGoodRemoved();
}

TEST_F(ForgedStreamList, OffsetPointingOutsideTheList)
{
    const std::u16string good = Named(u"good");
    sim::SetStreamListBytes(kHost, Raw({{0x00100000u, Bytes(good), 100, good}}) + List({{Named(u"bad"), 100}}));
    ScanFileStreams(kHostW);
    ExpectOnlyGoodRemoved();
}

TEST_F(ForgedStreamList, OffsetThatDoesNotAdvance)
{
    const std::u16string good = Named(u"good");
    sim::SetStreamListBytes(kHost, Raw({{8, Bytes(good), 100, good}}) + List({{Named(u"bad"), 100}}));
    ScanFileStreams(kHostW);
    ExpectOnlyGoodRemoved();
}

TEST_F(ForgedStreamList, NameLengthRunningPastTheEnd)
{
    const std::u16string good = Named(u"good");
    const std::u16string bad = Named(u"bad");
    sim::SetStreamListBytes(kHost, Raw({{48, Bytes(good), 100, good}, {0, 4000, 100, bad}}));
    ScanFileStreams(kHostW);
    ExpectOnlyGoodRemoved();
}

TEST_F(ForgedStreamList, NameThatWouldNameTheHostItself)
{
    sim::SetStreamListBytes(kHost, List({{u"::$DATA:$DATA", 100}, {Named(u"good"), 100}}));
    sim::AddFile(kHost, WsudContents(100));  // the host would now match if it were handed on
    ScanFileStreams(kHostW);
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":good"});
    EXPECT_TRUE(sim::FileExists(kHost));
    EXPECT_EQ(sim::FileContents(kHost), WsudContents(100));
}

// ---- ScanFolderStreams --------------------------------------------------------

TEST_F(StreamScan, OnlyDottedFilesDirectlyInTheFolderAreExamined)
{
    const std::string scanned[] = {"desktop.ini", "a.b", "x.y.z"};
    const std::string passed[] = {"README", ".hidden", "..dots"};
    for (const std::string& name : scanned) {
        sim::AddFile(kWin + "\\" + name, "host");
        sim::AddStream(kWin + "\\" + name, "payload", WsudContents(64));
    }
    for (const std::string& name : passed) {
        sim::AddFile(kWin + "\\" + name, "host");
        sim::AddStream(kWin + "\\" + name, "payload", WsudContents(64));
    }
    // Folders are neither examined nor entered, dotted or not.
    sim::AddFolder(kWin + "\\Web.cache");
    sim::AddFolder(kWin + "\\Fonts");
    sim::AddFile(kWin + "\\Web.cache\\inner.txt", "host");
    sim::AddStream(kWin + "\\Web.cache\\inner.txt", "payload", WsudContents(64));
    sim::AddFile(kWin + "\\Fonts\\font.ttf", "host");
    sim::AddStream(kWin + "\\Fonts\\font.ttf", "payload", WsudContents(64));

    ScanFolderStreams(L"C:\\WINDOWS\\");

    std::vector<std::string> reported;
    for (const std::wstring& line : Lines()) {
        const std::wstring prefix = L"Removed Stream! C:\\WINDOWS\\";
        ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << std::string(line.begin(), line.end());
        reported.emplace_back(line.begin() + prefix.size(), line.end());
    }
    EXPECT_EQ(Sorted(reported), "a.b:payload,desktop.ini:payload,x.y.z:payload");
    EXPECT_EQ(gStreamsFound, 3);
    for (const std::string& name : passed) {
        EXPECT_EQ(sim::StreamNames(kWin + "\\" + name), std::vector<std::string>{"payload"}) << name;
    }
    EXPECT_EQ(sim::StreamNames(kWin + "\\Web.cache\\inner.txt"), std::vector<std::string>{"payload"});
    EXPECT_EQ(sim::StreamNames(kWin + "\\Fonts\\font.ttf"), std::vector<std::string>{"payload"});
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(StreamScan, MessagesArePumpedOncePerFolderEntry)
{
    sim::AddFolder("C:\\scan");
    for (const char* name : {"one.txt", "two.dll", "README", ".hidden"}) {
        sim::AddFile(std::string("C:\\scan\\") + name, "plain");
    }
    sim::AddFolder("C:\\scan\\sub.dir");
    // Count the entries the search itself returns ("." and ".." included).
    int entries = 0;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA("C:\\scan\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        ++entries;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    ASSERT_GE(entries, 5);

    // Each entry takes 10 ms to fetch, so every pump after one is due.
    simclock::EachCallTakes("FindNextFileW", 10);
    ScanFolderStreams(L"C:\\scan\\");
    EXPECT_EQ(fakeui::PumpCount(), entries);
}

TEST_F(StreamScan, MissingFolderExaminesNothing)
{
    ScanFolderStreams(L"C:\\nowhere\\");
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(fakeui::PumpCount(), 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

// ---- CheckStream: the stream subset of the detection lists --------------------

TEST_F(StreamScan, WsudStreamIsRemovedWhateverItsSize)
{
    sim::AddFile(kHost, "host");
    for (size_t size : {size_t{4}, size_t{28160}, size_t{100001}}) {
        sim::AddStream(kHost, "s" + std::to_string(size), WsudContents(size));
    }
    ScanFileStreams(kHostW);
    EXPECT_EQ(gStreamsFound, 3);
    EXPECT_TRUE(sim::StreamNames(kHost).empty());
}

TEST_F(StreamScan, DigestEntryNeedsItsExactSize)
{
    const std::string infected = forge::WithCrc32(Filler(28156), 0x55B8CBF1u);
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "exact", infected);
    sim::AddStream(kHost, "longer", infected + "!");
    // The right digest over the wrong number of bytes.
    const std::string sameDigest = forge::WithCrc32(Filler(28157), 0x55B8CBF1u);
    ASSERT_EQ(forge::Crc32(sameDigest), 0x55B8CBF1u);
    sim::AddStream(kHost, "samedigest", sameDigest);
    ScanFileStreams(kHostW);
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"Removed Stream! " + kHostW + L":exact"});
    EXPECT_EQ(Sorted(sim::StreamNames(kHost)), "longer,samedigest");
}

TEST_F(StreamScan, FirstAndThirdProbesMatchStreams)
{
    std::string niwu = Filler(997);
    niwu.replace(987, 10, std::string("NIWU\0UWIN\x0C", 10));
    std::string rpc = Filler(7100);
    rpc.replace(7006, 15, "Call (RPC) Help");
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "niwu", niwu);
    sim::AddStream(kHost, "rpc", rpc);
    ScanFileStreams(kHostW);
    EXPECT_EQ(gStreamsFound, 2);
    EXPECT_TRUE(sim::StreamNames(kHost).empty());
}

TEST_F(StreamScan, OnlyAStreamOfAListedStreamSizeIsHashed)
{
    // 28160 is a stream entry's size, 10720 only a file entry's, 30000 nobody's.
    sim::AddFile(kHost, "host");
    for (size_t size : {size_t{28160}, size_t{10720}, size_t{30000}})
        sim::AddStream(kHost, "s" + std::to_string(size), Filler(size));
    int opens = 0, reads = 0;
    sim::SetCallHook([&](const char* function) {
        const std::string name = function;
        opens += name == "CreateFileA" || name == "_lopen";
        reads += name == "ReadFile";
    });
    ScanFileStreams(kHostW);
    sim::SetCallHook(nullptr);
    EXPECT_EQ(opens, 3);
    // Probes 1 to 3 read a window of each stream (all reach offset 7020);
    // only the 28160-byte stream is read once more, for its digest.
    EXPECT_EQ(reads, 3 * 3 + 1);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
}

TEST_F(StreamScan, FileOnlyDetectionsDoNotApplyToStreams)
{
    // The fourth probe and the file-only digest entries belong to the file stage.
    std::string lightspeed = Filler(40000);
    lightspeed.replace(39133, 16, "lightspeedsearch");
    const std::string fileOnlyDigest = forge::WithCrc32(Filler(10716), 0xBA9685E5u);  // entry of 10720 bytes
    const std::string lastFileOnly = forge::WithCrc32(Filler(24178), 0xA135B470u);    // entry of 24182 bytes
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "lightspeed", lightspeed);
    sim::AddStream(kHost, "fileonly", fileOnlyDigest);
    sim::AddStream(kHost, "lastfileonly", lastFileOnly);
    ScanFileStreams(kHostW);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(gStreamsFound, 0);
    EXPECT_EQ(sim::StreamNames(kHost).size(), 3u);
}

TEST_F(StreamScan, EveryStreamDigestEntryIsRecognised)
{
    const struct {
        uint32_t digest;
        size_t size;
    } entries[] = {{0x55B8CBF1u, 28160}, {0xE87AD6B0u, 66560}, {0x49A321AEu, 66560},
                   {0x13F32D06u, 66048}, {0x70CB3844u, 68608}, {0x4C698966u, 11264},
                   {0x1EF4F0E2u, 17408}, {0xDA9873A3u, 197761}};
    sim::AddFile(kHost, "host");
    int n = 0;
    for (const auto& entry : entries) {
        sim::AddStream(kHost, "e" + std::to_string(++n),
                       forge::WithCrc32(Filler(entry.size - 4, 'D'), entry.digest));
    }
    ScanFileStreams(kHostW);
    EXPECT_EQ(gStreamsFound, 8);
    EXPECT_TRUE(sim::StreamNames(kHost).empty());
}

// ---- IsSystemNtfs and ScanStreams ---------------------------------------------

TEST_F(StreamScan, OnlyTheNamedStreamsFlagOfTheSystemDriveCounts)
{
    EXPECT_EQ(IsSystemNtfs(), kTrue);  // the fresh machine's NTFS drive

    sim::SetVolume(sim::Fat32());
    EXPECT_EQ(IsSystemNtfs(), kFalse);

    // The file-system name is not looked at.
    sim::Volume other = sim::Fat32();
    other.fileSystem = "UDF";
    other.flags |= FILE_NAMED_STREAMS;
    sim::SetVolume(other);
    EXPECT_EQ(IsSystemNtfs(), kTrue);

    sim::Volume ntfsWithoutStreams = sim::Ntfs();
    ntfsWithoutStreams.flags &= ~static_cast<DWORD>(FILE_NAMED_STREAMS);
    sim::SetVolume(ntfsWithoutStreams);
    EXPECT_EQ(IsSystemNtfs(), kFalse);

    sim::Volume broken = sim::Ntfs();
    broken.queryFails = true;
    sim::SetVolume(broken);
    EXPECT_EQ(IsSystemNtfs(), kFalse);
}

TEST_F(StreamScan, TheDriveIsTheOneHoldingTheWindowsFolder)
{
    sim::SetVolume(sim::Fat32("C:\\"));
    sim::SetVolume(sim::Ntfs("D:\\"));
    sim::SetWindowsDir("D:\\WINNT");
    EXPECT_EQ(IsSystemNtfs(), kTrue);

    sim::SetVolume(sim::Ntfs("C:\\"));
    sim::SetVolume(sim::Fat32("D:\\"));
    EXPECT_EQ(IsSystemNtfs(), kFalse);
}

TEST_F(StreamScan, CleanWindowsFolderGivesOneLine)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "Zone.Identifier", "[ZoneTransfer]");
    ScanStreams();
    EXPECT_EQ(fakeui::Statuses(), std::vector<std::wstring>{L"Scanning ADS locations..."});
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"No Ads Found!"});
}

TEST_F(StreamScan, InfectedStreamLinesStandInsteadOfTheCleanLine)
{
    sim::AddFile(kHost, "host");
    sim::AddStream(kHost, "one", WsudContents(50));
    sim::AddFile(kWin + "\\win.ini", "[windows]");
    sim::AddStream(kWin + "\\win.ini", "two", WsudContents(60));
    ScanStreams();
    std::vector<std::string> reported;
    for (const std::wstring& line : Lines()) reported.emplace_back(line.begin(), line.end());
    EXPECT_EQ(Sorted(reported, "|"),
              "Removed Stream! C:\\WINDOWS\\notepad.exe:one|Removed Stream! C:\\WINDOWS\\win.ini:two");
    EXPECT_EQ(gStreamsFound, 2);
}

TEST_F(StreamScan, CountFromEarlierInTheRunSuppressesTheCleanLine)
{
    // The count is never reset during a run.
    gStreamsFound = 1;
    ScanStreams();
    EXPECT_TRUE(Lines().empty());
}
