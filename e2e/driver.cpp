// Drives whole runs of Grevlin.exe on the sandbox as a user would (buttons,
// message boxes, the About window's tabs, the close box), takes screenshots
// at fixed moments, and afterwards checks the machine: files, registry,
// services, processes and the log file.
//
//   driver.exe --case NAME --grevlin PATH\Grevlin.exe [--shots FOLDER]
//
// Cases: clean (two scans in a row), infected-yes, infected-no, abort,
// close (the main window's close box during the scan), decline-ie; "watch"
// only starts the program for a person and waits for it. The infected cases
// expect `plant.exe infected` to have run, the others `plant.exe clean`.
// Ends non-zero when any check fails.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "forms/control_ids.h"
#include "sandbox.h"
#include "window_tools.h"

using namespace sandbox;
using drive::Ask;
using drive::ClassOf;
using drive::FindTop;
using drive::Text;

namespace {

// ---- Reporting --------------------------------------------------------------

int gFailures = 0;
std::string gCase;

bool Check(bool ok, const std::string& what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++gFailures;
    return ok;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

bool StartsWith(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

// ---- Screenshots ------------------------------------------------------------

std::string gShotFolder;  // where the BMP files go; run-e2e turns them into PNG
std::vector<std::string> gShots;

void Shot(const std::string& moment)
{
    if (gShotFolder.empty()) return;
    Sleep(500);  // let the last repaint reach the screen
    const std::string path = gShotFolder + "\\" + gCase + "-" + moment + ".bmp";
    if (drive::SaveScreen(path)) gShots.push_back(gCase + "-" + moment);
    else std::printf("note: no screenshot %s\n", path.c_str());
}

// ---- Windows of another process ---------------------------------------------

// The list's lines. Wine hands list-box text across processes in UTF-16
// whichever form is asked for, so ask for that and convert.
std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    LRESULT count = Ask(list, LB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 10000, &length) ||
            static_cast<LRESULT>(length) == LB_ERR)
            break;
        std::vector<wchar_t> buffer(length + 16, 0);
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                            10000, &copied);
        lines.push_back(Ansi(buffer.data()));
    }
    return lines;
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

// Waits for the window's thread to get back to retrieving messages, so that
// whatever it did before (showing a window, a box) has happened.
void RoundTrip(HWND window)
{
    Ask(window, WM_NULL);
    Ask(window, WM_NULL);
}

// A mouse click in the middle of tab `index`, as the tab strip reports its rectangle.
bool ClickTab(HWND tab, DWORD processId, int index)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT rect = {};
    bool ok = remote && Ask(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote)) &&
              ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok) return false;
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(tab, WM_LBUTTONUP, 0, point);
    return true;
}

// ---- Message boxes ----------------------------------------------------------

struct Box {
    HWND window = nullptr;
    std::string title, prompt, icon;
    std::vector<int> buttons;  // IDOK, IDYES, ... present
    int defaultButton = 0;
};

// The icon static of a message box: id 20 on Windows; any SS_ICON static otherwise.
HWND IconControl(HWND box)
{
    HWND icon = GetDlgItem(box, 20);
    if (icon && (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return icon;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child))
            return child;
    }
    return nullptr;
}

struct Pixels {
    int size = 0;
    std::vector<COLORREF> colours;
};

Pixels Render(HICON icon, COLORREF background, int size)
{
    Pixels pixels;
    pixels.size = size;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, size, size};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pixels.colours.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels Capture(int left, int top, int size)
{
    Pixels pixels;
    pixels.size = size;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, size, size, screen, left, top, SRCCOPY);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pixels.colours.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool Near(COLORREF a, COLORREF b)
{
    return abs(GetRValue(a) - GetRValue(b)) <= 24 && abs(GetGValue(a) - GetGValue(b)) <= 24 &&
           abs(GetBValue(a) - GetBValue(b)) <= 24;
}

// Which standard icon the box shows: its pixels on the screen against the
// opaque pixels of each candidate, drawn here (the images are the system's).
std::string IconOf(HWND box)
{
    HWND control = IconControl(box);
    if (!control) return "none";
    // A window that opened later (the restarted explorer.exe) may lie over the box.
    SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT rect;
    GetWindowRect(control, &rect);
    const int size = GetSystemMetrics(SM_CXICON);
    const struct {
        const char* name;
        LPCSTR id;
    } candidates[] = {{"information", IDI_INFORMATION}, {"question", IDI_QUESTION},
                      {"error", IDI_ERROR}, {"warning", IDI_WARNING}};
    std::string best = "unknown";
    double bestScore = 0;
    for (int attempt = 0; attempt < 40 && bestScore < 0.95; ++attempt) {
        if (attempt) Sleep(100);  // the box may still be painting
        Pixels seen = Capture(rect.left, rect.top, size);
        for (const auto& candidate : candidates) {
            HICON icon = LoadIconA(nullptr, candidate.id);
            Pixels onBlack = Render(icon, RGB(0, 0, 0), size), onWhite = Render(icon, RGB(255, 255, 255), size);
            int opaque = 0, matching = 0;
            for (size_t i = 0; i < seen.colours.size(); ++i) {
                if (onBlack.colours[i] != onWhite.colours[i]) continue;  // transparent here
                ++opaque;
                if (Near(onBlack.colours[i], seen.colours[i])) ++matching;
            }
            double score = opaque ? static_cast<double>(matching) / opaque : 0;
            if (score > bestScore) {
                bestScore = score;
                best = candidate.name;
            }
        }
    }
    return bestScore >= 0.9 ? best : "unknown";
}

