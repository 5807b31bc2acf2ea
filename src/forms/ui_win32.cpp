// The program's logic reaching its real windows.
#include "forms/frm_about.h"
#include "forms/frm_main.h"
#include "forms/message_loop.h"
#include "session/ui.h"

namespace {

// Tab and arrow keys move between the controls of either form.
bool IsFormNavigation(MSG& msg)
{
    HWND forms[] = {frmMain().Window(), frmAbout().Window()};
    for (HWND form : forms) {
        if (form && (msg.hwnd == form || IsChild(form, msg.hwnd)))
            return IsDialogMessageA(form, &msg) != FALSE;
    }
    return false;
}

// The forms' keyboard navigation first; every other message goes to its window.
void Dispatch(MSG& msg)
{
    if (IsFormNavigation(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

// The main window while it exists (even hidden during a scan), else the About window.
HWND MessageOwner()
{
    if (frmMain().Window()) return frmMain().Window();
    return frmAbout().Window();
}

}  // namespace

namespace ui {

void ShowLine(const std::wstring& text) { frmMain().ShowLine(text); }
void ShowAbortButton(bool scanRunning) { frmMain().ShowAbortButton(scanRunning); }
void SetStatus(const std::wstring& text) { frmMain().SetStatus(text); }

Answer ShowMessage(const std::wstring& title, const std::wstring& prompt, Buttons buttons,
                   Icon icon, Answer defaultAnswer)
{
    UINT style = MB_APPLMODAL;
    style |= buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
    case Icon::Information: style |= MB_ICONINFORMATION; break;
    case Icon::Question: style |= MB_ICONQUESTION; break;
    case Icon::Error: style |= MB_ICONERROR; break;
    }
    if (buttons == Buttons::YesNo && defaultAnswer == Answer::No) style |= MB_DEFBUTTON2;
    frmMain().DrawNewStatus();
    int result = MessageBoxA(MessageOwner(), platform::ToAnsi(prompt).c_str(),
                             platform::ToAnsi(title).c_str(), style);
    if (result == IDYES) return Answer::Yes;
    if (result == IDNO) return Answer::No;
    return Answer::Ok;
}

void ProcessPendingMessages()
{
    frmMain().DrawNewStatus();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the program's own message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

void CloseMainWindow() { frmMain().CloseForGood(); }
void ShowAboutWindow() { frmAbout().Show(); }

void EndProgram() { ExitProcess(0); }

// The program's message loop.
int RunMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
