// What process termination relies on from kernel32 and psapi: identifier
// lists in whole entries, snapshot records of the documented size, module
// paths of an opened process and the rights its handle carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

std::vector<DWORD> ProcessIds()
{
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    ids.resize(bytes / sizeof(DWORD));
    return ids;
}

std::string OwnPath()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

// Lower case as user32 maps it, to compare paths as Windows does.
std::wstring Lowered(const WCHAR* text, size_t length)
{
    std::basic_string<WCHAR> copy(text, length);
    CharLowerBuffW(&copy[0], static_cast<DWORD>(copy.size()));
    return platform::FromUtf16(copy.data(), copy.size());
}

std::wstring Lowered(const std::string& ansi)
{
    const std::basic_string<WCHAR> wide = platform::ToUtf16(platform::FromAnsi(ansi));
    return Lowered(wide.data(), wide.size());
}

// Opens this process and closes the handle when done.
class OwnProcess {
public:
    explicit OwnProcess(DWORD access) : handle_(OpenProcess(access, FALSE, GetCurrentProcessId())) {}
    ~OwnProcess()
    {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

TEST(Processes, EnumProcessesCountsBytesOfWholeIdentifiers)
{
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids.data(), 4096, &bytes));
    EXPECT_EQ(0u, bytes % 4) << bytes;
    EXPECT_GE(bytes, 8u) << "at least this process and the shell";
    EXPECT_LE(bytes, 4096u);
    ids.resize(bytes / 4);
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), GetCurrentProcessId()));
}

TEST(Processes, EnumProcessesFillsOnlyWholeEntriesThatFit)
{
    DWORD ids[4] = {0, 0, 0, 0xDEADBEEF};
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids, 6, &bytes));
    EXPECT_EQ(4u, bytes);
    EXPECT_NE(0u, ids[0]);
    EXPECT_EQ(0u, ids[1]);
    EXPECT_EQ(0xDEADBEEFu, ids[3]);
}

TEST(Processes, SnapshotWalksEveryProcessOnce)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    ASSERT_TRUE(Process32First(snapshot, &entry));
    std::vector<DWORD> seen;
    bool foundSelf = false;
    do {
        EXPECT_LT(std::strlen(entry.szExeFile), static_cast<size_t>(MAX_PATH));
        seen.push_back(entry.th32ProcessID);
        if (entry.th32ProcessID == GetCurrentProcessId()) foundSelf = true;
        entry.dwSize = sizeof entry;
    } while (Process32Next(snapshot, &entry) && seen.size() < 5000);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(foundSelf);
    std::vector<DWORD> unique = seen;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(unique.end(), std::adjacent_find(unique.begin(), unique.end()));
    EXPECT_FALSE(Process32Next(snapshot, &entry)) << "the end stays the end";
    EXPECT_TRUE(CloseHandle(snapshot));
}

TEST(Processes, SnapshotRefusesARecordThatIsTooSmall)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry - 4;
    EXPECT_FALSE(Process32First(snapshot, &entry));
    entry.dwSize = 0;
    EXPECT_FALSE(Process32First(snapshot, &entry));
    entry.dwSize = sizeof entry;
    EXPECT_TRUE(Process32First(snapshot, &entry));
    CloseHandle(snapshot);
}

TEST(Processes, FirstModuleIsTheExecutable)
{
    OwnProcess self(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_NE(nullptr, self.get());
    HMODULE modules[1024];
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(self.get(), modules, sizeof modules, &needed));
    EXPECT_GE(needed, static_cast<DWORD>(sizeof(HMODULE)));
    EXPECT_EQ(0u, needed % sizeof(HMODULE));

    char name[MAX_PATH];
    std::memset(name, 0, sizeof name);
    const DWORD length = GetModuleFileNameExA(self.get(), modules[0], name, MAX_PATH);
    EXPECT_EQ(std::strlen(name), length);
    EXPECT_STRCASEEQ(OwnPath().c_str(), name);

    std::memset(name, 0, sizeof name);
    EXPECT_GT(GetModuleFileNameExA(self.get(), nullptr, name, MAX_PATH), 0u);
    EXPECT_STRCASEEQ(OwnPath().c_str(), name) << "no module names the executable too";

    // The wide form, looked up at run time as the program does.
    platform::LoadedLibrary psapi("psapi.dll");
    const auto nameW = psapi.Entry<GetModuleFileNameExWFn>("GetModuleFileNameExW");
    ASSERT_NE(nullptr, nameW);
    WCHAR wide[MAX_PATH];
    const DWORD wideLength = nameW(self.get(), modules[0], wide, MAX_PATH);
    ASSERT_GT(wideLength, 0u);
    EXPECT_EQ(std::char_traits<WCHAR>::length(wide), wideLength);
    EXPECT_EQ(Lowered(OwnPath()), Lowered(wide, wideLength));
    EXPECT_EQ(4u, nameW(self.get(), modules[0], wide, 4)) << "a short buffer is filled";
    EXPECT_EQ(0, wide[3]) << "and ends with a NUL";
}