Box Inspect(HWND window)
{
    Box box;
    box.window = window;
    box.title = Text(window);
    box.prompt = Text(GetDlgItem(window, 0xFFFF));
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(window, id);
        if (!button || !IsWindowVisible(button)) continue;
        box.buttons.push_back(id);
        if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) box.defaultButton = id;
    }
    box.icon = IconOf(window);
    return box;
}

void Answer(const Box& box, int id) { Click(GetDlgItem(box.window, id)); }

void CheckBox(const Box& box, const std::string& prompt, std::vector<int> buttons, int defaultButton,
              const std::string& icon)
{
    const std::string name = "box " + Quote(box.title);
    Check(box.prompt == prompt, name + " says " + Quote(box.prompt));
    std::vector<int> seen = box.buttons;
    std::sort(seen.begin(), seen.end());
    std::sort(buttons.begin(), buttons.end());
    Check(seen == buttons, name + (buttons.size() == 1 ? " has OK only" : " has Yes and No only"));
    if (buttons.size() > 1) Check(box.defaultButton == defaultButton, name + ": Yes is the default button");
    Check(box.icon == icon, name + " shows the " + icon + " icon (seen: " + box.icon + ")");
}

// ---- Time stamps ------------------------------------------------------------

std::string Locale(LCTYPE type)
{
    char buffer[128] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    return buffer;
}

std::string Today()
{
    char buffer[128] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, sizeof buffer);
    return buffer;
}

int SecondsNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
}

// Reads a time of day written in the user's time format; -1 when it does not fit.
int ParseTime(const std::string& text)
{
    const std::string format = Locale(LOCALE_STIMEFORMAT);
    const std::string am = Locale(LOCALE_S1159), pm = Locale(LOCALE_S2359);
    size_t at = 0;
    int hour = -1, minute = -1, second = -1, half = -1;
    bool twelve = false;
    for (size_t f = 0; f < format.size();) {
        char c = format[f];
        size_t run = 1;
        while (f + run < format.size() && format[f + run] == c) ++run;
        if (c == 'h' || c == 'H' || c == 'm' || c == 's') {
            size_t digits = 0;
            while (at + digits < text.size() && digits < 2 && isdigit(static_cast<unsigned char>(text[at + digits])))
                ++digits;
            if (digits == 0 || (run >= 2 && digits != 2)) return -1;
            int value = std::stoi(text.substr(at, digits));
            at += digits;
            if (c == 'h') twelve = true;
            if (c == 'h' || c == 'H') hour = value;
            if (c == 'm') minute = value;
            if (c == 's') second = value;
        } else if (c == 't') {
            std::string a = run == 1 ? am.substr(0, 1) : am, p = run == 1 ? pm.substr(0, 1) : pm;
            if (!a.empty() && text.compare(at, a.size(), a) == 0) {
                half = 0;
                at += a.size();
            } else if (!p.empty() && text.compare(at, p.size(), p) == 0) {
                half = 1;
                at += p.size();
            } else {
                return -1;
            }
        } else if (c == '\'') {
            size_t close = format.find('\'', f + 1);
            if (close == std::string::npos) close = format.size();
            std::string literal = format.substr(f + 1, close - f - 1);
            if (text.compare(at, literal.size(), literal) != 0) return -1;
            at += literal.size();
            f = close + 1;
            continue;
        } else {
            for (size_t i = 0; i < run; ++i, ++at)
                if (at >= text.size() || text[at] != c) return -1;
        }
        f += run;
    }
    if (at != text.size() || hour < 0 || minute < 0 || minute > 59 || second < 0 || second > 59) return -1;
    if (twelve) {
        if (hour < 1 || hour > 12 || half < 0) return -1;
        hour = hour % 12 + (half == 1 ? 12 : 0);
    }
    if (hour > 23) return -1;
    return hour * 3600 + minute * 60 + second;
}

// The time of day in `text` was read between `from` and `to` (seconds since midnight).
bool TimeBetween(const std::string& text, int from, int to)
{
    int seconds = ParseTime(text);
    if (seconds < 0) return false;
    if (to < from) return true;  // midnight passed during the run
    return seconds >= from - 1 && seconds <= to + 1;
}

// ---- Files and registry -----------------------------------------------------

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::vector<uint8_t> data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return data;
    uint8_t buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.insert(data.end(), buffer, buffer + read);
    CloseHandle(file);
    return data;
}

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> data = ReadAll(path);
    return std::string(data.begin(), data.end());
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

