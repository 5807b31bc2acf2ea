// Process termination by name on the simulated machine: the snapshot walk of
// the 9x family and the identifier walk of the NT family.
#include <algorithm>

#include "platform/win32.h"
#include "removal/process_kill.h"
#include "removal/shell.h"
#include "scan/sim_scan_fixture.h"
#include "support/sim_clock.h"

namespace {

using simscan::Machine;

bool Terminated(DWORD id)
{
    const auto ended = sim::TerminatedProcesses();
    return std::find(ended.begin(), ended.end(), id) != ended.end();
}

// Every load of the library by the walk was matched by a release: our own
// load and release leave nothing for a second release.
bool NoLoadLeftBehind(const char* library)
{
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) return true;
    FreeLibrary(module);
    return !FreeLibrary(module);
}

FARPROC Export(const char* library, const char* name)
{
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) return nullptr;
    FARPROC entry = GetProcAddress(module, name);
    FreeLibrary(module);
    return entry;
}

const char* const kToolhelp[] = {"CreateToolhelp32Snapshot", "Process32First", "Process32Next"};
const char* const kPsapi[] = {"EnumProcesses", "EnumProcessModules", "GetModuleFileNameExW"};

class ProcessKill9x : public Machine {
protected:
    void SetUp() override
    {
        Machine::SetUp();
        sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    }
};

class ProcessKillNt : public Machine {};

TEST_F(ProcessKill9x, EndsEveryProcessWhosePathContainsTheNameInAnyCase)
{
    DWORD first = sim::AddProcess("C:\\PROGRAM FILES\\INTERNET EXPLORER\\IEXPLORE.EXE");
    DWORD second = sim::AddProcess("C:\\Program Files\\Internet Explorer\\iexplore.exe");
    DWORD other = sim::AddProcess("C:\\WINDOWS\\NOTEPAD.EXE");

    KillProcessByName(L"iexplore.exe", kTrue);

    EXPECT_FALSE(sim::IsRunning(first));
    EXPECT_FALSE(sim::IsRunning(second));
    EXPECT_TRUE(sim::IsRunning(other));
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100, 100}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

// Only the executable's own file name counts, on both walks: parts of a path
// ("e", ".exe", a folder) are entry names of a temporary folder, and matched
// by containment they ended the browser, the shell and the user's programs.
void ExpectOnlyTheFileNameToMatch(const sim::ProcessSpec& helperSpec, DWORD shell)
{
    DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\iexplore.exe");
    DWORD helper = sim::AddProcess(helperSpec);
    DWORD clean = sim::AddProcess("C:\\Tools\\calc.com");

    for (const wchar_t* part : {L"e.exe", L".exe", L"e", L"1", L"evil corp", L"tools", L"calc",
                                L"Internet Explorer\\iexplore.exe", L"\\iexplore.exe"})
        EXPECT_EQ(KillProcessByName(part, kTrue), 0) << platform::ToAnsi(part);
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_TRUE(sim::Sleeps().empty());

    EXPECT_EQ(KillProcessByName(L"HELPER.EXE", kTrue), 1);
    EXPECT_EQ(KillProcessByName(L"iexplore.exe", kTrue), 1);
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{helper, ie}));
    EXPECT_TRUE(sim::IsRunning(clean));
    EXPECT_TRUE(sim::IsRunning(shell));
    EXPECT_EQ(gExplorerEnded, kFalse);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKill9x, MatchesTheFileNameNeverAPartOfThePath)
{
    sim::ProcessSpec helper;
    helper.exeFile = helper.modulePath = "C:\\Evil Corp\\helper.exe";
    ExpectOnlyTheFileNameToMatch(helper, ExplorerId());
}

