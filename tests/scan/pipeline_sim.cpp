// Whole scans on the simulated machine: the activity list, the questions and
// boxes, the shell restart and the hand-over to the About window.
#include <new>
#include <string>
#include <vector>

#include "environment/text.h"
#include "platform/win32.h"
#include "scan/activity_log.h"
#include "scan/pipeline.h"
#include "scan/sim_scan_fixture.h"

namespace {

using simscan::Machine;
using simscan::W;

const std::wstring kSeparator(61, L'-');
const std::wstring kCompleted = L"Scan was COMPLETED SUCCESSFULLY at ";
const std::wstring kCompletedWithErrors = L"Scan was COMPLETED WITH ERRORS at ";
const std::wstring kAborted = L"Scan was ABORTED at ";
const std::wstring kResetPrompt =
    L"It appears a CWS infection has been found on your PC. Would you like to reset your "
    L"internet explorer settings? This will also remove all files from the Temp folder.";
const std::wstring kSuccessPrompt =
    L"Internet Explorer settings were reset succesfully! Temporary folder cleaned.";
const std::wstring kRestartPrompt =
    L"You must immediately restart your computer, please do so now! Do not start Internet "
    L"Explorer, it will cause immediate reinfection!";
const std::wstring kCloseIePrompt =
    L"Grevlin will now shut down all Internet Explorer windows. If you wish to continue, please "
    L"select yes. If you would like to exit and do this yourself, please select no and restart "
    L"Grevlin.";

std::wstring Formatted(bool date)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char buffer[128] = {};
    int length = date ? GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr,
                                       buffer, sizeof(buffer))
                      : GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, buffer,
                                       sizeof(buffer));
    return length > 1 ? W(std::string(buffer, length - 1)) : std::wstring();
}

const fakeui::Box* FindBox(const std::wstring& title)
{
    for (const auto& box : fakeui::Boxes())
        if (box.title == title) return &box;
    return nullptr;
}

class Pipeline : public Machine {
protected:
    void SetUp() override
    {
        Machine::SetUp();
        startDate = Formatted(true);
        startTime = Formatted(false);
    }

    std::wstring startDate;
    std::wstring startTime;

    // The lines between the separators number `first` and `first + 1` (from 0).
    static std::vector<std::wstring> Section(int first)
    {
        std::vector<std::wstring> section;
        int seen = -1;
        for (const auto& line : fakeui::Lines()) {
            if (line == kSeparator) {
                ++seen;
                continue;
            }
            if (seen == first) section.push_back(line);
        }
        return section;
    }
};