// The paths waiting for deletion at the next restart.
std::vector<std::string> PendingDeletes()
{
    std::vector<std::string> paths;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return paths;
    DWORD size = 0;
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
    std::vector<char> buffer(size + 2, 0);
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) == ERROR_SUCCESS) {
        // Pairs of source and target; an empty target means deletion.
        std::vector<std::string> strings;
        for (size_t at = 0; at < size && buffer[at];) {
            strings.push_back(buffer.data() + at);
            at += strings.back().size() + 1;
            if (at < size && buffer[at] == 0 && strings.size() % 2 == 1) {
                strings.push_back("");
                ++at;
            }
        }
        for (size_t i = 0; i + 1 < strings.size(); i += 2)
            if (strings[i + 1].empty()) paths.push_back(strings[i]);
    }
    RegCloseKey(key);
    return paths;
}

bool ServiceStopped(const std::string& name, bool* exists)
{
    *exists = false;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    bool stopped = false;
    if (service) {
        *exists = true;
        stopped = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return stopped;
}

struct Snapshot {
    DWORD id, parent;
    std::string name;
};

std::vector<Snapshot> ProcessTree()
{
    std::vector<Snapshot> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        found.push_back({entry.th32ProcessID, entry.th32ParentProcessID, Lower(entry.szExeFile)});
    CloseHandle(snapshot);
    return found;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::set<DWORD> ExplorerIds()
{
    std::set<DWORD> ids;
    for (const Snapshot& process : ProcessTree())
        if (process.name == "explorer.exe" || EndsWith(process.name, "\\explorer.exe")) ids.insert(process.id);
    return ids;
}

// ---- One run of the program -------------------------------------------------

enum class Leave { Exit, CloseBox };

struct Plan {
    int answerIe = IDYES;
    int answerReset = IDYES;
    bool abortInSystemFolder = false;
    bool closeInSystemFolder = false;  // the main window's close box instead of "Abort Removal"
    Leave leave = Leave::Exit;
    bool tour = false;  // visit the About window's tabs, with screenshots
    bool shots = false;
};

struct Outcome {
    bool started = false;
    bool ended = false;
    DWORD exitCode = 1;
    DWORD windowProcess = 0;
    std::vector<std::string> sequence;  // box titles in order, "[About]" where the About window opened
    std::vector<Box> boxes;
    std::vector<std::string> lines;     // the activity list as the summary box found it
    std::vector<std::string> statuses;  // the status line's texts, as seen
    bool abortPressed = false;
    int from = 0, to = 0;               // seconds of day around the scan
    std::string dateBefore, dateAfter;
    std::set<DWORD> explorersBefore;
};

const char kStartStatus[] = "Please click \"Begin Removal\" to initalize this application!";
const char kIeQuestion[] =
    "Grevlin will now shut down all Internet Explorer windows. If you wish to continue, please select "
    "yes. If you would like to exit and do this yourself, please select no and restart Grevlin.";
const char kResetQuestion[] =
    "It appears a CWS infection has been found on your PC. Would you like to reset your internet "
    "explorer settings? This will also remove all files from the Temp folder.";
const char kResetDone[] = "Internet Explorer settings were reset succesfully! Temporary folder cleaned.";
const char kRestart[] =
    "You must immediately restart your computer, please do so now! Do not start Internet Explorer, "
    "it will cause immediate reinfection!";
const char kLogCreated[] =
    "A log with information from this program's use has been created in the same folder as "
    "Grevlin.exe! If one already existed, the information has been added to the end of the file.";
const char kCompleted[] = "Scan was COMPLETED SUCCESSFULLY at ";
const char kAborted[] = "Scan was ABORTED at ";

std::string gGrevlin;

std::string Shown(const std::string& moment, const Plan& plan)
{
    if (plan.shots) Shot(moment);
    return moment;
}

const char* const kViews[] = {"History", "Main", "About", "Protection"};

std::string VisibleViews(HWND about)
{
    const int ids[] = {IDC_TXTVERSIONHISTORY, IDC_PICMAIN, IDC_PICABOUT, IDC_PICPROTECTION};
    std::string seen;
    for (int i = 0; i < 4; ++i) {
        if (!IsWindowVisible(GetDlgItem(about, ids[i]))) continue;
        if (!seen.empty()) seen += ",";
        seen += kViews[i];
    }
    return seen;
}

bool WaitFor(const std::function<bool()>& condition, int tries = 200)
{
    for (int i = 0; i < tries; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

void TourAbout(HWND about, DWORD processId, const Plan& plan)
{
    HWND tab = GetDlgItem(about, IDC_TABABOUT);
    Check(Ask(tab, TCM_GETCURSEL) == 0 && VisibleViews(about) == "Main",
          "the About window opens on its first tab, showing only the Main panel");
    Shown("about-main", plan);
    const struct {
        int index;
        const char* view;
        const char* moment;
    } tabs[] = {{1, "Protection", "about-protection"}, {2, "About", "about-about"},
                {3, "History", "about-history"}, {0, "Main", "about-main-again"}};
    for (const auto& t : tabs) {
        bool clicked = ClickTab(tab, processId, t.index);
        bool shown = clicked && WaitFor([&] { return VisibleViews(about) == t.view; });
        Check(shown && Ask(tab, TCM_GETCURSEL) == t.index,
              std::string("a click on tab ") + std::to_string(t.index + 1) + " shows only " + t.view +
                  " (seen: " + VisibleViews(about) + ")");
        if (t.index != 0) Shown(t.moment, plan);
    }
}

bool Run(const Plan& plan, Outcome& out)
{
    const std::string folder = gGrevlin.substr(0, gGrevlin.find_last_of('\\'));
    std::string commandLine = Quote(gGrevlin);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first = {};
    if (!Check(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &startup, &first) != 0,
               "Grevlin.exe starts"))
        return false;
    CloseHandle(first.hThread);
    CloseHandle(first.hProcess);

    // A themed system restarts the program once: follow the window, not the first process.
    HWND main = nullptr;
    WaitFor([&] { return (main = FindTop(0, GREVLIN_MAIN_CLASS)) != nullptr; }, 2400);
    if (!Check(main != nullptr, "the main window appears")) return false;
    GetWindowThreadProcessId(main, &out.windowProcess);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, out.windowProcess);
    out.started = true;
    RoundTrip(main);

    HWND status = GetDlgItem(main, IDC_LBLSCANNING), list = GetDlgItem(main, IDC_LSTMAIN);
    HWND scan = GetDlgItem(main, IDC_CMDSCAN), abort = GetDlgItem(main, IDC_CMDABORT);
    Check(Text(status) == kStartStatus, "the status line starts as " + Quote(Text(status)));
    Check(Ask(list, LB_GETCOUNT) == 0, "the activity list starts empty");
    Check(IsWindowVisible(scan) && !IsWindowVisible(abort), "only \"Begin Removal\" is shown");
    Shown("start", plan);
    out.explorersBefore = ExplorerIds();

    out.dateBefore = Today();
    out.from = SecondsNow();
    Click(scan);
    HWND question = nullptr;
    WaitFor([&] { return (question = FindTop(out.windowProcess, "#32770")) != nullptr; }, 600);
    if (!Check(question != nullptr, "\"Begin Removal\" asks a question")) return false;
    Box ie = Inspect(question);
    out.boxes.push_back(ie);
    out.sequence.push_back(ie.title);
    Check(ie.title == "Shut down Internet Explorer", "the question is " + Quote(ie.title));
    CheckBox(ie, kIeQuestion, {IDYES, IDNO}, IDYES, "information");
    Check(IsWindowVisible(abort) && !IsWindowVisible(scan),
          "\"Abort Removal\" has taken the place of \"Begin Removal\"");
    Shown("ie-question", plan);
    Answer(ie, plan.answerIe);
    std::set<HWND> answered = {question};

    if (plan.answerIe == IDYES) {
        HWND about = nullptr;
        bool scanShot = false, settled = false;
        std::string lastStatus;
        const std::string system = Lower(SystemFolder());
        // Bounded so that a hung program fails the case instead of the whole run.
        for (int i = 0; i < 20000 && !settled; ++i) {
            if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) break;
            // The About window first: the restart warning follows it, and both
            // may have opened since the last look. Every earlier box is modal
            // and has been answered before the About window can open.
            if (!about) {
                about = FindTop(out.windowProcess, GREVLIN_ABOUT_CLASS);
                if (about) out.sequence.push_back("[About]");
            }
            HWND shown = FindTop(out.windowProcess, "#32770", answered);
            if (shown) {
                Box box = Inspect(shown);
                out.boxes.push_back(box);
                out.sequence.push_back(box.title);
                std::printf("     box %s\n", Quote(box.title).c_str());
                if (box.title == "Reset Internet Settings") {
                    CheckBox(box, kResetQuestion, {IDYES, IDNO}, IDYES, "question");
                    Shown("reset-question", plan);
                    Answer(box, plan.answerReset);
                } else {
                    if (box.title == "Scan Completed" || box.title == "Scan Aborted") {
                        // The scan has ended: the list is complete, the main window still there.
                        out.to = SecondsNow();
                        out.dateAfter = Today();
                        out.lines = ListLines(list);
                    }
                    const std::string moment = box.title == "Success!"              ? "reset-done"
                                               : box.title == "Scan Completed"      ? "summary"
                                               : box.title == "Scan Aborted"        ? "summary-aborted"
                                               : box.title == "Please restart computer" ? "restart-warning"
                                                                                    : "box";
                    Shown(moment, plan);
                    Answer(box, IDOK);
                }
                answered.insert(shown);
                continue;
            }
            if (!about) {
                if (IsWindow(main)) {
                    std::string now = Text(status);
                    if (now != lastStatus && !now.empty()) {
                        out.statuses.push_back(now);
                        lastStatus = now;
                    }
                    if (StartsWith(Lower(now), system)) {
                        if (plan.abortInSystemFolder && !out.abortPressed) {
                            Click(abort);
                            out.abortPressed = true;
                            std::printf("     pressed \"Abort Removal\" at %s\n", now.c_str());
                        }
                        if (plan.closeInSystemFolder && !out.abortPressed) {
                            PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
                            out.abortPressed = true;
                            std::printf("     closed the main window at %s\n", now.c_str());
                            // The scan goes on behind a hidden window.
                            Check(WaitFor([&] { return !IsWindowVisible(main); }) && IsWindow(main),
                                  "the close box hides the main window during the scan");
                        }
                        if (!scanShot) {
                            Shown("scanning", plan);
                            scanShot = true;
                        }
                    }
                }
            } else {
                // Whatever the program shows right after the About window is up by now.
                RoundTrip(about);
                settled = FindTop(out.windowProcess, "#32770", answered) == nullptr;
            }
            Sleep(20);
        }
        if (!Check(about != nullptr, "the About window opens after the scan")) {
            TerminateProcess(process, 1);
            CloseHandle(process);
            return false;
        }
        Check(!IsWindow(main), "the main window is gone");
        char caption[64] = {};
        GetWindowTextA(about, caption, sizeof caption);
        Check(std::string(caption) == "Grevlin 6.05", "the About window's caption is " + Quote(caption));
        if (plan.tour) TourAbout(about, out.windowProcess, plan);

        if (plan.leave == Leave::Exit) {
            Click(GetDlgItem(about, IDC_CMDEXIT));
        } else {
            PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        HWND done = nullptr;
        WaitFor([&] { return (done = FindTop(out.windowProcess, "#32770", answered)) != nullptr; }, 600);
        if (Check(done != nullptr, std::string("leaving the About window by ") +
                                       (plan.leave == Leave::Exit ? "\"Exit\"" : "its close box") +
                                       " shows a box")) {
            Box box = Inspect(done);
            out.boxes.push_back(box);
            out.sequence.push_back(box.title);
            Check(box.title == "Logfile created", "the box is " + Quote(box.title));
            CheckBox(box, kLogCreated, {IDOK}, IDOK, "information");
            Shown("logfile-created", plan);
            Answer(box, IDOK);
        }
    }
    out.ended = WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
    GetExitCodeProcess(process, &out.exitCode);
    Check(out.ended && out.exitCode == 0, "the program ends by itself, with exit code 0");
    if (!out.ended) TerminateProcess(process, 1);
    CloseHandle(process);
    return true;
}

// ---- What a finished scan must show -----------------------------------------

const std::string kSeparator(61, '-');

bool SystemNtfs()
{
    char name[256], system[256];
    DWORD serial = 0, length = 0, flags = 0;
    GetVolumeInformationA(WindowsFolder().substr(0, 3).c_str(), name, sizeof name, &serial, &length,
                          &flags, system, sizeof system);
    return (flags & 0x00040000) != 0;
}

struct Expect {
    bool infected = false;
    bool reset = false;    // Yes to the reset question
    bool aborted = false;
};

// The files a scan must report as removed, in the stage's order: the walks
// (the Windows folder before the system folder), then the two fixed names.
bool IsWalked(const File& file) { return file.where != Where::Temp && std::string(file.name) != "warnhp.html"; }

void CheckLines(const Outcome& out, const Expect& expect)
{
    const std::vector<std::string>& lines = out.lines;
    std::printf("     activity list:\n");
    for (const std::string& line : lines) std::printf("       | %s\n", line.c_str());
    size_t at = 0;
    auto next = [&](const std::string& wanted, const std::string& what) {
        bool ok = at < lines.size() && lines[at] == wanted;
        Check(ok, "list line " + std::to_string(at + 1) + " is " + what +
                      (ok ? "" : " (seen: " + Quote(at < lines.size() ? lines[at] : "<end>") + ")"));
        ++at;
    };
    next("Grevlin 6.05", "the title");
    {
        const std::string line = at < lines.size() ? lines[at] : "";
        const std::string head = "Scan started on [";
        size_t close = line.find("] at [");
        bool ok = StartsWith(line, head) && close != std::string::npos && line.size() > close + 7 &&
                  line.back() == ']';
        std::string date = ok ? line.substr(head.size(), close - head.size()) : "";
        std::string time = ok ? line.substr(close + 6, line.size() - close - 7) : "";
        Check(ok && (date == out.dateBefore || date == out.dateAfter) && TimeBetween(time, out.from, out.to),
              "list line 2 is the start line with today's short date and the time: " + Quote(line));
        ++at;
    }
    next(kSeparator, "a separator");
    next("Internet Explorer Instances Terminated!", "the Internet Explorer line");
    next("HomeSearch Service stopped if present", "the service line");
    next(kSeparator, "a separator");
    next(SystemNtfs() ? "No Ads Found!" : "Streams(ADS) not scanned: System not NTFS", "the stream stage's line");
    next(kSeparator, "a separator");

    // The file stage.
    std::vector<std::string> files;
    while (at < lines.size() && lines[at] != kSeparator && lines[at] != "No Files Found!") files.push_back(lines[at++]);
    if (!expect.infected) {
        Check(files.empty(), "a clean machine gives no file lines");
        next("No Files Found!", "\"No Files Found!\"");
    } else {
        const std::string warnhp = "Removed File! : " + WindowsFolder() + "warnhp.html";
        const std::string sedll = "Error Removing ! : Temp Folder\\Se.dll (Removal on reboot)";
        Check(files.size() >= 2 && files[files.size() - 2] == warnhp, "the walks are followed by " + Quote(warnhp));
        Check(!files.empty() && files.back() == sedll, "the file stage ends with " + Quote(sedll));
        std::vector<std::string> walked(files.begin(), files.end() - std::min<size_t>(2, files.size()));
        size_t lastWindows = 0, firstSystem = walked.size();
        for (const File& file : Files()) {
            if (!IsWalked(file)) continue;
            const std::string line = "Removed File! : " + PathOf(file);
            auto found = std::find(walked.begin(), walked.end(), line);
            const bool listed = found != walked.end();
            if (file.fate == Fate::Kept) {
                Check(!listed, "no line for the clean " + PathOf(file));
                continue;
            }
            size_t index = static_cast<size_t>(found - walked.begin());
            if (listed && file.where == Where::Windows) lastWindows = std::max(lastWindows, index);
            if (listed && file.where == Where::System) firstSystem = std::min(firstSystem, index);
            // An abort in the system folder may leave its later files unexamined.
            if (!(expect.aborted && file.where == Where::System)) Check(listed, "the list reports " + Quote(line));
        }
        Check(walked.empty() || lastWindows < firstSystem, "the Windows folder is walked before the system folder");
        for (const std::string& line : walked)
            Check(StartsWith(line, "Removed File! : "), "every walked file was removed: " + Quote(line));
    }
    if (expect.reset) {
        next(kSeparator, "a separator");
        next("Removed Temp Files", "\"Removed Temp Files\"");
        next("Internet Explorer Settings Reset!", "\"Internet Explorer Settings Reset!\"");
    }
    next(kSeparator, "a separator");
    const std::string closing = at < lines.size() ? lines[at] : "";
    const std::string head = expect.aborted ? kAborted : kCompleted;
    Check(StartsWith(closing, head) && TimeBetween(closing.substr(head.size()), out.from, out.to),
          "the closing line is " + Quote(closing));
    ++at;
    Check(at == lines.size(), "the closing line is the last line");
}

void CheckBoxes(const Outcome& out, const Expect& expect)
{
    std::vector<std::string> wanted = {"Shut down Internet Explorer"};
    if (expect.infected) wanted.push_back("Reset Internet Settings");
    if (expect.reset) wanted.push_back("Success!");
    wanted.push_back(expect.aborted ? "Scan Aborted" : "Scan Completed");
    wanted.push_back("[About]");
    if (expect.infected) wanted.push_back("Please restart computer");
    wanted.push_back("Logfile created");
    std::string seen, want;
    for (const auto& title : out.sequence) seen += (seen.empty() ? "" : ", ") + title;
    for (const auto& title : wanted) want += (want.empty() ? "" : ", ") + title;
    Check(out.sequence == wanted, "boxes and windows in order: " + seen + (out.sequence == wanted ? "" : " (wanted: " + want + ")"));
    for (const Box& box : out.boxes) {
        if (box.title == "Success!") CheckBox(box, kResetDone, {IDOK}, IDOK, "information");
        if (box.title == "Please restart computer") CheckBox(box, kRestart, {IDOK}, IDOK, "error");
        if (box.title == "Scan Completed" || box.title == "Scan Aborted") {
            const std::string head = expect.aborted ? kAborted : kCompleted;
            Check(StartsWith(box.prompt, head) && TimeBetween(box.prompt.substr(head.size()), out.from, out.to + 1),
                  "the summary reads " + Quote(box.prompt));
            CheckBox(box, box.prompt, {IDOK}, IDOK, "information");
        }
    }
}

std::string LogPath() { return gGrevlin.substr(0, gGrevlin.find_last_of('\\')) + "\\Gv LogFile.txt"; }

// The log gained exactly this scan's list: each line and CR LF, then CR LF twice.
void CheckLog(const std::string& before, const Outcome& out)
{
    std::string block;
    for (const std::string& line : out.lines) block += line + "\r\n";
    block += "\r\n\r\n";
    const std::string after = ReadText(LogPath());
    Check(!out.lines.empty() && after == before + block,
          "\"Gv LogFile.txt\" beside the program gained exactly the activity list (" +
              std::to_string(out.lines.size()) + " lines, CR LF, two empty lines after)");
}

// ---- The machine afterwards -------------------------------------------------

struct Machine {
    bool infected;       // planted with the hijacker
    bool scanned;        // a scan ran
    bool reset;          // and Yes was the answer to the reset
    bool aborted;        // and the system folder's walk was cut short
};

void CheckFiles(const Machine& m, const Outcome& out)
{
    int systemLeft = 0;
    for (const File& file : Files()) {
        if (!m.infected && !file.clean) continue;
        const std::string path = PathOf(file);
        const bool there = FileThere(path);
        bool wantThere = true;
        switch (file.fate) {
        case Fate::Removed: wantThere = !m.scanned; break;
        case Fate::Kept: wantThere = true; break;
        case Fate::RemovedOnReset: wantThere = !m.reset; break;
        case Fate::HeldOpen: wantThere = true; break;
        }
        if (m.aborted && file.fate == Fate::Removed && file.where == Where::System) {
            const std::string line = "Removed File! : " + path;
            const bool reported = std::find(out.lines.begin(), out.lines.end(), line) != out.lines.end();
            Check(there != reported, path + (there ? " is still there and not reported" : " is gone and reported"));
            if (there) ++systemLeft;
            continue;
        }
        Check(there == wantThere, path + (wantThere ? " is still there" : " is gone"));
        if (there && file.kind != Kind::Probe1Program)
            Check(ReadAll(path) == ContentOf(file), path + " keeps its content");
    }
    if (m.aborted) Check(systemLeft > 0, "the abort left infected files in the system folder unexamined");
    if (m.reset) {
        std::vector<std::string> left = FilesIn(TempFolder());
        std::string names;
        for (const auto& name : left) names += " " + name;
        Check(left.size() == 1 && Lower(left[0]) == "se.dll",
              "the temporary folder holds no file but the locked se.dll:" + names);
    }
    Check(FileThere(TempFolder() + kTempSubfolder + "\\" + kTempSubfolderFile),
          "the temporary folder's subfolder and its file stay");
    if (m.infected && m.scanned) {
        char shortPath[MAX_PATH] = {};
        GetShortPathNameA((TempFolder() + "se.dll").c_str(), shortPath, MAX_PATH);
        bool pending = false;
        for (const std::string& path : PendingDeletes())
            if (EndsWith(Lower(path), Lower(shortPath))) pending = true;
        Check(pending, std::string("the locked ") + shortPath + " waits for deletion at restart");
    }
}

void CheckRegistry(const Machine& m)
{
    for (const RegItem& item : RegistryItems()) {
        if (!m.infected && !item.clean) continue;
        const std::string where = RootName(item.root) + "\\" + item.key + (item.value.empty() ? "" : " " + Quote(item.value));
        if (item.value.empty()) {
            const bool there = KeyThere(item.root, item.key);
            const bool wanted = item.fate == RegFate::Kept || !m.scanned;
            Check(there == wanted, where + (wanted ? " stays" : " is deleted with its subkeys"));
            continue;
        }
        std::string data;
        const bool there = ReadString(item.root, item.key, item.value, &data);
        switch (item.fate) {
        case RegFate::Removed:
            Check(there == !m.scanned, where + (m.scanned ? " is removed" : " stays"));
            break;
        case RegFate::Kept:
            Check(there && data == item.data, where + " stays as it was");
            break;
        case RegFate::Reset: {
            const std::string wanted = m.reset ? item.resetData : item.data;
            Check(there && data == wanted, where + " holds " + Quote(wanted) + (there ? "" : " (missing)") +
                                               (there && data != wanted ? " (seen " + Quote(data) + ")" : ""));
            break;
        }
        }
    }
    if (m.infected) {
        Check(KeyThere(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + ServiceName('C')) == !m.scanned,
              std::string("service C's configuration key ") + (m.scanned ? "is deleted" : "stays"));
        // A2 is name A in other letter cases, and key names ignore case.
        Check(KeyThere(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + ServiceName('A')) == !m.scanned,
              std::string("service A's configuration key, deleted in its A2 spelling, ") +
                  (m.scanned ? "is deleted" : "stays"));
    }
}

void CheckProcesses(const Machine& m, const Outcome& out, bool ieAnswered)
{
    if (m.infected) {
        for (const char* label = kRealServices; *label; ++label) {
            bool exists = false;
            bool stopped = ServiceStopped(ServiceName(*label), &exists);
            Check(exists && stopped == m.scanned, std::string("service ") + *label + (m.scanned ? " is stopped" : " still runs"));
        }
        Check(Running(ServiceProgramPath()) == !m.scanned,
              std::string("the service program ") + (m.scanned ? "has ended" : "still runs"));
        Check(Running(InfectedProgramPath()) == !m.scanned,
              "the infected program " + std::string(m.scanned ? "was terminated" : "still runs"));
        Check(Running(KeeperPath()), "the process holding se.dll is not terminated by name");
    }
    Check(Running(IexplorePath()) == !ieAnswered,
          std::string("iexplore.exe ") + (ieAnswered ? "was terminated" : "still runs"));
    if (!m.scanned) return;

    // Explorer: the locked se.dll is held by another program, not loaded by
    // the shell, so the shell is neither ended nor started again.
    std::set<DWORD> now = ExplorerIds();
    bool restarted = false;
    for (const Snapshot& process : ProcessTree())
        if (now.count(process.id) && process.parent == out.windowProcess) restarted = true;
    bool oldSurvived = false;
    for (DWORD id : out.explorersBefore)
        if (now.count(id)) oldSurvived = true;
    std::string seen;
    for (const Snapshot& process : ProcessTree())
        if (now.count(process.id)) seen += " " + std::to_string(process.id) + "<-" + std::to_string(process.parent);
    std::string before;
    for (DWORD id : out.explorersBefore) before += " " + std::to_string(id);
    std::printf("     explorer.exe before:%s; after (id<-parent):%s; program %lu\n", before.c_str(), seen.c_str(),
                out.windowProcess);
    Check(out.explorersBefore.empty() || oldSurvived, "explorer.exe was left running");
    Check(!restarted, "the program started no explorer.exe");
}

// ---- The cases --------------------------------------------------------------

Plan ShotPlan(Plan plan, bool shots)
{
    plan.shots = shots && !gShotFolder.empty();
    return plan;
}

void ScanCase(const Plan& plan, const Machine& machine)
{
    const std::string before = ReadText(LogPath());
    Outcome out;
    if (!Run(plan, out)) return;
    Expect expect;
    expect.infected = machine.infected;
    expect.reset = machine.reset;
    expect.aborted = plan.abortInSystemFolder || plan.closeInSystemFolder;
    if (expect.aborted)
        Check(out.abortPressed, std::string(plan.abortInSystemFolder ? "\"Abort Removal\" was pressed"
                                                                     : "the main window was closed") +
                                    " during the system folder's walk");
    CheckLines(out, expect);
    CheckBoxes(out, expect);
    CheckLog(before, out);
    CheckFiles(machine, out);
    CheckRegistry(machine);
    CheckProcesses(machine, out, true);
}

bool Watch()
{
    const std::string folder = gGrevlin.substr(0, gGrevlin.find_last_of('\\'));
    std::string commandLine = Quote(gGrevlin);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &first))
        return false;
    CloseHandle(first.hThread);
    HWND main = nullptr;
    WaitFor([&] { return (main = FindTop(0, GREVLIN_MAIN_CLASS)) != nullptr; }, 2400);
    DWORD id = first.dwProcessId;
    if (main) GetWindowThreadProcessId(main, &id);
    HANDLE process = id == first.dwProcessId ? first.hProcess : OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process) WaitForSingleObject(process, INFINITE);
    if (process && process != first.hProcess) CloseHandle(process);
    CloseHandle(first.hProcess);
    return main != nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--case") gCase = value;
        else if (option == "--grevlin") gGrevlin = value;
        else if (option == "--shots") gShotFolder = value;
    }
    if (gCase.empty() || gGrevlin.empty()) {
        std::printf("usage: driver.exe --case NAME --grevlin PATH [--shots FOLDER]\n");
        return 2;
    }
    std::printf("case %s\n", gCase.c_str());
    const std::string log = LogPath();
    if (gCase == "clean") {
        // Two scans in a row: the second block follows the first.
        Check(!FileThere(log), "no log file before the first scan");
        Plan first;
        first.tour = true;
        ScanCase(ShotPlan(first, true), {false, true, false, false});
        const std::string once = ReadText(log);
        Plan second;
        second.leave = Leave::CloseBox;
        ScanCase(ShotPlan(second, false), {false, true, false, false});
        const std::string twice = ReadText(log);
        size_t blocks = 0;
        for (size_t at = twice.find("Grevlin 6.05\r\nScan started on ["); at != std::string::npos;
             at = twice.find("Grevlin 6.05\r\nScan started on [", at + 1))
            ++blocks;
        // The closing line's CR LF, then two empty lines, then the second block.
        Check(blocks == 2 && StartsWith(twice, once) && EndsWith(once, "\r\n\r\n\r\n") &&
                  StartsWith(twice.substr(once.size()), "Grevlin 6.05\r\n"),
              "after two scans the log holds two blocks, two empty lines apart");
    } else if (gCase == "infected-yes") {
        Plan plan;
        plan.tour = true;
        ScanCase(ShotPlan(plan, true), {true, true, true, false});
    } else if (gCase == "infected-no") {
        Plan plan;
        plan.answerReset = IDNO;
        plan.leave = Leave::CloseBox;
        ScanCase(ShotPlan(plan, true), {true, true, false, false});
    } else if (gCase == "abort") {
        Plan plan;
        plan.abortInSystemFolder = true;
        plan.answerReset = IDNO;
        ScanCase(ShotPlan(plan, true), {true, true, false, true});
    } else if (gCase == "close") {
        // Closing the main window mid-scan aborts as the button does; Yes to the reset this time.
        Plan plan;
        plan.closeInSystemFolder = true;
        ScanCase(ShotPlan(plan, true), {true, true, true, true});
    } else if (gCase == "decline-ie") {
        Plan plan;
        plan.answerIe = IDNO;
        Outcome out;
        if (Run(ShotPlan(plan, true), out)) {
            Check(!FileThere(log), "No to the Internet Explorer question writes no log file");
            const Machine untouched = {true, false, false, false};
            CheckFiles(untouched, out);
            CheckRegistry(untouched);
            CheckProcesses(untouched, out, false);
        }
    } else if (gCase == "watch") {
        // A person drives: start the program and wait until it has ended,
        // following the restart a themed system makes.
        return Watch() ? 0 : 1;
    } else {
        std::printf("unknown case %s\n", gCase.c_str());
        return 2;
    }
    for (const std::string& shot : gShots) std::printf("screenshot %s\n", shot.c_str());  // named by moment
    std::printf("%s: case %s, %d failure(s)\n", gFailures ? "FAILED" : "PASSED", gCase.c_str(), gFailures);
    return gFailures ? 1 : 0;
}