TEST_F(ProcessKill9x, NoMatchMeansOnePassWithoutPauseButAPumpPerEntry)
{
    sim::AddProcess("C:\\Tools\\one.exe");
    sim::AddProcess("C:\\Tools\\two.exe");
    const size_t entries = sim::RunningProcesses().size();
    simclock::EachCallTakes("Process32Next", 10);

    KillProcessByName(L"absent.exe", kTrue);

    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(static_cast<size_t>(fakeui::PumpCount()), entries);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKill9x, KillAllFalseStopsAfterTheFirstMatch)
{
    DWORD first = sim::AddProcess("C:\\Apps\\twin.exe");
    DWORD second = sim::AddProcess("D:\\Apps\\twin.exe");

    KillProcessByName(L"twin.exe", kFalse);

    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{first}));
    EXPECT_TRUE(sim::IsRunning(second));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKill9x, PausesEvenWhenTheProcessCannotBeOpenedOrEnded)
{
    sim::ProcessSpec locked;
    locked.exeFile = locked.modulePath = "C:\\Apps\\guarded.exe";
    locked.canOpen = false;
    DWORD closed = sim::AddProcess(locked);
    locked.canOpen = true;
    locked.canTerminate = false;
    DWORD stubborn = sim::AddProcess(locked);

    KillProcessByName(L"guarded.exe", kTrue);

    EXPECT_TRUE(sim::IsRunning(closed));
    EXPECT_TRUE(sim::IsRunning(stubborn));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100, 100}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKill9x, AnUnknownPlatformTakesTheSnapshotWalk)
{
    sim::SetPlatform(sim::Family::Other, 3, 51, 0);
    DWORD target = sim::AddProcess("C:\\Apps\\victim.exe");

    KillProcessByName(L"victim.exe", kTrue);

    EXPECT_FALSE(sim::IsRunning(target));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100}));
    EXPECT_GT(fakeui::PumpCount(), 0);
}

TEST_F(ProcessKill9x, SparesTheProgramItself)
{
    DWORD namesake = sim::AddProcess("C:\\Downloads\\Grevlin.exe");

    KillProcessByName(L"grevlin.exe", kTrue);

    EXPECT_TRUE(sim::IsRunning(sim::SelfProcessId()));
    EXPECT_FALSE(sim::IsRunning(namesake));
}

