// A recorder in place of the windows: it keeps every line, status text and
// message box, answers the boxes from a script and can act inside a pump.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "session/ui.h"

namespace fakeui {

struct Box {
    std::wstring title;
    std::wstring prompt;
    ui::Buttons buttons;
    ui::Icon icon;
    ui::Answer defaultAnswer;
};

// What the program did, in order: "line", "status", "box", "close-main",
// "show-about", "end", "abort-button", "scan-button".
struct Event {
    std::string kind;
    std::wstring text;
};

// Thrown by ui::EndProgram so that a test sees where the program would end.
struct ProgramEnded {};

void Reset();
const std::vector<std::wstring>& Lines();
const std::vector<std::wstring>& Statuses();
const std::vector<Box>& Boxes();
const std::vector<Event>& Events();
int PumpCount();
bool MainWindowClosed();
bool AboutWindowShown();
bool AbortButtonShown();

// Answers for the next boxes, in order; a box without a scripted answer gets
// its default button.
void QueueAnswer(ui::Answer answer);
// Runs inside every pump (after `afterPumps` pumps have passed without it).
void SetPumpHook(std::function<void()> hook, int afterPumps = 0);

}  // namespace fakeui
