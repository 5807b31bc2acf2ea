#include "removal/shell.h"

#include <cstring>
#include <string>

#include "environment/paths.h"
#include "environment/text.h"
#include "platform/win32.h"

void StartShell()
{
    // By its full path: a bare name is looked for beside this program and in
    // the current folder first, where a planted explorer.exe would run instead.
    const std::wstring windows = GetWindowsDir();
    if (windows.empty()) return;
    const std::wstring separator = EndsWith(windows, L"\\") ? L"" : L"\\";
    const std::string path = platform::ToAnsi(windows + separator + L"explorer.exe");
    std::string commandLine = "\"" + path + "\"";

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof(started));
    // The Windows folder as its current folder: the shell would otherwise
    // keep the folder this program was started from in use.
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        platform::ToAnsi(windows).c_str(), &startup, &started))
        return;
    // Not waited for: the scan goes on while the shell starts.
    platform::HeldHandle thread(started.hThread);
    platform::HeldHandle process(started.hProcess);
}
