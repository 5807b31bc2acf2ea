// Drives Grevlin.exe through its windows, as a user would, and checks what
// it shows: start-up (with the visual-style restart), the main window's
// layout, "Begin Removal" then No, and (with --full) a whole scan, the About
// window's tabs and leaving it.
//
//   gui_check PATH\Grevlin.exe [--full] [--shots FOLDER]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "forms/control_ids.h"
#include "window_tools.h"

using drive::Ask;
using drive::Text;

namespace {

int gFailures = 0;
std::string gShots;

void Check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++gFailures;
}

// A visible top-level window of the class and, when given, the title.
HWND FindTop(DWORD processId, const char* className, const char* title)
{
    return drive::FindTop(processId, className, {}, title);
}

// Polls until the window shows up or `seconds` pass (the program is starting).
HWND WaitForTop(DWORD processId, const char* className, const char* title, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        HWND window = FindTop(processId, className, title);
        if (window) return window;
        Sleep(100);
    }
    return nullptr;
}

bool WaitForExit(HANDLE process, int seconds, DWORD* exitCode)
{
    if (WaitForSingleObject(process, seconds * 1000) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process, exitCode);
    return true;
}

bool FileThere(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Remove(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

std::string ReadAll(const std::string& path)
{
    std::string contents;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return contents;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        contents.append(buffer, read);
    CloseHandle(file);
    return contents;
}

bool ThemeActive()
{
    DWORD version = GetVersion();
    int number = LOBYTE(LOWORD(version)) * 100 + HIBYTE(LOWORD(version));
    if (number < 501) return false;
    HMODULE library = LoadLibraryA("uxtheme.dll");
    if (!library) return false;
    typedef BOOL(WINAPI * IsThemeActiveFn)();
    auto isThemeActive = reinterpret_cast<IsThemeActiveFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "IsThemeActive")));
    bool active = isThemeActive && isThemeActive();
    FreeLibrary(library);
    return active;
}

// Does the process use version 6 of the common controls (the side-by-side copy)?
bool UsesStyledControls(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return false;
    HMODULE modules[512];
    DWORD needed = 0;
    bool styled = false;
    if (EnumProcessModules(process, modules, sizeof modules, &needed)) {
        for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
            char name[MAX_PATH] = {};
            GetModuleFileNameExA(process, modules[i], name, MAX_PATH);
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            if (lower.find("comctl32") != std::string::npos && lower.find("winsxs") != std::string::npos)
                styled = true;
        }
    }
    CloseHandle(process);
    return styled;
}

void Shot(const std::string& name)
{
    if (gShots.empty()) return;
    Sleep(700);  // let the window finish painting
    drive::SaveScreen(gShots + "\\" + name + ".bmp");
}

// The control's rectangle in its form's client coordinates, against pixels at 96 DPI.
void CheckRect(HWND form, int id, int left, int top, int width, int height, int dpi,
               const char* name)
{
    HWND control = GetDlgItem(form, id);
    if (!control) {
        // Controls on a panel.
        for (int panel : {IDC_PICMAIN, IDC_PICABOUT, IDC_PICPROTECTION}) {
            HWND holder = GetDlgItem(form, panel);
            if (holder && GetDlgItem(holder, id)) control = GetDlgItem(holder, id);
        }
    }
    if (!control) {
        Check(false, std::string(name) + " exists");
        return;
    }
    RECT rect;
    GetWindowRect(control, &rect);
    POINT corner = {rect.left, rect.top};
    ScreenToClient(form, &corner);
    int expected[4] = {MulDiv(left, dpi, 96), MulDiv(top, dpi, 96), MulDiv(width, dpi, 96),
                       MulDiv(height, dpi, 96)};
    int seen[4] = {corner.x, corner.y, rect.right - rect.left, rect.bottom - rect.top};
    bool ok = true;
    for (int i = 0; i < 4; ++i) ok = ok && abs(seen[i] - expected[i]) <= 1;
    char what[200];
    std::snprintf(what, sizeof what, "%s at %d,%d %dx%d (expected %d,%d %dx%d)", name, seen[0],
                  seen[1], seen[2], seen[3], expected[0], expected[1], expected[2], expected[3]);
    Check(ok, what);
}