TEST_F(Pipeline, ACleanMachineGivesTheFullFixedListAndNoQuestion)
{
    sim::SetVolume(sim::Fat32());
    ASSERT_NE(startTime.find(L"12:00:00"), std::wstring::npos) << "time with seconds";
    ASSERT_NE(startDate.find(L"2006"), std::wstring::npos);

    RunRemoval();

    const std::wstring closing = kCompleted + Formatted(false);
    const std::vector<std::wstring> expected = {
        L"Grevlin 6.05",
        L"Scan started on [" + startDate + L"] at [" + startTime + L"]",
        kSeparator,
        L"Internet Explorer Instances Terminated!",
        L"HomeSearch Service stopped if present",
        kSeparator,
        L"Streams(ADS) not scanned: System not NTFS",
        kSeparator,
        L"No Files Found!",
        kSeparator,
        closing,
    };
    EXPECT_EQ(fakeui::Lines(), expected);

    ASSERT_EQ(fakeui::Boxes().size(), 1u);
    const fakeui::Box& summary = fakeui::Boxes()[0];
    EXPECT_EQ(summary.title, L"Scan Completed");
    EXPECT_EQ(summary.prompt, closing);
    EXPECT_EQ(summary.buttons, ui::Buttons::Ok);
    EXPECT_EQ(summary.icon, ui::Icon::Information);

    std::wstring log;
    for (const auto& line : expected) log += line + L"\r\n";
    EXPECT_EQ(gLogText, log);
    EXPECT_EQ(EventKinds().back(), "show-about");
    EXPECT_TRUE(fakeui::MainWindowClosed());
    EXPECT_TRUE(sim::StartedPrograms().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(Pipeline, OnNtfsTheStreamStageStandsBetweenTheSeparators)
{
    RunRemoval();

    EXPECT_EQ(Section(1), (std::vector<std::wstring>{L"No Ads Found!"}));
    EXPECT_FALSE(HasLine(L"Streams(ADS) not scanned: System not NTFS"));
    EXPECT_EQ(Section(2), (std::vector<std::wstring>{L"No Files Found!"}));
}

TEST_F(Pipeline, InfectedFilesAreRemovedReportedAndTheResetRuns)
{
    sim::AddFile("C:\\WINDOWS\\evil.exe", simscan::ProbeInfected());
    sim::AddFile("C:\\WINDOWS\\system32\\crcbad.dll", simscan::DigestInfected());
    sim::AddFile("C:\\WINDOWS\\system32\\clean.dll", std::string(28160, 'c'));
    sim::AddFile(std::string(simscan::kTemp) + "junk.tmp", "x");

    RunRemoval();

    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\evil.exe"));
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\system32\\crcbad.dll"));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\system32\\clean.dll"));
    EXPECT_FALSE(sim::FileExists(std::string(simscan::kTemp) + "junk.tmp"));
    EXPECT_EQ(Section(2), (std::vector<std::wstring>{
                              L"Removed File! : C:\\WINDOWS\\evil.exe",
                              L"Removed File! : C:\\WINDOWS\\system32\\crcbad.dll"}));
    EXPECT_EQ(gFilesFound, 2);
    EXPECT_EQ(Section(3), (std::vector<std::wstring>{L"Removed Temp Files",
                                                     L"Internet Explorer Settings Reset!"}));

    ASSERT_EQ(fakeui::Boxes().size(), 3u);
    const fakeui::Box& question = fakeui::Boxes()[0];
    EXPECT_EQ(question.title, L"Reset Internet Settings");
    EXPECT_EQ(question.prompt, kResetPrompt);
    EXPECT_EQ(question.buttons, ui::Buttons::YesNo);
    EXPECT_EQ(question.icon, ui::Icon::Question);
    EXPECT_EQ(question.defaultAnswer, ui::Answer::Yes);
    const fakeui::Box& success = fakeui::Boxes()[1];
    EXPECT_EQ(success.title, L"Success!");
    EXPECT_EQ(success.prompt, kSuccessPrompt);
    EXPECT_EQ(success.buttons, ui::Buttons::Ok);
    EXPECT_EQ(success.icon, ui::Icon::Information);
    EXPECT_EQ(fakeui::Boxes()[2].title, L"Scan Completed");
}

TEST_F(Pipeline, NoToTheResetQuestionLeavesTheTemporaryFolderAlone)
{
    sim::AddFile("C:\\WINDOWS\\evil.exe", simscan::ProbeInfected());
    sim::AddFile(std::string(simscan::kTemp) + "junk.tmp", "x");
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_TRUE(sim::FileExists(std::string(simscan::kTemp) + "junk.tmp"));
    EXPECT_FALSE(HasLine(L"Removed Temp Files"));
    EXPECT_FALSE(HasLine(L"Internet Explorer Settings Reset!"));
    EXPECT_EQ(FindBox(L"Success!"), nullptr);
    ASSERT_NE(FindBox(L"Reset Internet Settings"), nullptr);
    EXPECT_EQ(fakeui::Lines().size(), 11u);
}

TEST_F(Pipeline, InfectedStreamsAloneStillAskForTheReset)
{
    sim::AddFile("C:\\WINDOWS\\notes.txt", "plain text");
    sim::AddStream("C:\\WINDOWS\\notes.txt", "payload", simscan::ProbeInfected());
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_GT(gStreamsFound, 0);
    EXPECT_TRUE(HasLine(L"No Files Found!"));
    EXPECT_NE(FindBox(L"Reset Internet Settings"), nullptr);
}

class PipelineShell : public Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        sim::AddFile(simscan::kExplorer, "MZ");
        // Where a start by bare name would look first.
        sim::AddFile("C:\\Program Files\\Grevlin\\explorer.exe", "MZ planted");
        sim::SetCallHook([this](const char* function) {
            if (std::string(function) == "CreateProcessA") linesAtRestart = fakeui::Lines().size();
        });
    }

    // The shell started once, from the Windows folder, minimised, its handles closed.
    void ExpectTheShellRestarted() const
    {
        ASSERT_EQ(sim::StartedPrograms().size(), 1u);
        const sim::StartedProgram shell = sim::StartedPrograms()[0];
        EXPECT_EQ(shell.module, simscan::kExplorer);
        EXPECT_EQ(shell.currentFolder, simscan::kWindows);
        EXPECT_EQ(shell.show, static_cast<UINT>(SW_SHOWMINIMIZED));
        EXPECT_TRUE(sim::IsRunning(shell.processId));
        EXPECT_FALSE(sim::IsRunning(ExplorerId()));
        EXPECT_EQ(sim::OpenHandles(), 0);
        // After the reset step, before the separator and the closing line.
        EXPECT_EQ(linesAtRestart, fakeui::Lines().size() - 2);
    }

    size_t linesAtRestart = 0;
};

