// Grevlin.exe: creating the main window is the whole start-up.
#include "forms/frm_main.h"
#include "forms/message_loop.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    if (!frmMain().Create(instance, show)) return 1;
    return ui::RunMessageLoop();
}
