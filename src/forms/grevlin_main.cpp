// Grevlin.exe: creating the main window is the whole start-up.
#include "forms/frm_main.h"
#include "forms/message_loop.h"
#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    platform::LoadCommonControls(ICC_TAB_CLASSES | ICC_WIN95_CLASSES);

    if (!frmMain().Create(instance, show)) return 1;
    return ui::RunMessageLoop();
}
