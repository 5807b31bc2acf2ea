// The simulated process list: the machine's processes as the snapshot and
// the psapi walk report them, the refusals a process can make, and what
// ending one does to the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

class ProcessesSim : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(0, sim::OpenHandles());
        sim::Reset();  // the conformance tests that follow find a fresh machine
    }

    static std::vector<std::string> SnapshotNames()
    {
        std::vector<std::string> names;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry;
        std::memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            names.push_back(entry.szExeFile);
        CloseHandle(snapshot);
        return names;
    }

    static std::vector<DWORD> Ids()
    {
        std::vector<DWORD> ids(4096);
        DWORD bytes = 0;
        EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * 4), &bytes);
        ids.resize(bytes / 4);
        return ids;
    }

    static std::string ModulePath(DWORD id)
    {
        HANDLE process = OpenProcess(0x0411, FALSE, id);
        if (process == nullptr) return "<no open>";
        char name[MAX_PATH] = {};
        HMODULE modules[8];
        DWORD needed = 0;
        std::string path = "<no modules>";
        if (EnumProcessModules(process, modules, sizeof modules, &needed) &&
            GetModuleFileNameExA(process, modules[0], name, MAX_PATH) > 0)
            path = name;
        CloseHandle(process);
        return path;
    }
};

TEST_F(ProcessesSim, FreshMachineRunsTheShellAndTheProgram)
{
    EXPECT_EQ((std::vector<std::string>{"C:\\WINDOWS\\explorer.exe", "C:\\Program Files\\Grevlin\\Grevlin.exe"}),
              SnapshotNames());
    const std::vector<DWORD> ids = Ids();
    ASSERT_EQ(2u, ids.size());
    EXPECT_EQ(sim::SelfProcessId(), GetCurrentProcessId());
    EXPECT_EQ(sim::SelfProcessId(), ids[1]);
    EXPECT_EQ("C:\\WINDOWS\\explorer.exe", ModulePath(ids[0]));
    EXPECT_EQ(ids, sim::RunningProcesses());
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
}

TEST_F(ProcessesSim, ProgramProcessFollowsItsModulePath)
{
    sim::SetModulePath("D:\\Tools\\Grevlin.exe");
    EXPECT_EQ("D:\\Tools\\Grevlin.exe", ModulePath(sim::SelfProcessId()));
    EXPECT_EQ("D:\\Tools\\Grevlin.exe", SnapshotNames().back());
}

TEST_F(ProcessesSim, SnapshotAndModulesReportWhatTheMachineSays)
{
    sim::ProcessSpec spec;
    spec.exeFile = "winlogon.exe";
    spec.modulePath = "\\??\\C:\\WINDOWS\\system32\\winlogon.exe";
    const DWORD winlogon = sim::AddProcess(spec);
    const DWORD ie = sim::AddProcess("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");
    EXPECT_NE(winlogon, ie);
    EXPECT_EQ(0u, winlogon % 4);
    EXPECT_EQ("winlogon.exe", SnapshotNames()[2]);
    EXPECT_EQ("\\??\\C:\\WINDOWS\\system32\\winlogon.exe", ModulePath(winlogon));
    EXPECT_EQ("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE", ModulePath(ie));
    EXPECT_EQ((std::vector<DWORD>{Ids()[0], sim::SelfProcessId(), winlogon, ie}), Ids());
}

TEST_F(ProcessesSim, TerminationEndsTheProcessSimOnly)
{
    const DWORD a = sim::AddProcess("C:\\WINDOWS\\a.exe");
    const DWORD b = sim::AddProcess("C:\\WINDOWS\\b.exe");
    for (DWORD id : {b, a}) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        ASSERT_NE(nullptr, process);
        EXPECT_TRUE(TerminateProcess(process, 0));
        EXPECT_FALSE(TerminateProcess(process, 0)) << "an ended process cannot end again";
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        CloseHandle(process);
    }
    EXPECT_EQ((std::vector<DWORD>{b, a}), sim::TerminatedProcesses());
    EXPECT_FALSE(sim::IsRunning(a));
    EXPECT_EQ(2u, Ids().size());
    EXPECT_EQ(2u, SnapshotNames().size());
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, a));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ProcessesSim, ASnapshotKeepsTheListOfItsMomentSimOnly)
{
    const DWORD a = sim::AddProcess("C:\\WINDOWS\\a.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, a);
    ASSERT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    sim::AddProcess("C:\\WINDOWS\\later.exe");
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) ++count;
    EXPECT_EQ(3, count);
    EXPECT_TRUE(Process32First(snapshot, &entry)) << "the walk can start over";
    CloseHandle(snapshot);
}

