// The program's own message loop (WinMain) and the pump of the long loops
// share the keyboard navigation of the two forms.
#pragma once

namespace ui {
// Runs until the main window closes while idle; returns the exit code.
int RunMessageLoop();
}  // namespace ui
