// Removing one infected file with its processes and autorun values, on the
// simulated machine.
#include <string>
#include <vector>

#include "platform/win32.h"
#include "removal/infected_file.h"
#include "scan/sim_scan_fixture.h"
#include "support/sim_clock.h"

namespace {

using simscan::Machine;
using simscan::W;

const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kRunServices = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const std::string kRunServicesOnce =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

struct Location {
    HKEY hive;
    std::string key;
};

const std::vector<Location> kEightLocations = {
    {HKEY_CURRENT_USER, kRun},          {HKEY_CURRENT_USER, kRunOnce},
    {HKEY_LOCAL_MACHINE, kRun},         {HKEY_LOCAL_MACHINE, kRunOnce},
    {HKEY_CURRENT_USER, kRunServices},  {HKEY_CURRENT_USER, kRunServicesOnce},
    {HKEY_LOCAL_MACHINE, kRunServices}, {HKEY_LOCAL_MACHINE, kRunServicesOnce},
};

class InfectedFile : public Machine {
protected:
    int deleteCalls = 0;

    void CountDeletes()
    {
        sim::SetCallHook([this](const char* function) {
            if (std::string(function) == "DeleteFileA") ++deleteCalls;
        });
    }

    static void SetEverywhere(const std::string& name)
    {
        for (const Location& location : kEightLocations)
            sim::SetString(location.hive, location.key, name, "C:\\WINDOWS\\" + name);
    }
};

TEST_F(InfectedFile, DeletesAProtectedFileAtTheFirstAttemptWithoutEscalating)
{
    const std::string path = std::string(simscan::kWindows) + "\\evil.dll";
    sim::AddFile(path, "MZ",
                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                     FILE_ATTRIBUTE_ARCHIVE);
    DWORD rundll = sim::AddProcess("C:\\WINDOWS\\system32\\rundll32.exe");

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"evil.dll");

    EXPECT_FALSE(sim::FileExists(path));
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
    EXPECT_TRUE(sim::IsRunning(rundll));
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_EQ(gExplorerEnded, kFalse);
    EXPECT_TRUE(sim::Sleeps().empty()) << "no process ended, nothing to wait for";
    EXPECT_EQ(fakeui::PumpCount(), 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(InfectedFile, EndsTheProcessRunningTheFileBeforeDeletingIt)
{
    const std::string path = "C:\\WINDOWS\\system32\\svchosts.exe";
    sim::AddFile(path, "MZ");
    DWORD running = sim::AddProcess(path);
    sim::HoldFile(running, path, FILE_SHARE_READ);

    RemoveInfectedFile(L"C:\\WINDOWS\\system32\\", L"svchosts.exe");

    EXPECT_FALSE(sim::IsRunning(running));
    EXPECT_FALSE(sim::FileExists(path));
    EXPECT_EQ(gExplorerKilled, kFalse);
    // One second for the process to exit, then the pause before the deletion.
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000, 100}));
}