TEST_F(ProcessesSim, ProcessesCanRefuseSimOnly)
{
    sim::ProcessSpec closed;
    closed.exeFile = closed.modulePath = "C:\\WINDOWS\\system32\\csrss.exe";
    closed.canOpen = false;
    const DWORD csrss = sim::AddProcess(closed);
    EXPECT_EQ(nullptr, OpenProcess(0x0411, FALSE, csrss));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    sim::ProcessSpec stubborn;
    stubborn.exeFile = stubborn.modulePath = "C:\\WINDOWS\\svchost.exe";
    stubborn.canTerminate = false;
    stubborn.canEnumModules = false;
    const DWORD svchost = sim::AddProcess(stubborn);
    HANDLE process = OpenProcess(0x0411, FALSE, svchost);
    ASSERT_NE(nullptr, process);
    HMODULE modules[4];
    DWORD needed = 0;
    EXPECT_FALSE(EnumProcessModules(process, modules, sizeof modules, &needed));
    char name[MAX_PATH];
    EXPECT_EQ(0u, GetModuleFileNameExA(process, nullptr, name, MAX_PATH));
    EXPECT_FALSE(TerminateProcess(process, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(process);
    EXPECT_TRUE(sim::IsRunning(svchost));
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
}

TEST_F(ProcessesSim, EnumProcessesStopsAtTheBufferSimOnly)
{
    for (int i = 0; i < 1100; ++i) sim::AddProcess("C:\\WINDOWS\\p" + std::to_string(i) + ".exe");
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids.data(), 4096, &bytes));
    EXPECT_EQ(4096u, bytes) << "a full buffer, the rest left out";
    const std::vector<DWORD> running = sim::RunningProcesses();
    ASSERT_EQ(1102u, running.size());
    EXPECT_EQ(std::vector<DWORD>(running.begin(), running.begin() + 1024), ids);
}

TEST_F(ProcessesSim, ModuleListNamesTheExecutableFirst)
{
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    HMODULE modules[8] = {};
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(self, modules, sizeof(HMODULE), &needed));
    EXPECT_EQ(2 * sizeof(HMODULE), needed) << "the size of the whole list, even when it did not fit";
    EXPECT_EQ(nullptr, modules[1]);
    char name[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(modules[0], name, MAX_PATH), 0u);
    EXPECT_STREQ("C:\\Program Files\\Grevlin\\Grevlin.exe", name);
    ASSERT_TRUE(EnumProcessModules(self, modules, sizeof modules, &needed));
    ASSERT_GT(GetModuleFileNameExA(self, modules[1], name, MAX_PATH), 0u);
    EXPECT_STREQ("C:\\WINDOWS\\system32\\ntdll.dll", name);
    EXPECT_EQ(0u, GetModuleFileNameExA(self, reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1230000)), name,
                                       MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(self);
}

TEST_F(ProcessesSim, EndingAProcessReleasesItsFilesSimOnly)
{
    sim::AddFile("C:\\WINDOWS\\locked.dll", "MZ");
    const DWORD holder = sim::AddProcess("C:\\WINDOWS\\rundll32.exe");
    sim::HoldFile(holder, "C:\\WINDOWS\\locked.dll", 0);
    HANDLE file = CreateFileA("C:\\WINDOWS\\locked.dll", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, holder);
    ASSERT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    file = CreateFileA("C:\\WINDOWS\\locked.dll", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);

    // One that is slow to exit lets go of its files only when it has exited.
    sim::ProcessSpec slow;
    slow.exeFile = slow.modulePath = "C:\\WINDOWS\\explorer.exe";
    slow.exitMs = 150;
    const DWORD shell = sim::AddProcess(slow);
    sim::HoldFile(shell, "C:\\WINDOWS\\locked.dll", 0);
    process = OpenProcess(PROCESS_TERMINATE, FALSE, shell);
    ASSERT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    EXPECT_FALSE(sim::IsRunning(shell));
    Sleep(100);
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\locked.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    sim::AdvanceMs(50);
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\locked.dll"));
}