TEST_F(PipelineShell, ALockedFileIsReportedAndTheShellComesBackBeforeTheClosingLine)
{
    sim::AddFile("C:\\WINDOWS\\stuck.dll", simscan::ProbeInfected());
    // Readable, so the matcher sees it, but not deletable; the shell has it loaded.
    sim::LoadModule(ExplorerId(), "C:\\WINDOWS\\stuck.dll");
    LockForGood("C:\\WINDOWS\\stuck.dll", FILE_SHARE_READ);
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_EQ(Section(2),
              (std::vector<std::wstring>{L"Error Removing ! : C:\\WINDOWS\\stuck.dll"}));
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_EQ(gExplorerKilled, kTrue);
    ExpectTheShellRestarted();
}

TEST_F(PipelineShell, AShellThatHadATemporaryLibraryLoadedComesBackToo)
{
    sim::AddFile("C:\\WINDOWS\\evil.exe", simscan::ProbeInfected());
    const std::string hook = std::string(simscan::kTemp) + "hook.tmp";
    sim::AddFile(hook, "MZ");
    sim::LoadModule(ExplorerId(), hook);
    sim::HoldFile(ExplorerId(), hook, FILE_SHARE_READ);

    RunRemoval();

    EXPECT_FALSE(sim::FileExists(hook));
    ExpectTheShellRestarted();
}

TEST_F(PipelineShell, AShellThatWasNotEndedIsNotStartedAgain)
{
    sim::AddFile("C:\\WINDOWS\\stuck.exe", simscan::ProbeInfected());
    LockForGood("C:\\WINDOWS\\stuck.exe", FILE_SHARE_READ);
    // A downloaded copy of the shell's file in the temporary folder: a file, not the shell.
    sim::AddFile(std::string(simscan::kTemp) + "explorer.exe", "MZ");

    RunRemoval();

    EXPECT_TRUE(HasLine(L"Error Removing ! : C:\\WINDOWS\\stuck.exe"));
    EXPECT_FALSE(sim::FileExists(std::string(simscan::kTemp) + "explorer.exe"));
    EXPECT_TRUE(sim::IsRunning(ExplorerId()));
    EXPECT_EQ(gExplorerKilled, kFalse);
    EXPECT_EQ(gExplorerEnded, kFalse);
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(Pipeline, ALockedTempSeDllIsScheduledAndTheRestartWarningComesLast)
{
    const std::string seDll = std::string(simscan::kTemp) + "se.dll";
    sim::AddFile(seDll, "MZ");
    LockForGood(seDll, 0);
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_TRUE(HasLine(L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot)"));
    EXPECT_EQ(sim::PendingDeletes(), (std::vector<std::string>{sim::ShortPath(seDll)}));
    EXPECT_EQ(gRebootNeeded, kTrue);

    std::vector<std::string> tail;
    for (const auto& event : fakeui::Events())
        if (event.kind != "line" && event.kind != "status") tail.push_back(event.kind);
    ASSERT_GE(tail.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(tail.end() - 4, tail.end()),
              (std::vector<std::string>{"box", "close-main", "show-about", "box"}));
    const fakeui::Box& warning = fakeui::Boxes().back();
    EXPECT_EQ(warning.title, L"Please restart computer");
    EXPECT_EQ(warning.prompt, kRestartPrompt);
    EXPECT_EQ(warning.buttons, ui::Buttons::Ok);
    EXPECT_EQ(warning.icon, ui::Icon::Error);
    EXPECT_EQ(fakeui::Boxes()[fakeui::Boxes().size() - 2].title, L"Scan Completed");
}

TEST_F(Pipeline, ALockedSeDllThatCannotBeScheduledBringsNoRestartWarning)
{
    const std::string seDll = std::string(simscan::kTemp) + "se.dll";
    sim::AddFile(seDll, "MZ");
    LockForGood(seDll, 0);
    sim::RefuseRestartDeletions(true);
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_TRUE(HasLine(L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot could not be scheduled)"));
    EXPECT_FALSE(HasLine(L"Error Removing ! : Temp Folder\\Se.dll (Removal on reboot)"));
    EXPECT_EQ(FindBox(L"Please restart computer"), nullptr);
    EXPECT_EQ(fakeui::Boxes().back().title, L"Scan Completed");
}

TEST_F(Pipeline, OnWindows9xALockedSeDllGoesToWinInit)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::SetVolume(sim::Fat32());
    const std::string seDll = std::string(simscan::kTemp) + "se.dll";
    sim::AddFile(seDll, "MZ");
    LockForGood(seDll, 0);
    fakeui::QueueAnswer(ui::Answer::No);

    RunRemoval();

    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\WinInit.ini"),
              "[Rename]\r\nNUL=" + sim::ShortPath(seDll) + "\r\n");
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(fakeui::Boxes().back().title, L"Please restart computer");
}

TEST_F(Pipeline, AnAbortDuringTheWalkEndsItButTheLaterStagesRun)
{
    sim::AddFile("C:\\WINDOWS\\a.txt", "clean");
    sim::AddFile("C:\\WINDOWS\\b.txt", "clean");
    sim::AddFile("C:\\WINDOWS\\warnhp.html", "<html>");
    sim::AddFile("C:\\WINDOWS\\system32\\late.exe", simscan::ProbeInfected());
    fakeui::QueueAnswer(ui::Answer::No);
    sim::SetCallHook([](const char* function) {
        const auto& statuses = fakeui::Statuses();
        if (std::string(function) == "FindFirstFileW" && !statuses.empty() &&
            statuses.back() == L"Scanning File locations...") {
            // The click arrives 10 ms into the walk, when the next pump is due.
            fakeui::SetPumpHook([] { gAbort = kTrue; });
            sim::AdvanceMs(10);
        }
    });

    RunRemoval();

    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\system32\\late.exe"));
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\warnhp.html"));
    EXPECT_NE(FindBox(L"Reset Internet Settings"), nullptr);
    const std::wstring closing = fakeui::Lines().back();
    EXPECT_EQ(closing.rfind(kAborted, 0), 0u) << "closing line";
    EXPECT_EQ(closing.size(), kAborted.size() + Formatted(false).size());
    const fakeui::Box* summary = FindBox(L"Scan Aborted");
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->prompt.rfind(kAborted, 0), 0u);
    EXPECT_EQ(FindBox(L"Scan Completed"), nullptr);
}