TEST_F(ProcessKill9x, TheSnapshotWalkNeedsNoPsapi)
{
    ASSERT_EQ(nullptr, LoadLibraryA("psapi.dll")) << "Windows 9x has no psapi.dll";
    DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");

    KillProcessByName(L"iexplore.exe", kTrue);

    EXPECT_FALSE(sim::IsRunning(ie));
    EXPECT_TRUE(NoLoadLeftBehind("kernel32.dll"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKill9x, AKernelWithoutToolhelpEndsNothing)
{
    for (const char* missing : kToolhelp) {
        SCOPED_TRACE(missing);
        sim::SetEntryPointPresent("kernel32.dll", missing, false);
        DWORD target = sim::AddProcess("C:\\Apps\\victim.exe");
        const int pumpsBefore = fakeui::PumpCount();

        KillProcessByName(L"victim.exe", kTrue);

        EXPECT_TRUE(sim::IsRunning(target));
        EXPECT_TRUE(sim::TerminatedProcesses().empty());
        EXPECT_TRUE(sim::Sleeps().empty());
        EXPECT_EQ(fakeui::PumpCount(), pumpsBefore);
        EXPECT_TRUE(NoLoadLeftBehind("kernel32.dll"));
        EXPECT_EQ(sim::OpenHandles(), 0);
        sim::SetEntryPointPresent("kernel32.dll", missing, true);
    }

    // With every call back the same machine is walked as usual.
    KillProcessByName(L"victim.exe", kTrue);
    EXPECT_EQ(sim::TerminatedProcesses().size(), 3u);
}

TEST_F(ProcessKillNt, AMachineWithoutPsapiEndsNothing)
{
    sim::SetLibraryPresent("psapi.dll", false);
    DWORD target = sim::AddProcess("C:\\Program Files\\Internet Explorer\\iexplore.exe");

    KillProcessByName(L"iexplore.exe", kTrue);
    KillProcessByNameNt(L"iexplore.exe", kTrue);

    EXPECT_TRUE(sim::IsRunning(target));
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(fakeui::PumpCount(), 0) << "the NT family never falls back to the snapshot walk";
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, APsapiLackingAnyOfItsCallsEndsNothing)
{
    DWORD target = sim::AddProcess("C:\\Apps\\victim.exe");
    for (const char* missing : kPsapi) {
        SCOPED_TRACE(missing);
        sim::SetEntryPointPresent("psapi.dll", missing, false);

        KillProcessByName(L"victim.exe", kTrue);

        EXPECT_TRUE(sim::IsRunning(target));
        EXPECT_TRUE(sim::Sleeps().empty());
        EXPECT_TRUE(NoLoadLeftBehind("psapi.dll"));
        EXPECT_EQ(sim::OpenHandles(), 0);
        sim::SetEntryPointPresent("psapi.dll", missing, true);
    }

    KillProcessByName(L"victim.exe", kTrue);
    EXPECT_FALSE(sim::IsRunning(target));
    EXPECT_TRUE(NoLoadLeftBehind("psapi.dll"));
}

TEST_F(ProcessKillNt, Nt4WithPsapiWalksIdentifiersWithoutToolhelp)
{
    sim::SetPlatform(sim::Family::Nt, 4, 0, 1381);
    for (const char* name : kToolhelp) EXPECT_EQ(nullptr, Export("kernel32.dll", name)) << name;
    DWORD target = sim::AddProcess("C:\\WINNT\\victim.exe");

    KillProcessByName(L"victim.exe", kTrue);

    EXPECT_FALSE(sim::IsRunning(target));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, EachFamilyHasItsOwnWalkLibraries)
{
    for (const char* name : kPsapi) EXPECT_NE(nullptr, Export("psapi.dll", name)) << name;
    for (const char* name : kToolhelp) EXPECT_NE(nullptr, Export("kernel32.dll", name)) << name;

    sim::SetPlatform(sim::Family::Win9x, 4, 90, 3000);
    EXPECT_EQ(nullptr, LoadLibraryA("psapi.dll"));
    for (const char* name : kToolhelp) EXPECT_NE(nullptr, Export("kernel32.dll", name)) << name;

    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    for (const char* name : kPsapi) EXPECT_NE(nullptr, Export("psapi.dll", name)) << name;
    for (const char* name : kToolhelp) EXPECT_NE(nullptr, Export("kernel32.dll", name)) << name;
}

TEST_F(ProcessKillNt, ReadsModulePathsAndPausesOnlyAfterSuccess)
{
    DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");
    sim::ProcessSpec stubborn;
    stubborn.exeFile = stubborn.modulePath = "C:\\Apps\\iexplore.exe";
    stubborn.canTerminate = false;
    DWORD survivor = sim::AddProcess(stubborn);

    KillProcessByName(L"iexplore.exe", kTrue);

    EXPECT_FALSE(sim::IsRunning(ie));
    EXPECT_TRUE(sim::IsRunning(survivor));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000}));
    EXPECT_EQ(fakeui::PumpCount(), 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, TheModulePathCountsNotTheSnapshotName)
{
    sim::ProcessSpec spec;
    spec.exeFile = "innocent.exe";
    spec.modulePath = "C:\\Hidden\\payload.exe";
    DWORD hidden = sim::AddProcess(spec);

    KillProcessByName(L"innocent.exe", kTrue);
    EXPECT_TRUE(sim::IsRunning(hidden));

    KillProcessByName(L"payload.exe", kTrue);
    EXPECT_FALSE(sim::IsRunning(hidden));
}

