#include "support/fake_ui.h"

#include "session/shared_state.h"

namespace fakeui {
namespace {

struct Recorder {
    std::vector<std::wstring> lines;
    std::vector<std::wstring> statuses;
    std::vector<Box> boxes;
    std::vector<Event> events;
    std::deque<ui::Answer> answers;
    std::function<void()> pumpHook;
    int hookAfter = 0;
    int pumps = 0;
    bool mainClosed = false;
    bool aboutShown = false;
    bool abortShown = false;
};

Recorder& R()
{
    static Recorder recorder;
    return recorder;
}

}  // namespace

void Reset()
{
    R() = Recorder();
    ui::ResetPumpClock();
}
const std::vector<std::wstring>& Lines() { return R().lines; }
const std::vector<std::wstring>& Statuses() { return R().statuses; }
const std::vector<Box>& Boxes() { return R().boxes; }
const std::vector<Event>& Events() { return R().events; }
int PumpCount() { return R().pumps; }
bool MainWindowClosed() { return R().mainClosed; }
bool AboutWindowShown() { return R().aboutShown; }
bool AbortButtonShown() { return R().abortShown; }
void QueueAnswer(ui::Answer answer) { R().answers.push_back(answer); }

void SetPumpHook(std::function<void()> hook, int afterPumps)
{
    R().pumpHook = std::move(hook);
    R().hookAfter = R().pumps + afterPumps;
}

}  // namespace fakeui

namespace ui {

using fakeui::R;

void ShowLine(const std::wstring& text)
{
    if (R().mainClosed) return;  // lstMain is gone with its window
    R().lines.push_back(text);
    R().events.push_back({"line", text});
}

void SetStatus(const std::wstring& text)
{
    R().statuses.push_back(text);
    R().events.push_back({"status", text});
}

void ShowAbortButton(bool scanRunning)
{
    R().abortShown = scanRunning;
    R().events.push_back({scanRunning ? "abort-button" : "scan-button", L""});
}

Answer ShowMessage(const std::wstring& title, const std::wstring& prompt, Buttons buttons,
                   Icon icon, Answer defaultAnswer)
{
    R().boxes.push_back({title, prompt, buttons, icon, defaultAnswer});
    R().events.push_back({"box", title});
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (R().answers.empty()) return defaultAnswer;
    Answer answer = R().answers.front();
    R().answers.pop_front();
    return answer;
}

void ProcessPendingMessages()
{
    ++R().pumps;
    if (R().pumpHook && R().pumps > R().hookAfter) {
        auto hook = R().pumpHook;
        R().pumpHook = nullptr;  // a hook acts once
        hook();
    }
}

void CloseMainWindow()
{
    gAbort = kTrue;  // the close handler's only effect
    R().mainClosed = true;
    R().events.push_back({"close-main", L""});
}

void ShowAboutWindow()
{
    R().aboutShown = true;
    R().events.push_back({"show-about", L""});
}

void EndProgram()
{
    R().events.push_back({"end", L""});
    throw fakeui::ProgramEnded{};
}

}  // namespace ui
