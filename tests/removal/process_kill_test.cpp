// Module path normalisation and the program's own process, on the machine the
// tests run on.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "environment/paths.h"
#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "removal/process_kill.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

namespace {

TEST(ProcessKill, KernelPrefixesAreDropped)
{
    EXPECT_EQ(NormaliseModulePath(L"\\??\\C:\\WINDOWS\\system32\\winlogon.exe"),
              L"C:\\WINDOWS\\system32\\winlogon.exe");
    EXPECT_EQ(NormaliseModulePath(L"??\\D:\\x.exe"), L"D:\\x.exe");
    EXPECT_EQ(NormaliseModulePath(L"\\Device\\x.exe"), L"Device\\x.exe");
    EXPECT_EQ(NormaliseModulePath(L"C:\\Apps\\plain.exe"), L"C:\\Apps\\plain.exe");
    EXPECT_EQ(NormaliseModulePath(L""), L"");
}

TEST(ProcessKill, SystemRootBecomesTheFoldersOfThisMachine)
{
    const std::wstring windows = GetWindowsDir();
    const std::wstring system = GetSystemDir();
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(system.empty());

    EXPECT_EQ(NormaliseModulePath(L"%SystemRoot%\\system32\\svc.exe"),
              windows + L"\\system32\\svc.exe");
    EXPECT_EQ(NormaliseModulePath(L"%SYSTEMROOT%\\a.exe"), windows + L"\\a.exe");
    // The kernel's own form names the system folder, not the Windows folder.
    EXPECT_EQ(NormaliseModulePath(L"\\SystemRoot\\System32\\smss.exe"),
              system + L"\\System32\\smss.exe");
    EXPECT_EQ(NormaliseModulePath(L"\\systemroot\\a\\SystemRoot.exe"),
              system + L"\\a\\" + system + L".exe");
}

TEST(ProcessKill, TheProgramDoesNotEndItself)
{
    // Ends every other process whose path holds this program's name.
    REQUIRE_THROWAWAY_MACHINE();
    fakeui::Reset();
    char module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring path = platform::FromAnsi(module, length);

    // On Windows, ending this process would end the test run here.
    KillProcessByName(path.substr(path.rfind(L'\\') + 1), kTrue);
    KillProcessByName(path, kFalse);

    DWORD ids[1024] = {};
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids, sizeof(ids), &bytes));
    bool listed = false;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) listed = listed || ids[i] == GetCurrentProcessId();
    EXPECT_TRUE(listed);
}

#ifdef _WIN32
// Only a real Windows starts processes: a copy of the command interpreter in
// a folder of its own, waiting on a pipe that never delivers a line. Taken
// from the system folder, or from a folder below the Windows folder
// ("sysnative": the 64-bit one, seen from a 32-bit program).
class ProbeProcess {
public:
    explicit ProbeProcess(const char* belowWindows = nullptr, const char* folderTag = "walk")
    {
        char temp[MAX_PATH] = {};
        char system[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        if (belowWindows == nullptr) {
            GetSystemDirectoryA(system, MAX_PATH);
        } else {
            GetWindowsDirectoryA(system, MAX_PATH);
            lstrcatA(system, "\\");
            lstrcatA(system, belowWindows);
        }
        const std::string id = std::to_string(GetCurrentProcessId());
        folderName_ = std::string("grevlin-") + folderTag + "-" + id;
        fileName_ = "gvq_walkprobe_" + id + ".exe";
        folder_ = std::string(temp) + folderName_;
        exe_ = folder_ + "\\" + fileName_;
        CreateDirectoryA(folder_.c_str(), nullptr);
        if (!CopyFileA((std::string(system) + "\\cmd.exe").c_str(), exe_.c_str(), FALSE)) return;

        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(&input_, &feed_, &inherit, 0)) return;
        SetHandleInformation(feed_, HANDLE_FLAG_INHERIT, 0);
        output_ = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input_;
        startup.hStdOutput = startup.hStdError = output_;
        std::string commandLine = "\"" + exe_ + "\" /q /k";
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(exe_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, DETACHED_PROCESS,
                           nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
    }
    ~ProbeProcess()
    {
        if (process_ != nullptr) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, INFINITE);
            CloseHandle(process_);
        }
        for (HANDLE handle : {input_, feed_, output_})
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        DeleteFileA(exe_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    // A file name no other process has, and its folder.
    std::wstring FileName() const { return platform::FromAnsi(fileName_); }
    std::wstring FolderName() const { return platform::FromAnsi(folderName_); }
    // Bounded so that a process the walk missed fails the test instead of hanging it.
    bool Ended(DWORD& exitCode) const
    {
        if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) return false;
        return GetExitCodeProcess(process_, &exitCode) != 0;
    }
    bool Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    std::wstring Path() const { return platform::FromAnsi(exe_); }
    HANDLE Process() const { return process_; }

private:
    std::string folderName_, fileName_, folder_, exe_;
    HANDLE input_ = nullptr, feed_ = nullptr, output_ = INVALID_HANDLE_VALUE;
    HANDLE process_ = nullptr;
};

