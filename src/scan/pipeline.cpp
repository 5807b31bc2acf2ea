#include "scan/pipeline.h"

#include <new>
#include <string>

#include "detection/file_locations.h"
#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "registry/filters_components.h"
#include "registry/ie_reset.h"
#include "removal/process_kill.h"
#include "removal/services.h"
#include "removal/shell.h"
#include "scan/activity_log.h"
#include "scan/version.h"
#include "session/shared_state.h"
#include "session/ui.h"
#include "streams/stream_stage.h"

namespace {

const wchar_t kTitleLine[] = L"" GREVLIN_TITLE;
const wchar_t kSeparator[] = L"-------------------------------------------------------------";
static_assert(sizeof(kSeparator) / sizeof(kSeparator[0]) == 62, "61 hyphens");

const wchar_t kCompletedText[] = L"Scan was COMPLETED SUCCESSFULLY at ";
// After a stage that stopped early: the scan ran to its end, but not all of it succeeded.
const wchar_t kCompletedWithErrorsText[] = L"Scan was COMPLETED WITH ERRORS at ";
const wchar_t kAbortedText[] = L"Scan was ABORTED at ";

const wchar_t kCloseIeTitle[] = L"Shut down Internet Explorer";
const wchar_t kCloseIePrompt[] =
    L"Grevlin will now shut down all Internet Explorer windows. If you wish to continue, please "
    L"select yes. If you would like to exit and do this yourself, please select no and restart "
    L"Grevlin.";
const wchar_t kResetTitle[] = L"Reset Internet Settings";
const wchar_t kResetPrompt[] =
    L"It appears a CWS infection has been found on your PC. Would you like to reset your "
    L"internet explorer settings? This will also remove all files from the Temp folder.";
const wchar_t kResetDoneTitle[] = L"Success!";
const wchar_t kResetDonePrompt[] =
    L"Internet Explorer settings were reset succesfully! Temporary folder cleaned.";
// The same without the cleaning, when the temporary folder was left alone.
const wchar_t kResetOnlyPrompt[] = L"Internet Explorer settings were reset succesfully!";
const wchar_t kRestartTitle[] = L"Please restart computer";
const wchar_t kRestartPrompt[] =
    L"You must immediately restart your computer, please do so now! Do not start Internet "
    L"Explorer, it will cause immediate reinfection!";

constexpr int kFormatBufferSize = 128;

// The return value counts the terminating NUL; 0 is a failure.
std::wstring FromFormatted(const char* buffer, int length)
{
    if (length <= 1) return std::wstring();
    return platform::FromAnsi(buffer, static_cast<size_t>(length - 1));
}

std::wstring ShortDate(const SYSTEMTIME& moment)
{
    char buffer[kFormatBufferSize] = {};
    return FromFormatted(buffer, GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &moment,
                                                nullptr, buffer, kFormatBufferSize));
}

// The user's time format, which carries the seconds.
std::wstring TimeOfDay(const SYSTEMTIME& moment)
{
    char buffer[kFormatBufferSize] = {};
    return FromFormatted(
        buffer, GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &moment, nullptr, buffer, kFormatBufferSize));
}

std::wstring CurrentTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return TimeOfDay(now);
}

void ShowOk(const std::wstring& title, const std::wstring& prompt, ui::Icon icon)
{
    ui::ShowMessage(title, prompt, ui::Buttons::Ok, icon, ui::Answer::Ok);
}

// Whether a stage of the scan under way stopped early.
bool stageStoppedEarly = false;

// A stage that throws (memory running out, say) is reported and the scan goes
// on to its closing line, log and About window. Nothing may leave the click
// handler: an exception that reaches the window procedure's system frames
// ends the program on the spot. Returns whether the stage ran to its end.
template <typename Stage>
bool RunStage(const wchar_t* what, Stage stage)
{
    const wchar_t* reason = L"unexpected error";
    try {
        stage();
        return true;
    } catch (const std::bad_alloc&) {
        reason = L"out of memory";
    } catch (...) {
    }
    stageStoppedEarly = true;
    try {
        ui::AddLine(std::wstring(L"Error! ") + what + L" stopped early (" + reason + L")");
    } catch (...) {
        // Not even the line fits; the closing line may still.
    }
    return false;
}

