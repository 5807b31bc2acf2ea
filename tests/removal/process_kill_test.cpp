// Module path normalisation and the program's own process, on the machine the
// tests run on.
#include <gtest/gtest.h>

#include <string>

#include "environment/paths.h"
#include "platform/win32.h"
#include "removal/process_kill.h"
#include "scan/shared_state.h"
#include "support/fake_ui.h"

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

}  // namespace