TEST_F(ProcessKillNt, SkipsWhatCannotBeOpenedListedOrNamed)
{
    sim::ProcessSpec spec;
    spec.exeFile = spec.modulePath = "C:\\Apps\\target.exe";
    spec.canOpen = false;
    DWORD unopened = sim::AddProcess(spec);
    spec.canOpen = true;
    spec.canEnumModules = false;
    DWORD unlisted = sim::AddProcess(spec);
    spec.canEnumModules = true;
    spec.modulePath = "";
    DWORD unnamed = sim::AddProcess(spec);
    spec.modulePath = "C:\\Apps\\target.exe";
    DWORD reachable = sim::AddProcess(spec);

    KillProcessByName(L"target.exe", kTrue);

    EXPECT_TRUE(sim::IsRunning(unopened));
    EXPECT_TRUE(sim::IsRunning(unlisted));
    EXPECT_TRUE(sim::IsRunning(unnamed));
    EXPECT_FALSE(sim::IsRunning(reachable));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, KillAllFalseStopsAfterTheFirstMatch)
{
    DWORD first = sim::AddProcess("C:\\Apps\\twin.exe");
    DWORD second = sim::AddProcess("D:\\Apps\\twin.exe");

    KillProcessByName(L"TWIN.EXE", kFalse);

    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{first}));
    EXPECT_TRUE(sim::IsRunning(second));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, MatchesTheFileNameNeverAPartOfThePath)
{
    sim::ProcessSpec helper;
    helper.exeFile = "helper.exe";
    helper.modulePath = "\\??\\C:\\Evil Corp\\helper.exe";
    ExpectOnlyTheFileNameToMatch(helper, ExplorerId());
}

TEST_F(ProcessKillNt, KernelPathsAreNamedByTheirLastPart)
{
    sim::ProcessSpec spec;
    spec.exeFile = "smss.exe";
    spec.modulePath = "\\SystemRoot\\System32\\smss.exe";
    DWORD smss = sim::AddProcess(spec);
    spec.exeFile = "tool.exe";
    spec.modulePath = "\\??\\tool.exe";
    DWORD tool = sim::AddProcess(spec);
    spec.exeFile = "svc.exe";
    spec.modulePath = "%SystemRoot%\\system32\\svc.exe";
    DWORD svc = sim::AddProcess(spec);

    KillProcessByName(L"SMSS.EXE", kTrue);
    KillProcessByName(L"svc.exe", kTrue);
    KillProcessByName(L"??\\tool.exe", kTrue);
    KillProcessByName(L"tool.exe", kTrue);
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{smss, svc, tool}));
}

TEST_F(ProcessKillNt, ExaminesTheFirst1024IdentifiersFirstIncluded)
{
    for (int i = 0; i < 1100; ++i) sim::AddProcess("C:\\Farm\\worker.exe");

    std::vector<DWORD> ids(2048);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids.data(), 1024 * sizeof(DWORD), &bytes));
    ASSERT_EQ(bytes, 1024u * sizeof(DWORD));
    ids.resize(1024);
    const DWORD self = sim::SelfProcessId();

    KillProcessByName(L"worker.exe", kTrue);
    KillProcessByName(L"explorer.exe", kTrue);

    size_t expected = 0;
    for (DWORD id : ids)
        if (id != self) {
            EXPECT_TRUE(Terminated(id)) << "identifier " << id;
            ++expected;
        }
    EXPECT_EQ(sim::TerminatedProcesses().size(), expected);
    EXPECT_TRUE(sim::IsRunning(self));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillNt, SparesTheProgramItself)
{
    DWORD namesake = sim::AddProcess("C:\\Downloads\\Grevlin.exe");

    KillProcessByName(L"GREVLIN.EXE", kTrue);

    EXPECT_TRUE(sim::IsRunning(sim::SelfProcessId()));
    EXPECT_FALSE(sim::IsRunning(namesake));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000}));
}

TEST_F(ProcessKillNt, AnEmptyTargetEndsNothing)
{
    KillProcessByName(L"", kTrue);
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    KillProcessByName(L"", kTrue);

    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
}

