// The real program's whole scan, driven through its window as a person would
// (run under Wine on a clean throwaway machine, bench/run-wine-benches): the
// time from the click on Yes to "Shut down Internet Explorer" until the "Scan
// Completed" box, less the time a message box takes to return, beside
// reading the bytes of the files the scan walks once, and beside the file
// stage's bound, all in one run. N extra candidates of 1 KiB to 8 MiB are
// added to the system folder for the run and removed afterwards.
//
//   gui_scan_bench.exe --grevlin PATH [--before PATH] [--files N] [--rounds N] [--timeline yes]
//
// --before names an earlier Grevlin.exe, timed in the same rounds; --timeline
// also reads the status line while the scan runs, to show when each stage began.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bench_util.h"
#include "forms/control_ids.h"
#include "platform/win32.h"
#include "window_tools.h"

using drive::FindTop;
using drive::Text;

namespace {

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

// Polls every 5 ms for at most `seconds`.
template <typename Condition>
bool WaitFor(Condition condition, double seconds)
{
    const double until = bench::Now() + seconds;
    while (!condition()) {
        if (bench::Now() > until) return false;
        Sleep(5);
    }
    return true;
}

struct Scan {
    double seconds = 0;  // from the click on Yes to the summary box
    double peakMib = 0;  // the program's peak working set when the scan ended
    // With --timeline: when the status line first showed each stage (seconds
    // after Yes), the stream stage, the file stage, the Windows folder's first
    // file, the system folder's first file.
    double stages[4] = {-1, -1, -1, -1};
};

const char* const kStageNames[4] = {"stream stage", "file stage", "first file, Windows folder",
                                     "first file, system folder"};
bool gTimeline = false;
std::string gWindowsFolder, gSystemFolder;

// Notes the stage the status line shows now.
void NoteStage(HWND status, double since, Scan& scan)
{
    const std::string text = Text(status);
    auto inFolder = [&](const std::string& folder) {
        return text.size() > folder.size() && lstrcmpiA(text.substr(0, folder.size()).c_str(), folder.c_str()) == 0 &&
               text.find('\\', folder.size()) == std::string::npos;
    };
    const bool seen[4] = {text == "Scanning ADS locations...", text == "Scanning File locations...",
                          inFolder(gWindowsFolder), inFolder(gSystemFolder)};
    for (int i = 0; i < 4; ++i)
        if (seen[i] && scan.stages[i] < 0) scan.stages[i] = bench::Now() - since;
}

// One whole run: start, "Begin Removal", Yes, the scan, the summary, the About
// window's "Exit", "Logfile created", the end of the program.
Scan RunOnce(const std::string& program)
{
    const std::string folder = program.substr(0, program.find_last_of('\\'));
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &started))
        bench::Fail("cannot start " + program);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    // A themed system restarts the program once: follow the window.
    HWND main = nullptr;
    if (!WaitFor([&] { return (main = FindTop(0, GREVLIN_MAIN_CLASS)) != nullptr; }, 120))
        bench::Fail("no main window from " + program);
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);

    Click(GetDlgItem(main, IDC_CMDSCAN));
    std::set<HWND> answered;
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindTop(processId, "#32770")) != nullptr; }, 60))
        bench::Fail("no question after \"Begin Removal\"");
    answered.insert(box);
    const double start = bench::Now();
    Click(GetDlgItem(box, IDYES));

    Scan scan;
    HWND status = GetDlgItem(main, IDC_LBLSCANNING);
    for (;;) {
        if (!WaitFor(
                [&] {
                    if (gTimeline) NoteStage(status, start, scan);
                    return (box = FindTop(processId, "#32770", answered)) != nullptr;
                },
                3600))
            bench::Fail("the scan did not end");
        answered.insert(box);
        const std::string title = Text(box);
        if (title == "Scan Completed") {
            scan.seconds = bench::Now() - start;
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof counters;
            if (GetProcessMemoryInfo(process, &counters, sizeof counters))
                scan.peakMib = bench::Mib(counters.PeakWorkingSetSize);
            Click(GetDlgItem(box, IDOK));
            break;
        }
        if (title == "Reset Internet Settings") bench::Fail("the machine is not clean: something was found");
        Click(GetDlgItem(box, IDOK));
    }

    HWND about = nullptr;
    if (!WaitFor([&] { return (about = FindTop(processId, GREVLIN_ABOUT_CLASS)) != nullptr; }, 60))
        bench::Fail("no About window");
    Click(GetDlgItem(about, IDC_CMDEXIT));
    if (!WaitFor([&] { return (box = FindTop(processId, "#32770", answered)) != nullptr; }, 60))
        bench::Fail("no \"Logfile created\" box");
    Click(GetDlgItem(box, IDOK));
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) bench::Fail("the program did not end");
    CloseHandle(process);
    return scan;
}

