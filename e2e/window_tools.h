// What the programs that drive Grevlin.exe through its windows share: asking
// another process's windows without hanging on them, finding its top-level
// windows, and screenshots of the whole screen.
#pragma once

#include <windows.h>

#include <set>
#include <string>

namespace drive {

// The window's text; empty for no window or one that does not answer.
std::string Text(HWND window);

// SendMessage that gives up on a hung window (the answer is then 0).
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

std::string ClassOf(HWND window);

// A visible top-level window of the class and, when one is given, the title,
// of the process (0: any), not among `skip`.
HWND FindTop(DWORD processId, const std::string& className, const std::set<HWND>& skip = {},
             const char* title = nullptr);

// The whole screen (the X display Wine draws on) as a 24-bit BMP file, read
// back through GDI so that the picture is taken before the caller acts again.
bool SaveScreen(const std::string& path);

}  // namespace drive