TEST_F(Pipeline, AnAbortAfterTheWalksChangesOnlyTheClosing)
{
    sim::SetVolume(sim::Fat32());
    // The next stage also stops early: an abort is still told as an abort.
    sim::SetCallHook([](const char* function) {
        (void)function;
        if (!fakeui::Lines().empty() && fakeui::Lines().back() == L"No Files Found!") {
            gAbort = kTrue;
            throw std::bad_alloc();
        }
    });

    RunRemoval();

    EXPECT_EQ(fakeui::Lines().size(), 12u);
    EXPECT_EQ(fakeui::Lines()[9], L"Error! Desktop component removal stopped early (out of memory)");
    EXPECT_EQ(fakeui::Lines().back(), kAborted + Formatted(false));
    ASSERT_EQ(fakeui::Boxes().size(), 1u);
    EXPECT_EQ(fakeui::Boxes()[0].title, L"Scan Aborted");
    EXPECT_EQ(gLogText.substr(gLogText.size() - kAborted.size() - Formatted(false).size() - 2),
              kAborted + Formatted(false) + L"\r\n");
}

TEST_F(Pipeline, ARefusedTemporaryFolderIsReportedAndNotClaimedAsCleaned)
{
    sim::SetTempDir("C:\\");
    sim::AddFile("C:\\boot.ini", "[boot loader]");
    sim::AddFile("C:\\WINDOWS\\evil.exe", simscan::ProbeInfected());

    RunRemoval();

    EXPECT_TRUE(sim::FileExists("C:\\boot.ini"));
    EXPECT_EQ(Section(3),
              (std::vector<std::wstring>{L"Temp Files not removed! Not a temporary folder: C:\\",
                                         L"Internet Explorer Settings Reset!"}));
    ASSERT_NE(FindBox(L"Success!"), nullptr);
    EXPECT_EQ(FindBox(L"Success!")->prompt, L"Internet Explorer settings were reset succesfully!");
}