void CheckClientSize(HWND form, int width, int height, int dpi, const char* name)
{
    RECT client;
    GetClientRect(form, &client);
    char what[160];
    std::snprintf(what, sizeof what, "%s client area %ldx%ld (expected %dx%d)", name, client.right,
                  client.bottom, MulDiv(width, dpi, 96), MulDiv(height, dpi, 96));
    Check(abs(client.right - MulDiv(width, dpi, 96)) <= 1 &&
              abs(client.bottom - MulDiv(height, dpi, 96)) <= 1,
          what);
}

void Press(HWND form, int id)
{
    HWND control = GetDlgItem(form, id);
    PostMessageA(form, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void AnswerBox(HWND box, int id)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

BOOL CALLBACK ListWindow(HWND window, LPARAM)
{
    char className[64] = {}, title[128] = {};
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    std::printf("  window %p class \"%s\" title \"%s\" process %lu visible %d\n",
                static_cast<void*>(window), className, title, owner, IsWindowVisible(window));
    return TRUE;
}

struct Run {
    PROCESS_INFORMATION process = {};
    DWORD windowProcess = 0;
    HWND main = nullptr;
};

// Starts the program and waits for its main window, following the restart.
bool Start(const std::string& exe, bool themed, const std::string& manifest, Run& run,
           bool checkStartUp)
{
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &run.process)) {
        Check(false, "Grevlin.exe starts");
        return false;
    }
    run.main = WaitForTop(0, GREVLIN_MAIN_CLASS, "Grevlin 6.05", 120);
    if (checkStartUp) Check(run.main != nullptr, "window \"Grevlin 6.05\" appears");
    if (!run.main) {
        DWORD code = 0;
        GetExitCodeProcess(run.process.hProcess, &code);
        std::printf("  first instance %lu: exit code %lu\n", run.process.dwProcessId, code);
        EnumWindows(ListWindow, 0);
    }
    if (!run.main) return false;
    GetWindowThreadProcessId(run.main, &run.windowProcess);
    if (checkStartUp) {
        if (themed) {
            DWORD code = 1;
            Check(WaitForExit(run.process.hProcess, 60, &code) && code == 0,
                  "a themed start ends the first instance (exit code 0)");
            Check(run.windowProcess != run.process.dwProcessId,
                  "the window belongs to the restarted instance");
            Check(UsesStyledControls(run.windowProcess),
                  "the restarted instance uses the styled common controls");
        } else {
            Check(run.windowProcess == run.process.dwProcessId,
                  "without a visual style the program starts once");
        }
        Check(!FileThere(manifest), "no manifest is left beside the program");
    }
    return true;
}

HANDLE OpenWindowProcess(Run& run)
{
    if (run.windowProcess == run.process.dwProcessId) return run.process.hProcess;
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, run.windowProcess);
}