// Windows 7 SP1, 64-bit: 64-bit processes do not show their modules to this
// 32-bit program, but name their image to kernel32's query.
class ProcessKillVista : public Machine {
protected:
    void SetUp() override
    {
        Machine::SetUp();
        sim::SetPlatform(sim::Family::Nt, 6, 1, 7601);
    }

    static DWORD Add64Bit(const std::string& path)
    {
        sim::ProcessSpec spec;
        spec.exeFile = path.substr(path.rfind('\\') + 1);
        spec.modulePath = path;
        spec.canEnumModules = false;
        return sim::AddProcess(spec);
    }
};

TEST_F(ProcessKillVista, ProcessesWithUnreadableModulesAreNamedByTheirImage)
{
    DWORD ie = Add64Bit("C:\\Program Files\\Internet Explorer\\iexplore.exe");
    DWORD shell = Add64Bit("C:\\Windows\\explorer.exe");
    DWORD word = Add64Bit("C:\\Program Files\\Office\\winword.exe");
    // Elevated or protected: no full query, at most the image name and the end.
    sim::ProcessSpec guarded;
    guarded.exeFile = guarded.modulePath = "C:\\Program Files (x86)\\iexplore.exe";
    guarded.grantedRights = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE;
    DWORD ieGuarded = sim::AddProcess(guarded);
    guarded.grantedRights = PROCESS_QUERY_LIMITED_INFORMATION;
    DWORD ieSealed = sim::AddProcess(guarded);

    EXPECT_EQ(KillProcessByName(L"iexplore.exe", kTrue), 2);
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{ie, ieGuarded}));
    EXPECT_TRUE(sim::IsRunning(ieSealed));
    EXPECT_TRUE(sim::IsRunning(word));
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{1000, 1000}));
    EXPECT_EQ(gExplorerEnded, kFalse);

    // The fresh machine's 32-bit shell by its modules, the 64-bit one by its image.
    EXPECT_EQ(KillProcessByName(L"explorer.exe", kTrue), 2);
    EXPECT_FALSE(sim::IsRunning(shell));
    EXPECT_EQ(gExplorerEnded, kTrue);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProcessKillVista, WithoutTheImageQueryUnreadableProcessesAreSkipped)
{
    DWORD first = Add64Bit("C:\\Apps\\twin.exe");
    DWORD second = sim::AddProcess("D:\\Apps\\twin.exe");
    sim::SetEntryPointPresent("kernel32.dll", "QueryFullProcessImageNameW", false);

    EXPECT_EQ(KillProcessByName(L"twin.exe", kFalse), 1);
    EXPECT_EQ(sim::TerminatedProcesses(), (std::vector<DWORD>{second}));

    // With the query, the first match in the walk's order is the 64-bit one.
    sim::SetEntryPointPresent("kernel32.dll", "QueryFullProcessImageNameW", true);
    EXPECT_EQ(KillProcessByName(L"twin.exe", kFalse), 1);
    EXPECT_FALSE(sim::IsRunning(first));
}

TEST_F(ProcessKillNt, TheShellStartsOnlyFromTheWindowsFolder)
{
    // Where a search by bare name would look first.
    sim::AddFile("C:\\Program Files\\Grevlin\\explorer.exe", "MZ planted");
    StartShell();
    EXPECT_TRUE(sim::StartedPrograms().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);

    // Windows installed at the root of a drive.
    sim::SetWindowsDir("D:\\");
    sim::AddFile("D:\\explorer.exe", "MZ");
    StartShell();
    ASSERT_EQ(sim::StartedPrograms().size(), 1u);
    EXPECT_EQ(sim::StartedPrograms()[0].module, "D:\\explorer.exe");
    EXPECT_EQ(sim::StartedPrograms()[0].currentFolder, "D:\\");
}

}  // namespace