TEST(Processes, ModuleSnapshotStartsWithTheExecutable)
{
    platform::LoadedLibrary kernel32("kernel32.dll");
    const auto snap = kernel32.Entry<CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot");
    const auto first = kernel32.Entry<Module32FirstFn>("Module32First");
    const auto next = kernel32.Entry<Module32NextFn>("Module32Next");
    ASSERT_TRUE(snap != nullptr && first != nullptr && next != nullptr);

    HANDLE snapshot = snap(TH32CS_SNAPMODULE, GetCurrentProcessId());
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot) << GetLastError();
    MODULEENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry - 1;
    EXPECT_FALSE(first(snapshot, &entry)) << "a record that is too small";
    entry.dwSize = sizeof entry;
    ASSERT_TRUE(first(snapshot, &entry)) << GetLastError();
    EXPECT_EQ(GetCurrentProcessId(), entry.th32ProcessID);
    EXPECT_STRCASEEQ(OwnPath().c_str(), entry.szExePath);
    EXPECT_STRCASEEQ(OwnPath().substr(OwnPath().rfind('\\') + 1).c_str(), entry.szModule);
    EXPECT_EQ(reinterpret_cast<BYTE*>(entry.hModule), entry.modBaseAddr);
    int more = 0;
    while (next(snapshot, &entry) && more < 1000) {
        EXPECT_NE('\0', entry.szExePath[0]);
        ++more;
    }
    EXPECT_GT(more, 0) << "the system's own libraries follow";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(CloseHandle(snapshot));
}

TEST(Processes, ModuleQueriesNeedReadAndQueryRights)
{
    OwnProcess self(PROCESS_QUERY_INFORMATION);
    ASSERT_NE(nullptr, self.get());
    HMODULE modules[16];
    DWORD needed = 0;
    EXPECT_FALSE(EnumProcessModules(self.get(), modules, sizeof modules, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST(Processes, TerminatingNeedsTheTerminateRight)
{
    OwnProcess self(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_NE(nullptr, self.get());
    // Exit code 3: should the right be ignored, the run fails instead of passing.
    EXPECT_FALSE(TerminateProcess(self.get(), 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST(Processes, OpeningAnIdentifierNoProcessHasFails)
{
    std::vector<DWORD> ids = ProcessIds();
    DWORD unused = 4;
    while (std::find(ids.begin(), ids.end(), unused) != ids.end() || unused < 0x10000) unused += 4;
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, unused)) << unused;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(Processes, TheImageNameNeedsOnlyTheLimitedQueryRight)
{
    platform::LoadedLibrary kernel32("kernel32.dll");
    const auto query = kernel32.Entry<QueryFullProcessImageNameAFn>("QueryFullProcessImageNameA");
    if (query == nullptr) GTEST_SKIP() << "kernel32 before Windows Vista has no image-name query";

    OwnProcess limited(PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_NE(nullptr, limited.get()) << GetLastError();
    char name[MAX_PATH];
    std::memset(name, 'x', sizeof name);
    DWORD size = MAX_PATH;
    ASSERT_TRUE(query(limited.get(), 0, name, &size)) << GetLastError();
    EXPECT_STRCASEEQ(OwnPath().c_str(), name) << "the Win32 form of the path";
    EXPECT_EQ(std::strlen(name), size) << "the length without its NUL";

    size = 4;
    EXPECT_FALSE(query(limited.get(), 0, name, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    OwnProcess readOnly(PROCESS_VM_READ);
    ASSERT_NE(nullptr, readOnly.get());
    size = MAX_PATH;
    EXPECT_FALSE(query(readOnly.get(), 0, name, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    const auto queryW = kernel32.Entry<QueryFullProcessImageNameWFn>("QueryFullProcessImageNameW");
    ASSERT_NE(nullptr, queryW) << "both forms came with Windows Vista";
    WCHAR wide[MAX_PATH];
    size = MAX_PATH;
    ASSERT_TRUE(queryW(limited.get(), 0, wide, &size)) << GetLastError();
    EXPECT_EQ(std::char_traits<WCHAR>::length(wide), size) << "the length in characters";
    EXPECT_EQ(Lowered(OwnPath()), Lowered(wide, size));
    size = 4;
    EXPECT_FALSE(queryW(limited.get(), 0, wide, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(Processes, CreateProcessStartsTheProgramItIsNamed)
{
    // This very program, suspended: it never runs a single instruction.
    const std::string own = OwnPath();
    std::string commandLine = "\"" + own + "\" --gtest_list_tests";
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    ASSERT_TRUE(CreateProcessA(own.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, nullptr, &startup, &started))
        << GetLastError();

    EXPECT_NE(0u, started.dwProcessId);
    EXPECT_NE(GetCurrentProcessId(), started.dwProcessId);
    EXPECT_NE(0u, started.dwThreadId);
    EXPECT_NE(nullptr, started.hProcess);
    EXPECT_NE(nullptr, started.hThread);
    EXPECT_NE(started.hProcess, started.hThread);
    const std::vector<DWORD> ids = ProcessIds();
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), started.dwProcessId));
    // The process handle carries every right, the end included.
    EXPECT_TRUE(TerminateProcess(started.hProcess, 0)) << GetLastError();
    EXPECT_TRUE(CloseHandle(started.hThread));
    EXPECT_TRUE(CloseHandle(started.hProcess));

    // A program that is not there is not looked for elsewhere.
    const std::string absent = own.substr(0, own.rfind('\\') + 1) + "gvq_absent_" +
                               std::to_string(GetCurrentProcessId()) + ".exe";
    std::string absentLine = "\"" + absent + "\"";
    std::memset(&started, 0, sizeof started);
    SetLastError(0);
    EXPECT_FALSE(CreateProcessA(absent.c_str(), &absentLine[0], nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &started));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, started.hProcess);
}

TEST(Processes, ClosingAProcessHandleTwiceFails)
{
    HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(nullptr, handle);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
