// Whole scans on machines that fight back: locked and vanishing files, files
// too large for a 32-bit length, crowded folders, foreign names, crowds of
// processes, refused keys, an over-long temporary folder, a read-only program
// folder and a service that never stops. Every scan must reach its closing
// line and leave the log text, and must report only what really happened.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "detection/folder_walker.h"
#include "platform/win32.h"
#include "scan/activity_log.h"
#include "scan/pipeline.h"
#include "scan/sim_scan_fixture.h"

namespace {

using simscan::Machine;
using simscan::W;

const std::wstring kCompleted = L"Scan was COMPLETED SUCCESSFULLY at ";

class HostileMachine : public Machine {
protected:
    // The scan ended normally: its closing line is the last one, the log text
    // holds the whole list, and the About window took over.
    static void ExpectScanCompleted()
    {
        const auto& lines = fakeui::Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind(kCompleted, 0), 0u)
            << "last line: " << std::string(lines.back().begin(), lines.back().end());
        std::wstring log;
        for (const auto& line : lines) log += line + L"\r\n";
        EXPECT_EQ(gLogText, log);
        EXPECT_TRUE(fakeui::AboutWindowShown());
        EXPECT_EQ(sim::OpenHandles(), 0);
    }

    // Lines that report a file or stream removal, whatever their outcome.
    static std::vector<std::wstring> RemovalLines()
    {
        std::vector<std::wstring> found;
        for (const auto& line : fakeui::Lines()) {
            if (line.rfind(L"Removed File! : ", 0) == 0 || line.rfind(L"Error Removing ! : ", 0) == 0 ||
                line.rfind(L"Removed Stream! ", 0) == 0 || line.rfind(L"Error Removing! ", 0) == 0)
                found.push_back(line);
        }
        return found;
    }

    static bool StatusShown(const std::wstring& text)
    {
        for (const auto& status : fakeui::Statuses())
            if (status == text) return true;
        return false;
    }
};