std::wstring ClosingText()
{
    if (gAbort != kFalse) return kAbortedText;
    return stageStoppedEarly ? kCompletedWithErrorsText : kCompletedText;
}

// The scan itself; a stage that stopped early before it (closing Internet
// Explorer) still counts for the closing line.
void RunScan()
{
    ui::AddLine(kTitleLine);
    SYSTEMTIME start;
    GetLocalTime(&start);
    ui::AddLine(L"Scan started on [" + ShortDate(start) + L"] at [" + TimeOfDay(start) + L"]");
    ui::AddLine(kSeparator);

    RunStage(L"Service stop", StopHijackerServices);
    ui::AddLine(L"Internet Explorer Instances Terminated!");
    ui::AddLine(L"HomeSearch Service stopped if present");
    ui::AddLine(kSeparator);

    RunStage(L"Stream scan", [] {
        if (IsSystemNtfs() == kTrue)
            ScanStreams();
        else
            ui::AddLine(L"Streams(ADS) not scanned: System not NTFS");
    });
    ui::AddLine(kSeparator);

    // A file stage cut short has not shown that there are no files.
    if (RunStage(L"File scan", ScanFileLocations) && gFilesFound == 0)
        ui::AddLine(L"No Files Found!");

    RunStage(L"Desktop component removal", RemoveDesktopComponents);
    RunStage(L"MIME filter removal", RemoveProtocolFilters);

    if (gStreamsFound > 0 || gFilesFound > 0) {
        const ui::Answer answer = ui::ShowMessage(kResetTitle, kResetPrompt, ui::Buttons::YesNo,
                                                  ui::Icon::Question, ui::Answer::Yes);
        if (answer == ui::Answer::Yes) {
            // The separator comes first so that what the two stages report
            // stands below it, with the lines of what was done.
            ui::AddLine(kSeparator);
            const bool reset = RunStage(L"Internet Explorer reset", ResetIeSettings);
            bool cleaned = false;
            RunStage(L"Temp folder cleaning", [&] { cleaned = CleanTempFolder(); });
            if (cleaned) ui::AddLine(L"Removed Temp Files");
            if (reset) {
                ui::AddLine(L"Internet Explorer Settings Reset!");
                ShowOk(kResetDoneTitle, cleaned ? kResetDonePrompt : kResetOnlyPrompt,
                       ui::Icon::Information);
            }
        }
    }

    // A removal ended the shell; the user gets the desktop back, minimised.
    if (gExplorerKilled == kTrue || gExplorerEnded == kTrue) RunStage(L"Shell restart", StartShell);

    ui::AddLine(kSeparator);
    ui::AddLine(ClosingText() + CurrentTime());
    RunStage(L"Log capture", CaptureListToLog);
    // Read again: the log capture may have stopped early too.
    ShowOk(gAbort != kFalse ? L"Scan Aborted" : L"Scan Completed", ClosingText() + CurrentTime(),
           ui::Icon::Information);

    ui::CloseMainWindow();
    ui::ShowAboutWindow();
    if (gRebootNeeded == kTrue) ShowOk(kRestartTitle, kRestartPrompt, ui::Icon::Error);
}

}  // namespace

void RunRemoval()
{
    stageStoppedEarly = false;
    RunScan();
}

void StartScan()
{
    gAbort = kFalse;
    stageStoppedEarly = false;
    ui::ShowAbortButton(true);
    const ui::Answer answer = ui::ShowMessage(kCloseIeTitle, kCloseIePrompt, ui::Buttons::YesNo,
                                              ui::Icon::Information, ui::Answer::Yes);
    if (answer == ui::Answer::No) ui::EndProgram();
    RunStage(L"Internet Explorer shutdown", [] { KillProcessByName(L"iexplore.exe", kTrue); });
    RunScan();
    ui::ShowAbortButton(false);
}