void CheckMainWindow(HWND main, int dpi)
{
    char title[64] = {};
    GetWindowTextA(main, title, sizeof title);
    Check(std::string(title) == "Grevlin 6.05", std::string("caption is \"") + title + "\"");
    Check(Text(GetDlgItem(main, IDC_LBLSCANNING)) ==
              "Please click \"Begin Removal\" to initalize this application!",
          "status line at start: \"" + Text(GetDlgItem(main, IDC_LBLSCANNING)) + "\"");
    Check(Ask(GetDlgItem(main, IDC_LSTMAIN), LB_GETCOUNT) == 0, "activity list starts empty");
    Check(IsWindowVisible(GetDlgItem(main, IDC_CMDSCAN)) != 0, "\"Begin Removal\" is shown");
    Check(!IsWindowVisible(GetDlgItem(main, IDC_CMDABORT)), "\"Abort Removal\" is hidden");
    Check(Text(GetDlgItem(main, IDC_CMDSCAN)) == "Begin Removal", "cmdScan caption");
    Check(Text(GetDlgItem(main, IDC_CMDABORT)) == "Abort Removal", "cmdAbort caption");
    Check(Text(GetDlgItem(main, IDC_LBLHEADER0)) ==
              "Removal tool for CWS.HomeSearch, CWS.MfPlay, CWS.SeDll",
          "header line");
    CheckClientSize(main, 384, 376, dpi, "frmMain");
    CheckRect(main, IDC_LBLHEADER0, 8, 8, 350, 13, dpi, "lblHeader(0)");
    CheckRect(main, IDC_LBLHEADER1, 8, 24, 369, 29, dpi, "lblHeader(1)");
    CheckRect(main, IDC_LBLSCANNING, 8, 64, 267, 13, dpi, "lblScanning");
    CheckRect(main, IDC_LSTMAIN, 8, 88, 369, 238, dpi, "lstMain");
    CheckRect(main, IDC_CMDSCAN, 272, 344, 105, 25, dpi, "cmdScan");
    CheckRect(main, IDC_CMDABORT, 272, 344, 105, 25, dpi, "cmdAbort");
    CheckRect(main, IDC_LN1, 8, 336, 369, 1, dpi, "ln1");
    CheckRect(main, IDC_LN2, 8, 337, 369, 1, dpi, "ln2");

    RECT frame;
    GetWindowRect(main, &frame);
    int centreX = (frame.left + frame.right) / 2, centreY = (frame.top + frame.bottom) / 2;
    Check(abs(centreX - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
              abs(centreY - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1,
          "the main window is centred on the screen");
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

// Which of the four views is visible, as "H M A P" flags.
std::string VisibleViews(HWND about)
{
    std::string seen;
    const int views[] = {IDC_TXTVERSIONHISTORY, IDC_PICMAIN, IDC_PICABOUT, IDC_PICPROTECTION};
    const char* names[] = {"History", "Main", "About", "Protection"};
    for (int i = 0; i < 4; ++i) {
        if (IsWindowVisible(GetDlgItem(about, views[i]))) {
            if (!seen.empty()) seen += ",";
            seen += names[i];
        }
    }
    return seen;
}

void WaitForView(HWND about, const std::string& expected)
{
    for (int i = 0; i < 50 && VisibleViews(about) != expected; ++i) Sleep(100);
}

void CheckAboutWindow(HWND about, int dpi)
{
    HWND tab = GetDlgItem(about, IDC_TABABOUT);
    Check(Ask(tab, TCM_GETITEMCOUNT) == 4, "the tab strip has four tabs");
    Check(Ask(tab, TCM_GETCURSEL) == 0, "the first tab is selected");
    Check(VisibleViews(about) == "Main", "only picMain is visible at first: " + VisibleViews(about));
    CheckClientSize(about, 313, 240, dpi, "frmAbout");
    CheckRect(about, IDC_TABABOUT, 8, 8, 301, 193, dpi, "tabAbout");
    CheckRect(about, IDC_TXTVERSIONHISTORY, 13, 32, 289, 161, dpi, "txtVersionHistory");
    CheckRect(about, IDC_PICMAIN, 13, 32, 289, 161, dpi, "picMain");
    CheckRect(about, IDC_CMDDONATE, 136, 208, 81, 25, dpi, "cmdDonate");
    CheckRect(about, IDC_CMDEXIT, 224, 208, 81, 25, dpi, "cmdExit");
    CheckRect(about, IDC_LBLEMAIL, 8, 216, 45, 13, dpi, "lblEmail");
    Check(Text(GetDlgItem(about, IDC_CMDEXIT)) == "Exit", "cmdExit caption");
    Check(Text(GetDlgItem(about, IDC_LBLEMAIL)) == "Email me!", "lblEmail caption");

    std::vector<std::string> history = Lines(Text(GetDlgItem(about, IDC_TXTVERSIONHISTORY)));
    Check(history.size() == 54, "the history has 54 lines (" + std::to_string(history.size()) + ")");
    if (history.size() == 54) {
        Check(history[0] == "v6.05 ( 7/30/06 )", "history line 1");
        Check(history[2].empty(), "history line 3 is empty");
        Check(history[40] == "v5.1  ( 8/28/05 )", "history line 41");
        Check(history[43] == "         [Now scans even if users main drive is not C:\\]",
              "history line 44");
        Check(history[53] == "Records of v4.0 and lower were not recorded.",
              "history ends without a line break after its last line");
    }
    Shot("about-main");

    // The arrow keys select the next tab as a click would.
    const char* order[] = {"Protection", "About", "History"};
    for (int i = 0; i < 3; ++i) {
        PostMessageA(tab, WM_KEYDOWN, VK_RIGHT, 0);
        PostMessageA(tab, WM_KEYUP, VK_RIGHT, 0);
        WaitForView(about, order[i]);
        Check(VisibleViews(about) == order[i],
              std::string("tab ") + std::to_string(i + 2) + " shows only " + order[i] + ": " +
                  VisibleViews(about));
        Shot(std::string("about-") + order[i]);
    }
    for (int i = 0; i < 3; ++i) {
        PostMessageA(tab, WM_KEYDOWN, VK_LEFT, 0);
        PostMessageA(tab, WM_KEYUP, VK_LEFT, 0);
    }
    WaitForView(about, "Main");
    Check(VisibleViews(about) == "Main" && Ask(tab, TCM_GETCURSEL) == 0, "back on the first tab");
    // "Protection..." on the Main panel.
    HWND panel = GetDlgItem(about, IDC_PICMAIN);
    HWND button = GetDlgItem(panel, IDC_CMDPROTECTTAB);
    Check(Text(button) == "Protection...", "\"Protection...\" is on the Main panel");
    PostMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_CMDPROTECTTAB, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    WaitForView(about, "Protection");
    Check(VisibleViews(about) == "Protection" && Ask(tab, TCM_GETCURSEL) == 1,
          "\"Protection...\" shows the Protection panel and selects the second tab");
}

int Dpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: gui_check PATH\\Grevlin.exe [--full] [--shots FOLDER]\n");
        return 2;
    }
    char fullPath[MAX_PATH];
    GetFullPathNameA(argv[1], MAX_PATH, fullPath, nullptr);
    std::string exe = fullPath;
    bool full = false;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--full") full = true;
        if (std::string(argv[i]) == "--shots" && i + 1 < argc) gShots = argv[++i];
    }
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    std::string base = exe.substr(folder.size() + 1);
    base = base.substr(0, base.find_last_of('.'));
    std::string manifest = folder + "\\" + base + ".exe.manifest";
    std::string log = folder + "\\Gv LogFile.txt";
    Remove(manifest);
    Remove(log);

    bool themed = ThemeActive();
    int dpi = Dpi();
    std::printf("visual style active: %s, %d dpi\n", themed ? "yes" : "no", dpi);

    // 1. Start-up, layout, "Begin Removal" and No.
    Run run;
    if (!Start(exe, themed, manifest, run, true)) return 1;
    CheckMainWindow(run.main, dpi);
    Shot("main");
    HANDLE windowProcess = OpenWindowProcess(run);

    Press(run.main, IDC_CMDSCAN);
    HWND box = WaitForTop(run.windowProcess, "#32770", "Shut down Internet Explorer", 30);
    Check(box != nullptr, "\"Begin Removal\" asks \"Shut down Internet Explorer\"");
    if (box) {
        Check(Text(GetDlgItem(box, 0xFFFF)) ==
                  "Grevlin will now shut down all Internet Explorer windows. If you wish to "
                  "continue, please select yes. If you would like to exit and do this yourself, "
                  "please select no and restart Grevlin.",
              "the question's prompt");
        Check(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDOK),
              "the question has Yes and No");
        LONG yesStyle = GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE);
        LONG noStyle = GetWindowLongA(GetDlgItem(box, IDNO), GWL_STYLE);
        Check((yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON && (noStyle & BS_TYPEMASK) != BS_DEFPUSHBUTTON,
              "Yes is the default button");
        Check(IsWindowVisible(GetDlgItem(run.main, IDC_CMDABORT)) &&
                  !IsWindowVisible(GetDlgItem(run.main, IDC_CMDSCAN)),
              "\"Abort Removal\" has taken the place of \"Begin Removal\"");
        AnswerBox(box, IDNO);
        DWORD code = 1;
        Check(WaitForExit(windowProcess, 60, &code) && code == 0, "No ends the program");
        Check(!FileThere(log), "No writes no log file");
    }
    TerminateProcess(windowProcess, 1);

    // 2. A whole scan, the About window, and leaving it.
    if (full) {
        Run second;
        if (!Start(exe, themed, manifest, second, false)) return 1;
        HANDLE scanProcess = OpenWindowProcess(second);
        Press(second.main, IDC_CMDSCAN);
        HWND question = WaitForTop(second.windowProcess, "#32770", "Shut down Internet Explorer", 30);
        Check(question != nullptr, "the second run asks the question too");
        if (question) {
            AnswerBox(question, IDYES);
            for (int i = 0; i < 100 && IsWindow(question); ++i) Sleep(100);
        }
        HWND about = nullptr;
        std::vector<std::string> boxes;
        for (int i = 0; i < 9000 && !about; ++i) {  // a scan of the Windows folder under Wine
            HWND shown = FindTop(second.windowProcess, "#32770", nullptr);
            if (shown) {
                char title[128] = {};
                GetWindowTextA(shown, title, sizeof title);
                boxes.push_back(title);
                std::printf("box: %s\n", title);
                if (std::string(title) == "Reset Internet Settings") AnswerBox(shown, IDNO);
                else AnswerBox(shown, IDOK);
                Sleep(300);
                continue;
            }
            about = FindTop(second.windowProcess, GREVLIN_ABOUT_CLASS, "Grevlin 6.05");
            Sleep(100);
        }
        Check(about != nullptr, "the About window opens after the scan");
        Check(!boxes.empty() && (boxes.back() == "Scan Completed" || boxes.back() == "Scan Aborted"),
              "the summary box came before the About window");
        Check(FindTop(second.windowProcess, GREVLIN_MAIN_CLASS, nullptr) == nullptr,
              "the main window is gone");
        if (about) {
            // The restart warning may stand over the About window.
            Sleep(500);
            HWND warning = FindTop(second.windowProcess, "#32770", "Please restart computer");
            if (warning) AnswerBox(warning, IDOK);
            CheckAboutWindow(about, dpi);
            Press(about, IDC_CMDEXIT);
            HWND done = WaitForTop(second.windowProcess, "#32770", "Logfile created", 30);
            Check(done != nullptr, "\"Exit\" shows \"Logfile created\"");
            if (done) {
                Check(Text(GetDlgItem(done, 0xFFFF)) ==
                          "A log with information from this program's use has been created in the "
                          "same folder as Grevlin.exe! If one already existed, the information has "
                          "been added to the end of the file.",
                      "the log box's text");
                Shot("logfile-created");
                AnswerBox(done, IDOK);
            }
            DWORD code = 1;
            Check(WaitForExit(scanProcess, 60, &code) && code == 0, "leaving the About window ends the program");
            std::string text = ReadAll(log);
            Check(text.compare(0, 14, "Grevlin 6.05\r\n") == 0, "the log starts with the title line");
            Check(text.size() > 4 && text.compare(text.size() - 4, 4, "\r\n\r\n") == 0,
                  "the log block ends with two line breaks");
            Check(text.find("Scan was COMPLETED SUCCESSFULLY at ") != std::string::npos ||
                      text.find("Scan was ABORTED at ") != std::string::npos,
                  "the log holds the closing line");
        }
        TerminateProcess(scanProcess, 1);
    }

    std::printf("%s: %d failure(s)\n", gFailures ? "FAILED" : "PASSED", gFailures);
    return gFailures ? 1 : 0;
}