// Every Win32 call a stage makes fails once with std::bad_alloc, in turn; not
// the closing calls of destructors, nor the driver's own clock calls.
TEST_F(Pipeline, AStageThatRunsOutOfMemoryIsReportedAndTheScanStillEnds)
{
    auto mayThrow = [](const std::string& function) {
        for (const char* spared : {"CloseHandle", "FindClose", "RegCloseKey", "CloseServiceHandle",
                                   "FreeLibrary", "_lclose", "SetFileAttributesA", "GetLocalTime",
                                   "GetDateFormatA", "GetTimeFormatA"})
            if (function == spared) return false;
        return true;
    };
    for (const bool nt : {true, false}) {
        // Every stage has work: a browser, a service, a stream, files, a locked
        // se.dll, a temporary file, a component, a filter.
        auto arrange = [&] {
            if (!nt) sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
            sim::AddProcess("C:\\Program Files\\Internet Explorer\\iexplore.exe");
            sim::AddService({"HomeSearch"});
            sim::AddFile("C:\\WINDOWS\\notes.txt", "plain text");
            sim::AddStream("C:\\WINDOWS\\notes.txt", "payload", simscan::ProbeInfected());
            sim::AddFile("C:\\WINDOWS\\evil.exe", simscan::ProbeInfected());
            sim::AddFile(std::string(simscan::kTemp) + "se.dll", "MZ");
            LockForGood(std::string(simscan::kTemp) + "se.dll", 0);
            sim::AddFile(std::string(simscan::kTemp) + "junk.tmp", "x");
            sim::SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0",
                           "FriendlyName", "Warning homepage");
            sim::AddKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\PROTOCOLS\\Filter\\text/html");
        };
        TearDown();
        SetUp();
        int calls = 0;
        arrange();
        sim::SetCallHook([&](const char* function) { calls += mayThrow(function); });
        StartScan();
        ASSERT_GT(calls, 100);

        for (int failing = 1; failing <= calls; ++failing) {
            TearDown();
            SetUp();
            arrange();
            int seen = 0;
            sim::SetCallHook([&](const char* function) {
                if (mayThrow(function) && ++seen == failing) throw std::bad_alloc();
            });
            SCOPED_TRACE((nt ? "NT, call " : "9x, call ") + std::to_string(failing));

            ASSERT_NO_THROW(StartScan());

            int reports = 0;
            std::wstring log;
            for (const auto& line : fakeui::Lines()) {
                reports += line.rfind(L"Error! ", 0) == 0 && EndsWith(line, L" stopped early (out of memory)");
                log += line + L"\r\n";
            }
            EXPECT_EQ(reports, 1);
            // The scan ran to its end, but it does not claim success.
            EXPECT_EQ(fakeui::Lines().back().rfind(kCompletedWithErrors, 0), 0u) << fakeui::Lines().back();
            const fakeui::Box* summary = FindBox(L"Scan Completed");
            ASSERT_NE(summary, nullptr);
            EXPECT_EQ(summary->prompt.rfind(kCompletedWithErrors, 0), 0u) << summary->prompt;
            EXPECT_EQ(gLogText, log);
            EXPECT_TRUE(fakeui::AboutWindowShown());
            EXPECT_EQ(sim::OpenHandles(), 0);
        }
    }
}

TEST_F(Pipeline, StartScanClosesInternetExplorerAndRunsTheScan)
{
    sim::SetVolume(sim::Fat32());
    DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");
    gAbort = kTrue;  // left over from nothing: a new scan starts unaborted

    StartScan();

    EXPECT_FALSE(sim::IsRunning(ie));
    ASSERT_FALSE(fakeui::Boxes().empty());
    const fakeui::Box& question = fakeui::Boxes()[0];
    EXPECT_EQ(question.title, L"Shut down Internet Explorer");
    EXPECT_EQ(question.prompt, kCloseIePrompt);
    EXPECT_EQ(question.buttons, ui::Buttons::YesNo);
    EXPECT_EQ(question.icon, ui::Icon::Information);
    EXPECT_EQ(question.defaultAnswer, ui::Answer::Yes);
    const auto kinds = EventKinds();
    EXPECT_EQ(kinds.front(), "abort-button");
    EXPECT_EQ(kinds[1], "box");
    EXPECT_EQ(kinds.back(), "scan-button");
    EXPECT_EQ(fakeui::Lines().front(), L"Grevlin 6.05");
    EXPECT_EQ(fakeui::Lines().back().rfind(kCompleted, 0), 0u);
}

TEST_F(Pipeline, NoToTheInternetExplorerQuestionEndsAtOnce)
{
    DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");
    fakeui::QueueAnswer(ui::Answer::No);

    EXPECT_THROW(StartScan(), fakeui::ProgramEnded);

    EXPECT_TRUE(sim::IsRunning(ie));
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(EventKinds(), (std::vector<std::string>{"abort-button", "box", "end"}));
    EXPECT_FALSE(sim::FileExists(platform::ToAnsi(LogFilePath())));
    EXPECT_TRUE(gLogText.empty());
}

}  // namespace
