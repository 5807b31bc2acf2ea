// A program that does nothing but stay alive, for the sandbox's processes:
// the infected program (a copy whose header padding carries hijacker bytes),
// a stand-in for Internet Explorer, and, given a path, a keeper that holds a
// file open without delete sharing so that the file cannot be deleted.
//
//   sleeper.exe [PATH-TO-HOLD]
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    std::string path = commandLine;
    while (!path.empty() && path.front() == ' ') path.erase(0, 1);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    HANDLE held = INVALID_HANDLE_VALUE;
    if (!path.empty()) {
        held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 2;
    }
    // Ends only when terminated.
    Sleep(INFINITE);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return 0;
}