// Bytes resident in memory now (not the peak, which earlier tests may have set).
size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST_F(HostileMachine, AFileLockedAgainstReadingIsNeitherMatchedNorReported)
{
    const std::string path = std::string(simscan::kWindows) + "\\locked.exe";
    sim::AddFile(path, simscan::ProbeInfected(4096));
    const DWORD holder = sim::AddProcess("C:\\Program Files\\Other\\holder.exe");
    sim::HoldFile(holder, path, 0);

    RunRemoval();

    EXPECT_TRUE(RemovalLines().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(simscan::Machine::HasLine(L"No Files Found!"));
    EXPECT_TRUE(sim::FileExists(path));
    EXPECT_TRUE(sim::IsRunning(holder));
    ExpectScanCompleted();
}

TEST_F(HostileMachine, AFileThatVanishesAfterTheListingIsPassedOver)
{
    sim::SetVolume(sim::Fat32());  // no stream stage opens it first
    const std::string path = std::string(simscan::kWindows) + "\\fleeting.dll";
    sim::AddFile(path, simscan::DigestInfected());
    sim::VanishOnOpen(path);

    RunRemoval();

    // It was listed and handed to the matcher, then could not be read.
    EXPECT_TRUE(StatusShown(W(path)));
    EXPECT_TRUE(RemovalLines().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_FALSE(sim::FileExists(path));
    ExpectScanCompleted();
}

TEST_F(HostileMachine, FilesOfTwoGibibytesAndMoreAreNotMatchedAndNeverFillMemory)
{
    // Reported sizes that wrap to a negative length, to zero, to a digest
    // entry's size and to almost 2 GiB; the contents are small.
    struct Giant {
        const char* name;
        uint64_t reported;
        std::string contents;
    };
    const std::vector<Giant> giants = {
        {"negative.exe", (2ull << 30) + 28160, simscan::DigestInfected()},
        {"zero.dll", 4ull << 30, simscan::ProbeInfected(8)},
        {"wrapped.dat", (4ull << 30) + 28160, std::string(28160, 'q')},
        {"huge.tmp", (4ull << 30) + 0x7FFFFFF0ull, std::string(1000, 'z')},
    };
    for (const Giant& g : giants) {
        const std::string path = std::string(simscan::kWindows) + "\\" + g.name;
        sim::AddFile(path, g.contents);
        sim::SetReportedSize(path, g.reported);
    }
    const size_t residentBefore = ResidentBytes();
    size_t mostResident = residentBefore;
    sim::SetCallHook([&](const char* function) {
        if (std::string(function) == "ReadFile") mostResident = std::max(mostResident, ResidentBytes());
    });

    RunRemoval();
    sim::SetCallHook(nullptr);

    EXPECT_TRUE(RemovalLines().empty());
    EXPECT_EQ(gFilesFound, 0);
    for (const Giant& g : giants)
        EXPECT_TRUE(sim::FileExists(std::string(simscan::kWindows) + "\\" + g.name)) << g.name;
    // A buffer the size of a wrapped length would be hundreds of mebibytes.
    EXPECT_LT(mostResident - residentBefore, size_t(64) << 20);
    ExpectScanCompleted();
}

TEST_F(HostileMachine, FiveThousandFilesInTheWindowsFolderAreAllExamined)
{
    const char* const extensions[] = {".exe", ".dll", ".dat", ".txt", ".log", ".tmp", ".bak", ".$$$"};
    for (int i = 0; i < 5000; ++i) {
        const std::string name = "file" + std::to_string(i) + extensions[i % 8];
        sim::AddFile(std::string(simscan::kWindows) + "\\" + name, "clean " + std::to_string(i));
    }
    // Two of the 5,000 are the hijacker's.
    const std::string probe = std::string(simscan::kWindows) + "\\file1232.exe";
    const std::string digest = std::string(simscan::kWindows) + "\\file4321.dll";
    sim::AddFile(probe, simscan::ProbeInfected());
    sim::AddFile(digest, simscan::DigestInfected());

    RunRemoval();

    int examined = 0;
    for (const auto& status : fakeui::Statuses())
        if (status.rfind(W(simscan::kWindows) + L"\\file", 0) == 0) ++examined;
    EXPECT_EQ(examined, 5000);
    EXPECT_EQ(RemovalLines(), (std::vector<std::wstring>{L"Removed File! : " + W(probe),
                                                          L"Removed File! : " + W(digest)}));
    EXPECT_EQ(gFilesFound, 2);
    EXPECT_FALSE(sim::FileExists(probe));
    EXPECT_FALSE(sim::FileExists(digest));
    EXPECT_TRUE(sim::FileExists(std::string(simscan::kWindows) + "\\file4999.$$$"));
    ExpectScanCompleted();
}

TEST_F(HostileMachine, NonAsciiNamesAreReportedAndRemovedUnderTheirOwnNames)
{
    // Code page 1252: n with tilde, u with diaeresis, the euro sign (0x80).
    const std::string spanish = std::string(simscan::kWindows) + "\\Pa\xF1uelo.exe";
    const std::string german = std::string(simscan::kSystem) + "\\Gr\xFC\xDF" "e \x80.dll";
    const std::string clean = std::string(simscan::kWindows) + "\\na\xEFve.txt";
    sim::AddFile(spanish, simscan::ProbeInfected());
    sim::AddFile(german, simscan::DigestInfected());
    sim::AddFile(clean, "nothing to see");

    RunRemoval();

    EXPECT_EQ(RemovalLines(),
              (std::vector<std::wstring>{L"Removed File! : C:\\WINDOWS\\Pa\u00F1uelo.exe",
                                         L"Removed File! : C:\\WINDOWS\\system32\\Gr\u00FC\u00DFe \u20AC.dll"}));
    EXPECT_FALSE(sim::FileExists(spanish));
    EXPECT_FALSE(sim::FileExists(german));
    EXPECT_TRUE(sim::FileExists(clean));
    ExpectScanCompleted();
}

// Names code page 1252 cannot spell reach the ANSI calls as look-alikes of
// other files' names: each file is examined and removed by its own short
// name, a file without one is reported as not scanned, and the file a
// look-alike names is left alone.
TEST_F(HostileMachine, NamesWithoutAnExactFormAreNeverTakenForTheirLookAlikes)
{
    const std::string mine = std::string(simscan::kWindows) + "\\exp.exe";
    sim::AddFile(mine, "the user's own program");
    const std::wstring fullwidth = L"C:\\WINDOWS\\\uFF45\uFF58\uFF50.exe";
    sim::AddFile(fullwidth, simscan::ProbeInfected());
    const std::wstring shortPath = sim::ShortPath(fullwidth);
    sim::AddStream(platform::ToAnsi(shortPath), "payload", simscan::ProbeInfected());
    sim::Volume noShortNames = sim::Ntfs();
    noShortNames.shortNames = false;
    sim::SetVolume(noShortNames);
    const std::wstring unnamed = L"C:\\WINDOWS\\..\uFF3Cexp.exe";
    sim::AddFile(unnamed, simscan::ProbeInfected());

    RunRemoval();

    EXPECT_EQ(RemovalLines(), (std::vector<std::wstring>{L"Removed Stream! " + shortPath + L":payload",
                                                         L"Removed File! : " + shortPath}));
    EXPECT_TRUE(HasLine(L"Not Scanned ! : C:\\WINDOWS\\..\uFF3Cexp.exe (name without an exact form)"));
    EXPECT_FALSE(sim::FileExists(fullwidth));
    EXPECT_TRUE(sim::FileExists(unnamed));
    EXPECT_EQ(sim::FileContents(mine), "the user's own program");
    ExpectScanCompleted();

    // The 9x family lists ANSI names only: a look-alike is shown, never used.
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    fakeui::Reset();
    gAbort = kFalse;  // closing the main window set it
    ScanFolder(L"C:\\WINDOWS\\");
    EXPECT_EQ(fakeui::Lines(), (std::vector<std::wstring>{
                                   L"Not Scanned ! : C:\\WINDOWS\\..?exp.exe (name without an exact form)"}));
    EXPECT_TRUE(sim::FileExists(unnamed));
    EXPECT_EQ(sim::FileContents(mine), "the user's own program");
}

TEST_F(HostileMachine, OnlyTheFirst1024ProcessesAreExamined)
{
    std::vector<DWORD> browsers;
    for (int i = 0; i < 1500; ++i)
        browsers.push_back(sim::AddProcess("C:\\Program Files\\Internet Explorer\\iexplore.exe"));
    const size_t before = sim::RunningProcesses().size();
    ASSERT_GE(before, 1500u);

    StartScan();

    const size_t ended = sim::TerminatedProcesses().size();
    // The shell and the program itself take two of the 1024 places.
    EXPECT_GE(ended, 1000u);
    EXPECT_LE(ended, 1024u);
    int stillRunning = 0;
    for (DWORD id : browsers)
        if (sim::IsRunning(id)) ++stillRunning;
    EXPECT_EQ(static_cast<size_t>(stillRunning), browsers.size() - ended);
    ExpectScanCompleted();
}

TEST_F(HostileMachine, AProcessThatCannotBeOpenedKeepsItsFileAndTheScanGoesOn)
{
    const std::string path = std::string(simscan::kWindows) + "\\hsa.exe";
    sim::AddFile(path, simscan::ProbeInfected());
    sim::ProcessSpec spec;
    spec.exeFile = path;
    spec.modulePath = "\\??\\" + path;
    spec.canOpen = false;
    const DWORD guarded = sim::AddProcess(spec);
    sim::HoldFile(guarded, path, FILE_SHARE_READ | FILE_SHARE_WRITE);

    RunRemoval();

    EXPECT_TRUE(sim::IsRunning(guarded));
    EXPECT_TRUE(sim::FileExists(path));
    EXPECT_EQ(RemovalLines(), std::vector<std::wstring>{L"Error Removing ! : " + W(path)});
    EXPECT_EQ(gFilesFound, 1);
    ExpectScanCompleted();
}

TEST_F(HostileMachine, EveryRegistryKeyRefusedStillLetsTheFilesGo)
{
    const std::string path = std::string(simscan::kSystem) + "\\mfplay.dll";
    sim::AddFile(path, simscan::DigestInfected());
    sim::SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main", "Start Page",
                   "http://hijacked.invalid/");
    sim::RefuseAllKeys(true);

    RunRemoval();
    sim::RefuseAllKeys(false);

    EXPECT_EQ(RemovalLines(), std::vector<std::wstring>{L"Removed File! : " + W(path)});
    EXPECT_FALSE(sim::FileExists(path));
    // Nothing could be written to the refused keys.
    EXPECT_EQ(sim::ValueData(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                             "Start Page"),
              std::string("http://hijacked.invalid/") + '\0');
    ExpectScanCompleted();
}

TEST_F(HostileMachine, ATemporaryFolderPathOver99CharactersIsLeftAlone)
{
    const std::string longTemp =
        "C:\\Documents and Settings\\A User With A Rather Long Name\\Local Settings\\"
        "Temporary Internet Working Files\\";
    ASSERT_GT(longTemp.size(), 99u);
    sim::SetTempDir(longTemp);
    sim::AddFile(longTemp + "se.dll", "temporary");
    sim::AddFile(longTemp + "keep.txt", "temporary");
    // A file the scan finds, so the reset and the temporary-folder cleaning run.
    const std::string infected = std::string(simscan::kWindows) + "\\hsa.exe";
    sim::AddFile(infected, simscan::ProbeInfected());
    const std::string windowsFile = std::string(simscan::kWindows) + "\\win.ini";
    sim::AddFile(windowsFile, "[windows]\r\n");
    fakeui::QueueAnswer(ui::Answer::Yes);

    RunRemoval();

    // Without a folder name nothing may be deleted in its place.
    EXPECT_TRUE(sim::FileExists(longTemp + "se.dll"));
    EXPECT_TRUE(sim::FileExists(longTemp + "keep.txt"));
    EXPECT_TRUE(sim::FileExists(windowsFile));
    EXPECT_EQ(RemovalLines(), std::vector<std::wstring>{L"Removed File! : " + W(infected)});
    EXPECT_TRUE(sim::PendingDeletes().empty());
    ExpectScanCompleted();
}

TEST_F(HostileMachine, AReadOnlyProgramFolderMakesTheLogWriteFail)
{
    sim::SetFolderReadOnly("C:\\Program Files\\Grevlin", true);
    sim::AddFile(std::string(simscan::kWindows) + "\\hsa.exe", simscan::ProbeInfected());

    RunRemoval();
    ExpectScanCompleted();

    EXPECT_FALSE(WriteLogFile());
    EXPECT_FALSE(sim::FileExists("C:\\Program Files\\Grevlin\\Gv LogFile.txt"));
    EXPECT_FALSE(gLogText.empty());
}

TEST_F(HostileMachine, AServiceThatNeverStopsIsGivenUpOn)
{
    // The hijacker's second service name, as the service manager stores it.
    const wchar_t name[] = {0x00BD, 0x004F, 0x002E, 0x0023, 0x017E, 0x201A, 0x201E,
                            0x0081, 0x00F5, 0x00D8, 0x00C2, 0x00B4, 0x001E, 0x00E2, 0};
    sim::ServiceSpec service;
    service.name = platform::ToAnsi(name);
    service.pendingQueries = -1;
    sim::AddService(service);

    RunRemoval();

    EXPECT_EQ(sim::StopControlsReceived(service.name), 1);
    EXPECT_GT(sim::StatusQueries(service.name), 0);
    EXPECT_LE(sim::StatusQueries(service.name), 100);
    EXPECT_EQ(sim::ServiceState(service.name), DWORD(SERVICE_STOP_PENDING));
    ExpectScanCompleted();
}

}  // namespace