TEST_F(ProcessesSim, StartedProgramsJoinTheProcessListSimOnly)
{
    sim::AddFile("C:\\WINDOWS\\explorer.exe", "MZ");
    sim::AddFile("C:\\Program Files\\Grevlin\\explorer.exe", "MZ planted");
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;

    // Without an application name the first word is looked for, the
    // program's own folder first: a planted copy wins over the system's.
    char bare[] = "explorer /n";
    ASSERT_TRUE(CreateProcessA(nullptr, bare, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
    EXPECT_EQ(2, sim::OpenHandles()) << "the process and its thread, until closed";
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    ASSERT_TRUE(CreateProcessA("C:\\WINDOWS\\explorer.exe", nullptr, nullptr, nullptr, FALSE, 0,
                               nullptr, "C:\\WINDOWS", &startup, &started));
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    const std::vector<sim::StartedProgram> programs = sim::StartedPrograms();
    ASSERT_EQ(2u, programs.size());
    EXPECT_EQ("C:\\Program Files\\Grevlin\\explorer.exe", programs[0].module);
    EXPECT_EQ(static_cast<UINT>(SW_SHOWDEFAULT), programs[0].show) << "no STARTF_USESHOWWINDOW";
    EXPECT_EQ("C:\\WINDOWS\\explorer.exe", programs[1].commandLine);
    EXPECT_EQ("C:\\WINDOWS", programs[1].currentFolder);
    EXPECT_EQ("C:\\WINDOWS\\explorer.exe", ModulePath(started.dwProcessId));

    const struct {
        const char* application;
        const char* folder;
        DWORD error;
    } refused[] = {
        {"C:\\WINDOWS\\explorer", nullptr, ERROR_FILE_NOT_FOUND},  // no ".exe" added
        {"C:\\NOWHERE\\explorer.exe", nullptr, ERROR_PATH_NOT_FOUND},
        {"C:\\WINDOWS\\explorer.exe", "C:\\NOWHERE", ERROR_DIRECTORY},
    };
    for (const auto& start : refused) {
        EXPECT_FALSE(CreateProcessA(start.application, nullptr, nullptr, nullptr, FALSE, 0,
                                    nullptr, start.folder, &startup, &started));
        EXPECT_EQ(start.error, GetLastError()) << start.application;
    }
    EXPECT_EQ(2u, sim::StartedPrograms().size());
}

TEST_F(ProcessesSim, ForgedHandlesAreRefused)
{
    HANDLE forged = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x777));
    EXPECT_FALSE(TerminateProcess(forged, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    EXPECT_FALSE(Process32First(forged, &entry));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_FALSE(TerminateProcess(snapshot, 0)) << "a snapshot is no process";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(snapshot);
}

// NT's wide queries name an image or a library as it is, the A ones by best
// fit; libraries a process loaded follow its executable in every list.
TEST_F(ProcessesSim, UnicodeImagesAndLoadedLibraries)
{
    sim::SetPlatform(sim::Family::Nt, 6, 0, 6002);
    sim::ProcessSpec spec;
    spec.imagePath = L"C:\\Apps\\..\uFF3Cexplorer.exe";
    const DWORD id = sim::AddProcess(spec);
    sim::LoadModule(id, L"C:\\Temp\\\uFF53e.dll");
    sim::LoadModule(id, "C:\\WINDOWS\\system32\\shell32.dll");
    EXPECT_EQ("..\\explorer.exe", SnapshotNames().back()) << "the file name by best fit";
    EXPECT_EQ("C:\\Apps\\..\\explorer.exe", ModulePath(id));

    platform::LoadedLibrary psapi("psapi.dll");
    platform::LoadedLibrary kernel32("kernel32.dll");
    const auto moduleName = psapi.Entry<GetModuleFileNameExWFn>("GetModuleFileNameExW");
    const auto imageName = kernel32.Entry<QueryFullProcessImageNameWFn>("QueryFullProcessImageNameW");
    ASSERT_TRUE(moduleName != nullptr && imageName != nullptr);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    ASSERT_NE(nullptr, process);
    HMODULE modules[8] = {};
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(process, modules, sizeof modules, &needed));
    ASSERT_EQ(4 * sizeof(HMODULE), needed);
    WCHAR wide[MAX_PATH];
    auto text = [&wide](DWORD length) { return platform::FromUtf16(wide, length); };
    EXPECT_EQ(L"C:\\Apps\\..\uFF3Cexplorer.exe", text(moduleName(process, modules[0], wide, MAX_PATH)));
    EXPECT_EQ(L"C:\\Temp\\\uFF53e.dll", text(moduleName(process, modules[2], wide, MAX_PATH)));
    EXPECT_EQ(L"C:\\WINDOWS\\system32\\shell32.dll", text(moduleName(process, modules[3], wide, MAX_PATH)));
    char ansi[MAX_PATH];
    ASSERT_GT(GetModuleFileNameExA(process, modules[2], ansi, MAX_PATH), 0u);
    EXPECT_STREQ("C:\\Temp\\se.dll", ansi);
    DWORD size = MAX_PATH;
    ASSERT_TRUE(imageName(process, 0, wide, &size));
    EXPECT_EQ(L"C:\\Apps\\..\uFF3Cexplorer.exe", text(size));
    size = MAX_PATH;
    ASSERT_TRUE(QueryFullProcessImageNameA(process, 0, ansi, &size));
    EXPECT_STREQ("C:\\Apps\\..\\explorer.exe", ansi);
    CloseHandle(process);

    const auto first = kernel32.Entry<Module32FirstFn>("Module32First");
    const auto next = kernel32.Entry<Module32NextFn>("Module32Next");
    ASSERT_TRUE(first != nullptr && next != nullptr);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    MODULEENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    std::vector<std::string> paths;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
        EXPECT_EQ(id, entry.th32ProcessID);
        EXPECT_EQ(modules[paths.size()], entry.hModule) << "the handles psapi lists";
        paths.push_back(entry.szExePath);
    }
    EXPECT_EQ((std::vector<std::string>{"C:\\Apps\\..\\explorer.exe", "C:\\WINDOWS\\system32\\ntdll.dll",
                                        "C:\\Temp\\se.dll", "C:\\WINDOWS\\system32\\shell32.dll"}),
              paths);
    ASSERT_TRUE(first(snapshot, &entry));
    EXPECT_STREQ("..\\explorer.exe", entry.szModule);
    CloseHandle(snapshot);
}