TEST_F(InfectedFile, AFileLoadedByTheShellEscalatesAndIsThenDeleted)
{
    const std::string path = std::string(simscan::kSystem) + "\\hook.dll";
    sim::AddFile(path, "MZ");
    sim::LoadModule(ExplorerId(), path);
    sim::HoldFile(ExplorerId(), path, FILE_SHARE_READ);
    DWORD host = sim::AddProcess("C:\\WINDOWS\\system32\\rundll32.exe");
    sim::LoadModule(host, "C:\\WINDOWS\\SYSTEM32\\HOOK.DLL");
    DWORD idle = sim::AddProcess("C:\\WINDOWS\\system32\\rundll32.exe");
    DWORD bystander = sim::AddProcess("C:\\Apps\\word.exe");
    sim::LoadModule(bystander, path);
    // A 64-bit host hides its modules from this 32-bit program: left alone.
    sim::ProcessSpec sealed;
    sealed.modulePath = "C:\\WINDOWS\\system32\\rundll32.exe";
    sealed.canEnumModules = false;
    DWORD hidden = sim::AddProcess(sealed);
    sim::LoadModule(hidden, path);
    // Each attempt takes a while, so each extra round's pump is due.
    simclock::EachCallTakes("DeleteFileA", 10);

    RemoveInfectedFile(L"C:\\WINDOWS\\system32\\", L"hook.dll");

    EXPECT_FALSE(sim::FileExists(path));
    EXPECT_FALSE(sim::IsRunning(ExplorerId()));
    EXPECT_FALSE(sim::IsRunning(host));
    EXPECT_TRUE(sim::IsRunning(idle)) << "a rundll32 without the library";
    EXPECT_TRUE(sim::IsRunning(hidden)) << "a rundll32 whose modules cannot be read";
    EXPECT_TRUE(sim::IsRunning(bystander)) << "only the shell and rundll32 are ended for a library";
    EXPECT_EQ(gExplorerKilled, kTrue);
    EXPECT_EQ(gExplorerEnded, kTrue);
    // rundll32 and explorer ended (NT: a second each), then each extra round
    // gives them its 100 ms to let go of the file.
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000, 1000, 100, 100, 100}));
    EXPECT_EQ(fakeui::PumpCount(), 3);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(InfectedFile, ALockThatHoldsSurvivesTheShellRunsOnAndTheValuesAreStillRemoved)
{
    const std::string path = std::string(simscan::kWindows) + "\\stuck.exe";
    sim::AddFile(path, "MZ");
    LockForGood(path, 0);
    DWORD host = sim::AddProcess("C:\\WINDOWS\\system32\\rundll32.exe");
    SetEverywhere("stuck.exe");
    CountDeletes();

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"stuck.exe");

    EXPECT_TRUE(sim::FileExists(path));
    EXPECT_TRUE(sim::IsRunning(ExplorerId())) << "the shell does not have the file";
    EXPECT_TRUE(sim::IsRunning(host));
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_EQ(gExplorerEnded, kFalse);
    for (const Location& location : kEightLocations)
        EXPECT_FALSE(sim::ValueExists(location.hive, location.key, "stuck.exe")) << location.key;
    // First attempt, three rounds, two final attempts; nothing ended, nothing to wait for.
    EXPECT_EQ(deleteCalls, 6);
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(InfectedFile, EscalatesOnTheSnapshotWalkTooAndWaitsForAHolderStillExiting)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 90, 3000);
    const std::string path = std::string(simscan::kWindows) + "\\hook.dll";
    sim::AddFile(path, "MZ");
    sim::LoadModule(ExplorerId(), path);
    sim::HoldFile(ExplorerId(), path, FILE_SHARE_READ);
    // Loaded by a rundll32 still exiting when both walks' pauses are over.
    sim::ProcessSpec rundll;
    rundll.exeFile = rundll.modulePath = "C:\\WINDOWS\\RUNDLL32.EXE";
    rundll.exitMs = 250;
    const DWORD host = sim::AddProcess(rundll);
    sim::LoadModule(host, path);
    sim::HoldFile(host, path, FILE_SHARE_READ);
    DWORD idle = sim::AddProcess("C:\\WINDOWS\\RUNDLL32.EXE");

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"hook.dll");

    EXPECT_FALSE(sim::FileExists(path));
    EXPECT_TRUE(sim::IsRunning(idle));
    EXPECT_EQ(gExplorerKilled, kTrue);
    EXPECT_EQ(gExplorerEnded, kTrue);
    // The snapshot walk's own pause after rundll32 and after the shell, then each round's.
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100, 100, 100, 100, 100}));
}

TEST_F(InfectedFile, SeDllLosesItsSpValuesBeforeAnythingElse)
{
    const std::string path = std::string(simscan::kTemp) + "SE.DLL";
    sim::AddFile(path, "MZ");
    sim::SetString(HKEY_CURRENT_USER, kRun, "sp", "rundll32 se.dll");
    sim::SetString(HKEY_LOCAL_MACHINE, kRun, "sp", "rundll32 se.dll");
    sim::SetString(HKEY_CURRENT_USER, kRun, "keep", "ctfmon.exe");
    bool goneBeforeFileWork = false;
    bool sawFileWork = false;
    sim::SetCallHook([&](const char* function) {
        const std::string name = function;
        if (!sawFileWork && (name == "SetFileAttributesA" || name == "DeleteFileA")) {
            sawFileWork = true;
            goneBeforeFileWork = !sim::ValueExists(HKEY_CURRENT_USER, kRun, "sp") &&
                                 !sim::ValueExists(HKEY_LOCAL_MACHINE, kRun, "sp");
        }
    });

    RemoveInfectedFile(W(simscan::kTemp), L"SE.DLL");

    EXPECT_TRUE(sawFileWork);
    EXPECT_TRUE(goneBeforeFileWork);
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "keep"));
    EXPECT_FALSE(sim::FileExists(path));
}

TEST_F(InfectedFile, OtherLibrariesKeepTheirSpValues)
{
    sim::AddFile("C:\\WINDOWS\\other.dll", "MZ");
    sim::SetString(HKEY_CURRENT_USER, kRun, "sp", "rundll32 se.dll");

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"other.dll");

    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "sp"));
}