TEST(ProcessKill, EndsARunningProcessFoundByItsFileNameOnly)
{
    fakeui::Reset();
    ResetSharedState();
    ProbeProcess probe;
    ASSERT_TRUE(probe.Started()) << "error " << GetLastError();
    ASSERT_TRUE(probe.Running());

    // Parts of its path are not its name.
    const std::wstring name = probe.FileName();
    const std::wstring parts[] = {probe.FolderName() + L"\\" + name, probe.FolderName(),
                                  name.substr(1), name.substr(0, name.size() - 4),
                                  name + L".other"};
    for (const std::wstring& part : parts)
        EXPECT_EQ(0, KillProcessByName(part, kTrue)) << platform::ToAnsi(part);
    EXPECT_TRUE(probe.Running());

    std::wstring target = name;
    for (wchar_t& c : target) c = static_cast<wchar_t>(towupper(c));
    EXPECT_EQ(1, KillProcessByName(target, kTrue));
    DWORD exitCode = 1;
    ASSERT_TRUE(probe.Ended(exitCode));
    EXPECT_EQ(0u, exitCode) << "the walk ends processes with exit code 0";
    EXPECT_EQ(gExplorerEnded, kFalse);
}

// A removal ends the program that runs the very file, however its path is
// spelt, and a process only for a library it has loaded; a program of the
// same name elsewhere runs on.
TEST(ProcessKill, FilesEndOnlyTheProcessesThatRunOrLoadThem)
{
    fakeui::Reset();
    ResetSharedState();
    ProbeProcess probe;
    ProbeProcess twin(nullptr, "twin");
    ASSERT_TRUE(probe.Started() && twin.Started()) << "error " << GetLastError();

    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_EQ(0, EndProcessesWithModule(probe.FileName(), platform::FromAnsi(self)));
    EXPECT_EQ(0, EndProcessesWithModule(L"rundll32.exe", platform::FromAnsi(system) + L"\\kernel32.dll"));
    EXPECT_TRUE(probe.Running() && twin.Running());

    // Upper case and a "." in the path still name the probe's file.
    const std::wstring path = probe.Path();
    const size_t slash = path.rfind(L'\\');
    std::wstring spelt = path.substr(0, slash) + L"\\.\\" + path.substr(slash + 1);
    for (wchar_t& c : spelt) c = static_cast<wchar_t>(towupper(c));
    EXPECT_EQ(1, EndProcessesRunning(spelt));
    DWORD exitCode = 1;
    EXPECT_TRUE(probe.Ended(exitCode));
    EXPECT_TRUE(twin.Running());

    // The twin has kernel32 loaded like every program.
    EXPECT_EQ(1, EndProcessesWithModule(twin.FileName(), platform::FromAnsi(system) + L"\\kernel32.dll"));
    EXPECT_TRUE(twin.Ended(exitCode));
    EXPECT_EQ(gExplorerEnded, kFalse);
}

// The cleaning of a temporary folder ends the program run from it, and only that one.
TEST(ProcessKill, TheCleaningEndsOnlyTheProgramRunFromTheFolderItEmpties)
{
    fakeui::Reset();
    ResetSharedState();
    ProbeProcess probe(nullptr, "clean");
    ProbeProcess twin(nullptr, "twin");
    ASSERT_TRUE(probe.Started() && twin.Started()) << "error " << GetLastError();
    const std::wstring path = probe.Path();

    EXPECT_TRUE(CleanFolder(path.substr(0, path.rfind(L'\\') + 1)));

    DWORD exitCode = 1;
    EXPECT_TRUE(probe.Ended(exitCode));
    EXPECT_EQ(GetFileAttributesA(platform::ToAnsi(path).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(twin.Running());
}

// On 64-bit Windows a 32-bit program cannot list a 64-bit process's modules
// (64-bit Internet Explorer, the shell); its image name still names it.
TEST(ProcessKill, A32BitProgramEndsA64BitProcessByItsImageName)
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        GTEST_SKIP() << "skipped: needs a 32-bit program on 64-bit Windows";
    fakeui::Reset();
    ProbeProcess probe("sysnative");
    ASSERT_TRUE(probe.Started()) << "error " << GetLastError();
    HMODULE first = nullptr;
    DWORD needed = 0;
    ASSERT_FALSE(EnumProcessModules(probe.Process(), &first, sizeof(first), &needed))
        << "the modules of a 64-bit process were listed";

    // Nor what it has loaded: it is left alone for a library, ended for its image.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::wstring kernel32 = platform::FromAnsi(windows) + L"\\sysnative\\kernel32.dll";
    EXPECT_EQ(0, EndProcessesWithModule(probe.FileName(), kernel32));
    EXPECT_EQ(1, KillProcessByName(probe.FileName(), kTrue));
    DWORD exitCode = 1;
    EXPECT_TRUE(probe.Ended(exitCode));
}
#endif

}  // namespace