// A process whose modules cannot be read (a 64-bit one, seen from this
// 32-bit program) refuses every walk of them; so does one that cannot be opened.
TEST_F(ProcessesSim, UnreadableModulesAreRefusedEverywhereSimOnly)
{
    sim::ProcessSpec spec;
    spec.exeFile = spec.modulePath = "C:\\WINDOWS\\explorer.exe";
    spec.canEnumModules = false;
    const DWORD unreadable = sim::AddProcess(spec);
    sim::LoadModule(unreadable, "C:\\WINDOWS\\system32\\se.dll");
    spec.canEnumModules = true;
    spec.canOpen = false;
    const DWORD closed = sim::AddProcess(spec);

    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, unreadable);
    ASSERT_NE(nullptr, process);
    HMODULE modules[8];
    DWORD needed = 0;
    EXPECT_FALSE(EnumProcessModules(process, modules, sizeof modules, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PARTIAL_COPY), GetLastError());
    WCHAR wide[MAX_PATH];
    EXPECT_EQ(0u, GetModuleFileNameExW(process, nullptr, wide, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PARTIAL_COPY), GetLastError());
    CloseHandle(process);

    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, unreadable));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PARTIAL_COPY), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, closed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 7));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_THROW(sim::LoadModule(7, "C:\\x.dll"), std::invalid_argument);
}

// Windows 9x walks modules only through toolhelp; NT 4.0 only through psapi.
TEST_F(ProcessesSim, ModuleWalksWhereTheFamilyHasThemSimOnly)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    const DWORD shell = sim::RunningProcesses()[0];
    sim::LoadModule(shell, "C:\\WINDOWS\\SYSTEM\\se.dll");
    {
        platform::LoadedLibrary kernel32("kernel32.dll");
        EXPECT_FALSE(platform::LoadedLibrary("psapi.dll").Loaded());
        const auto first = kernel32.Entry<Module32FirstFn>("Module32First");
        const auto next = kernel32.Entry<Module32NextFn>("Module32Next");
        ASSERT_TRUE(first != nullptr && next != nullptr);
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, shell);
        MODULEENTRY32 entry;
        std::memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        bool listed = false;
        for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry))
            listed = listed || std::string(entry.szExePath) == "C:\\WINDOWS\\SYSTEM\\se.dll";
        EXPECT_TRUE(listed);
        CloseHandle(snapshot);
    }
    sim::SetPlatform(sim::Family::Nt, 4, 0, 1381);
    platform::LoadedLibrary kernel32("kernel32.dll");
    EXPECT_EQ(nullptr, kernel32.Entry<Module32FirstFn>("Module32First"));
    EXPECT_EQ(nullptr, kernel32.Entry<QueryFullProcessImageNameWFn>("QueryFullProcessImageNameW"));
    EXPECT_NE(nullptr, platform::LoadedLibrary("psapi.dll").Entry<GetModuleFileNameExWFn>("GetModuleFileNameExW"));
}

}  // namespace