// Under Wine on a display without a window manager a message box returns
// about 2 s after its button is pressed, and the scan starts only when the
// question box has returned. A box of our own, answered the same way,
// measures that time, so that it can be taken off the scan's.
DWORD WINAPI ShowLatencyBox(LPVOID returned)
{
    HWND owner = CreateWindowA("STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
    MessageBoxA(owner, "Latency", "Latency", MB_YESNO | MB_ICONINFORMATION | MB_APPLMODAL);
    *static_cast<double*>(returned) = bench::Now();
    DestroyWindow(owner);
    return 0;
}

double BoxLatency()
{
    double returned = 0;
    HANDLE thread = CreateThread(nullptr, 0, ShowLatencyBox, &returned, 0, nullptr);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindTop(GetCurrentProcessId(), "#32770")) != nullptr; }, 60))
        bench::Fail("no box of our own");
    Sleep(200);
    const double clicked = bench::Now();
    Click(GetDlgItem(box, IDYES));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return returned - clicked;
}

std::string Folder(UINT (WINAPI* get)(LPSTR, UINT))
{
    char path[MAX_PATH + 1] = {};
    get(path, MAX_PATH);
    return std::string(path) + "\\";
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> programs;
    int fileCount = 2000, rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--grevlin") programs.insert(programs.begin(), value);
        else if (option == "--before") programs.push_back(value);
        else if (option == "--files") fileCount = std::atoi(value.c_str());
        else if (option == "--rounds") rounds = std::atoi(value.c_str());
        else if (option == "--timeline") gTimeline = value == "yes";
    }
    if (programs.empty() || fileCount < 0 || rounds < 1) {
        std::fprintf(stderr, "usage: gui_scan_bench --grevlin PATH [--before PATH] [--files N] [--rounds N]\n");
        return 2;
    }

    const std::string windows = Folder(GetWindowsDirectoryA), system = Folder(GetSystemDirectoryA);
    gWindowsFolder = windows;
    gSystemFolder = system;
    const std::vector<bench::Candidate> extra = bench::PlanCandidates(fileCount, "gvbench");
    bench::WriteCandidates(system, extra);

    auto walked = [&](bench::Bytes (*read)(const std::string&)) {
        const bench::Bytes inWindows = read(windows), inSystem = read(system);
        return bench::Bytes{inWindows.files + inSystem.files, inWindows.bytes + inSystem.bytes, 0};
    };
    const bench::Bytes whole = walked(bench::ReadWhole);
    std::printf("the walked folders %s and %s: %llu candidates, %.0f MiB (%d added); warm cache, %d rounds\n",
                windows.c_str(), system.c_str(), static_cast<unsigned long long>(whole.files),
                bench::Mib(whole.bytes), fileCount, rounds);

    std::vector<std::vector<double>> scans(programs.size());
    std::vector<double> latencies;
    std::vector<std::vector<std::vector<double>>> stages(programs.size(), std::vector<std::vector<double>>(4));
    std::vector<double> peaks(programs.size(), 0), reads, heads;
    for (int round = 0; round < rounds; ++round) {
        for (size_t p = 0; p < programs.size(); ++p) {
            const Scan scan = RunOnce(programs[p]);
            scans[p].push_back(scan.seconds);
            for (int i = 0; i < 4; ++i) stages[p][i].push_back(scan.stages[i]);
            peaks[p] = std::max(peaks[p], scan.peakMib);
        }
        latencies.push_back(BoxLatency());
        double start = bench::Now();
        if (walked(bench::ReadWhole).bytes != whole.bytes) bench::Fail("the whole read saw other bytes");
        reads.push_back(bench::Now() - start);
        start = bench::Now();
        walked(bench::ReadHeads);
        heads.push_back(bench::Now() - start);
    }

    // Each scan less the median return time of a message box.
    const double latency = bench::Median(latencies);
    for (auto& times : scans)
        for (double& t : times) t -= latency;
    std::printf("a message box returns %.3f s after its button is pressed (median); taken off each scan\n",
                latency);
    std::printf("%-46s %9s %9s %12s\n", "", "median s", "best s", "peak WS MiB");
    for (size_t p = 0; p < programs.size(); ++p)
        std::printf("%-46s %9.3f %9.3f %12.1f\n", (std::string("whole scan, ") + programs[p]).c_str(),
                    bench::Median(scans[p]), bench::Best(scans[p]), peaks[p]);
    std::printf("%-46s %9.3f %9.3f\n", "read every byte of the walked files once", bench::Median(reads),
                bench::Best(reads));
    std::printf("%-46s %9.3f %9.3f\n", "open, read 40 KiB, close each walked file", bench::Median(heads),
                bench::Best(heads));
    for (size_t p = 0; p < programs.size(); ++p) {
        std::printf("whole scan / one read: %.2fx (%s); rounds:", bench::Median(scans[p]) / bench::Median(reads),
                    programs[p].c_str());
        for (double t : scans[p]) std::printf(" %.3f", t);
        std::printf("\n");
    }
    for (size_t p = 0; gTimeline && p < programs.size(); ++p) {
        std::printf("status line first showed, median s after Yes (%s):", programs[p].c_str());
        for (int i = 0; i < 4; ++i) std::printf(" %s %.3f;", kStageNames[i], bench::Median(stages[p][i]));
        std::printf("\n");
    }

    bench::RemoveCandidates(system, extra);
    return 0;
}
