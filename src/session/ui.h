// What the program's logic needs from its windows: the activity list, the
// status line, message boxes, the message pump, and the hand-over at the end
// of a scan. Grevlin.exe implements it with real windows (forms/ui_win32.cpp),
// the tests with a recorder (tests/support/fake_ui.cpp), the benchmarks and
// fuzz targets with nothing (session/silent). The activity list and the
// pump's spacing are the program's own (activity.cpp, message_pump.cpp).
#pragma once

#include <string>

namespace ui {

enum class Buttons { Ok, YesNo };
enum class Icon { Information, Question, Error };
enum class Answer { Ok, Yes, No };

// The activity list: the line is kept for the log (session/activity.h) and
// shown at the end of lstMain, which does not scroll to it.
void AddLine(const std::wstring& text);
// lstMain itself: show one more line at its end (what AddLine asks of the window).
void ShowLine(const std::wstring& text);

// cmdScan / cmdAbort share one rectangle: show one, hide the other.
void ShowAbortButton(bool scanRunning);

// lblScanning: replace the whole status text.
void SetStatus(const std::wstring& text);

// An application-modal message box. `defaultAnswer` is the default button.
Answer ShowMessage(const std::wstring& title, const std::wstring& prompt, Buttons buttons,
                   Icon icon, Answer defaultAnswer);

// Process pending window messages (the long loops call this); "Abort Removal"
// and closing the main window are handled in here and only set gAbort.
// At most once every 10 ms by GetTickCount: a call that comes sooner after the
// last pump that ran returns at once.
void PumpMessages();
// The pump itself, every time it is called (what PumpMessages runs when due).
void ProcessPendingMessages();
// Forget when the last pump ran, so that the next call pumps (for tests).
void ResetPumpClock();

// End of a scan: close frmMain for good, then show frmAbout without an owner
// and without waiting for it.
void CloseMainWindow();
void ShowAboutWindow();

// End the program at once, without further window events.
[[noreturn]] void EndProgram();

}  // namespace ui