TEST_F(InfectedFile, ExeNamesLoseTheirSameNamedValuesEverywhere)
{
    sim::AddFile("C:\\WINDOWS\\update.exe.tmp", "MZ");
    SetEverywhere("update.exe.tmp");
    sim::SetString(HKEY_CURRENT_USER, kRun, "other.exe", "C:\\WINDOWS\\update.exe.tmp");
    CountDeletes();

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"update.exe.tmp");

    for (const Location& location : kEightLocations)
        EXPECT_FALSE(sim::ValueExists(location.hive, location.key, "update.exe.tmp"))
            << location.key;
    // Values that merely point at the file are not this routine's business.
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "other.exe"));
    EXPECT_EQ(deleteCalls, 3);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(InfectedFile, WindesktopNamesTakeOnlyTheirOwnValueAndSkipTheLastDeletes)
{
    sim::AddFile("C:\\WINDOWS\\windesktop.exe", "MZ");
    SetEverywhere("windesktop.exe");
    sim::SetString(HKEY_CURRENT_USER, kRun, "windesktop", "x");
    sim::SetString(HKEY_LOCAL_MACHINE, kRun, "windesktop", "x");
    sim::SetString(HKEY_CURRENT_USER, kRunServices, "windesktop", "x");
    sim::SetString(HKEY_LOCAL_MACHINE, kRunServices, "windesktop", "x");
    sim::SetString(HKEY_CURRENT_USER, kRunOnce, "windesktop", "x");
    CountDeletes();

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"WinDesktop.exe");

    EXPECT_FALSE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "windesktop"));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, kRun, "windesktop"));
    EXPECT_FALSE(sim::ValueExists(HKEY_CURRENT_USER, kRunServices, "windesktop"));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "windesktop"));
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRunOnce, "windesktop"));
    for (const Location& location : kEightLocations)
        EXPECT_TRUE(sim::ValueExists(location.hive, location.key, "windesktop.exe"))
            << location.key;
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\windesktop.exe"));
    EXPECT_EQ(deleteCalls, 1);
}

TEST_F(InfectedFile, OtherNamesKeepTheirValuesButStillEndTheirProcesses)
{
    sim::AddFile("C:\\WINDOWS\\x.dll", "MZ");
    sim::SetString(HKEY_CURRENT_USER, kRun, "x.dll", "rundll32 x.dll");
    DWORD runner = sim::AddProcess("C:\\windows\\X.DLL");
    DWORD host = sim::AddProcess("C:\\Apps\\x.dll");

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"x.dll");

    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "x.dll"));
    EXPECT_FALSE(sim::IsRunning(runner));
    EXPECT_TRUE(sim::IsRunning(host)) << "a file of the same name elsewhere";
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000, 100}));
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\x.dll"));
}

// A process is ended for the file only when it runs that very file, however
// its path is spelt; a program of the same name, or one whose Unicode name
// the ANSI calls would spell alike, runs on.
TEST_F(InfectedFile, OnlyTheProgramRunningTheVeryFileIsEnded)
{
    const std::string path = "C:\\WINDOWS\\updatemanager.exe";
    sim::AddFile(path, "MZ");
    sim::ProcessSpec byShortName;
    byShortName.exeFile = "updatemanager.exe";
    byShortName.modulePath = "\\??\\" + sim::ShortPath(path);
    const DWORD running = sim::AddProcess(byShortName);
    const DWORD elsewhere = sim::AddProcess("C:\\Program Files\\Vendor\\updatemanager.exe");
    sim::AddFile(L"C:\\WINDOWS\\\uFF55pdatemanager.exe", "MZ");
    sim::ProcessSpec lookAlike;
    lookAlike.exeFile = "updatemanager.exe";
    lookAlike.imagePath = L"C:\\WINDOWS\\\uFF55pdatemanager.exe";
    const DWORD alike = sim::AddProcess(lookAlike);

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"updatemanager.exe");

    EXPECT_FALSE(sim::IsRunning(running));
    EXPECT_TRUE(sim::IsRunning(elsewhere));
    EXPECT_TRUE(sim::IsRunning(alike));
    EXPECT_FALSE(sim::FileExists(path));
    EXPECT_TRUE(sim::FileExists(L"C:\\WINDOWS\\\uFF55pdatemanager.exe"));
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{running}));
}

TEST_F(InfectedFile, MissingKeysAndFilesChangeNothing)
{
    sim::RefuseKey(HKEY_LOCAL_MACHINE, kRun);

    RemoveInfectedFile(L"C:\\WINDOWS\\", L"absent.exe");

    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(InfectedFile, AFolderIsLeftInPlaceWithoutEscalation)
{
    sim::AddFolder(std::string(simscan::kTemp) + "cache");
    sim::AddFile(std::string(simscan::kTemp) + "cache\\inner.tmp", "x");
    DWORD cacheUser = sim::AddProcess("C:\\Apps\\cache\\server.exe");

    RemoveInfectedFile(W(simscan::kTemp), L"cache");

    EXPECT_TRUE(sim::FolderExists(std::string(simscan::kTemp) + "cache"));
    EXPECT_TRUE(sim::FileExists(std::string(simscan::kTemp) + "cache\\inner.tmp"));
    EXPECT_TRUE(sim::IsRunning(cacheUser)) << "a folder's name is no program's name";
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
}

TEST_F(InfectedFile, RemoveRegistryValueDeletesOnlyTheNamedValue)
{
    sim::SetString(HKEY_CURRENT_USER, kRunOnce, "one", "1");
    sim::SetString(HKEY_CURRENT_USER, kRunOnce, "two", "2");

    RemoveRegistryValue(HKEY_CURRENT_USER, W(kRunOnce), L"ONE");
    RemoveRegistryValue(HKEY_CURRENT_USER, L"SOFTWARE\\Absent", L"two");

    EXPECT_FALSE(sim::ValueExists(HKEY_CURRENT_USER, kRunOnce, "one"));
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRunOnce, "two"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Absent"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

}  // namespace
