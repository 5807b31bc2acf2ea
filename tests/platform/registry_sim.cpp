// The simulated registry seen from both sides: what the machine arranges is
// what the Win32 calls find, refused keys behave like keys the user has no
// rights to, and the roots are separate trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

const char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistrySim : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { EXPECT_EQ(0, sim::OpenHandles()) << "every key handle was closed"; }

    static LONG Open(HKEY root, const char* path, REGSAM access, HKEY& key)
    {
        return RegOpenKeyExA(root, path, 0, access, &key);
    }
};

TEST_F(RegistrySim, ArrangedValuesAreWhatTheCallsRead)
{
    sim::SetString(HKEY_CURRENT_USER, kRun, "se.exe", "C:\\WINDOWS\\se.exe");
    sim::SetValue(HKEY_CURRENT_USER, kRun, "Count", REG_DWORD, std::string("\x02\x00\x00\x00", 4));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, "software\\MICROSOFT\\windows\\CurrentVersion\\run",
                                  KEY_QUERY_VALUE, key));
    char data[64] = {};
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "SE.EXE", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(18u, size);
    EXPECT_STREQ("C:\\WINDOWS\\se.exe", data);
    size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Count", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    RegCloseKey(key);
}

TEST_F(RegistrySim, WhatTheCallsWriteIsWhatTheMachineHolds)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const BYTE text[] = "abc";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Start Page", 0, REG_SZ, text, 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_BINARY, text, 2));
    RegCloseKey(key);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\test"));
    EXPECT_EQ(std::string("abc\0", 4), sim::ValueData(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", "start page"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), sim::ValueType(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", "Start Page"));
    EXPECT_EQ("ab", sim::ValueData(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", ""));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", "Other"));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), sim::ValueType(HKEY_LOCAL_MACHINE, "Software\\Test\\Deep", "Other"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "Software\\Test")) << "roots are separate";
}

TEST_F(RegistrySim, ClassesRootIsNotTheMachineClassesKey)
{
    const std::string clsid = "CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}";
    sim::AddKey(HKEY_CLASSES_ROOT, clsid);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + clsid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Classes\\" + clsid).c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SHDeleteKeyA(HKEY_CLASSES_ROOT, clsid.c_str()));
    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(sim::KeyExists(HKEY_USERS, "")) << "HKEY_USERS is a root of its own";
}

TEST_F(RegistrySim, SubKeysListInEnumerationOrder)
{
    for (const char* name : {"Zed", "_x", "b", "A"}) sim::AddKey(HKEY_CURRENT_USER, std::string("Order\\") + name);
    const std::vector<std::string> expected = {"_x", "A", "b", "Zed"};
    EXPECT_EQ(expected, sim::SubKeys(HKEY_CURRENT_USER, "Order"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Order", &key));
    std::vector<std::string> listed;
    char name[32];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        listed.push_back(name);
        size = sizeof name;
    }
    EXPECT_EQ(expected, listed);
    RegCloseKey(key);
}

TEST_F(RegistrySim, WesternEuropeanLettersIgnoreCase)
{
    // The hijacker's service names carry letters such as U+00C4 and U+0161.
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\Services\\\xC4\x8A\xDE-name");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, "system\\services\\\xE4\x9A\xFE-NAME", KEY_READ, key));
    RegCloseKey(key);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\Services\\\xE4\x8A\xFE-name"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\Services\\\xDF\x8A\xDE-name"))
        << "sharp s has no capital here";
}

// Key names without a 1252 form: the machine keeps them whole, the A
// enumeration sees their best fit, which names another key or none.
TEST_F(RegistrySim, UnicodeKeyNames)
{
    sim::AddKey(HKEY_CURRENT_USER, L"Software\\CWS\\\uFF3C");
    sim::SetString(HKEY_CURRENT_USER, L"Software\\CWS\\\uFF45\uFF58\uFF50", "Path", "C:\\x.dll");
    sim::AddKey(HKEY_CURRENT_USER, "Software\\CWS\\Exp\\");
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, L"SOFTWARE\\cws\\\uFF25\uFF38\uFF30")) << "fullwidth capitals";
    EXPECT_EQ((std::vector<std::wstring>{L"Exp", L"\uFF3C", L"\uFF45\uFF58\uFF50"}),
              sim::SubKeys(HKEY_CURRENT_USER, L"Software\\CWS"));
    EXPECT_EQ((std::vector<std::string>{"Exp", "\\", "exp"}), sim::SubKeys(HKEY_CURRENT_USER, "Software\\CWS"));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, platform::ToUtf16(L"Software\\CWS\\\uFF45\uFF58\uFF50").c_str(),
                                           0, KEY_READ, &key));
    char data[16] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size));
    EXPECT_STREQ("C:\\x.dll", data);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, "Software\\CWS\\exp", KEY_READ, key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size))
        << "the best fit opened the ASCII key";
    RegCloseKey(key);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, platform::ToUtf16(L"Software\\CWS\\\uFF3C").c_str()));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, L"Software\\CWS\\\uFF3C"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Software\\CWS\\Exp"));
}

TEST_F(RegistrySim, RefusedKeyCannotBeOpenedOrDeletedSimOnly)
{
    sim::SetString(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\Enum", "0", "x");
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Other");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, "system\\controlset001\\services\\evil");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil", KEY_READ, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\Enum", &key))
        << "keys below it too";
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\New", 0,
                                                   nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\New"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\Enum"));
    EXPECT_TRUE(sim::ValueExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Evil\\Enum", "0"));
    // Its neighbours stay accessible.
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Other", KEY_READ, key));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Other"));
}

TEST_F(RegistrySim, SubtreeDeletionStopsAtARefusedKeySimOnly)
{
    // Leaves go first in enumeration order: "A" before the refused "B" before "C".
    for (const char* name : {"A\\Leaf", "B\\Leaf", "C"}) sim::AddKey(HKEY_CURRENT_USER, std::string("Top\\") + name);
    sim::RefuseKey(HKEY_CURRENT_USER, "Top\\B\\Leaf");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), SHDeleteKeyA(HKEY_CURRENT_USER, "Top"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "Top\\A"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Top\\B\\Leaf"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Top\\C"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Top"));
}

TEST_F(RegistrySim, RefuseAllKeysLocksTheWholeRegistrySimOnly)
{
    sim::SetString(HKEY_CURRENT_USER, kRun, "x", "y");
    sim::RefuseAllKeys(true);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyA(HKEY_CURRENT_USER, kRun, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const BYTE data[] = "v";
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(HKEY_CURRENT_USER, "direct", 0, REG_SZ, data, 2))
        << "also through a predefined root";
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), SHDeleteKeyA(HKEY_CURRENT_USER, kRun));
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "x"));
    sim::RefuseAllKeys(false);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, kRun, &key));
    RegCloseKey(key);
}

TEST_F(RegistrySim, ARefusalMadeAfterOpeningStopsTheHandleSimOnly)
{
    sim::SetString(HKEY_CURRENT_USER, kRun, "x", "y");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, kRun, 0x3F, key));
    sim::RefuseKey(HKEY_CURRENT_USER, kRun);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(key, "x"));
    EXPECT_TRUE(sim::ValueExists(HKEY_CURRENT_USER, kRun, "x"));
    RegCloseKey(key);
}

TEST_F(RegistrySim, PredefinedRootsCannotBeDeleted)
{
    sim::AddKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), SHDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), SHDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep"));
}

TEST_F(RegistrySim, ShDeleteKeyThroughAnOpenKeyDeletesThatKey)
{
    sim::AddKey(HKEY_CURRENT_USER, "Components\\0\\Sub");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Components\\0", &key));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SHDeleteKeyA(key, ""));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "Components\\0"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Components"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_KEY_DELETED), SHDeleteKeyA(key, ""));
    RegCloseKey(key);
}

TEST_F(RegistrySim, NineXDeletesKeysWithTheirSubkeysSimOnly)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::AddKey(HKEY_LOCAL_MACHINE, "Image.Image\\CLSID");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Image.Image"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Image.Image"));
}

TEST_F(RegistrySim, ForgedHandlesAreInvalid)
{
    HKEY forged = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x5150));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyA(forged, "x", &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(forged, "x", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(forged));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), SHDeleteKeyA(forged, "x"));
    // A file handle is no key either.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(static_cast<HKEY>(snapshot)));
    CloseHandle(snapshot);
}

TEST_F(RegistrySim, ResetEmptiesTheRegistry)
{
    sim::SetString(HKEY_CURRENT_USER, kRun, "x", "y");
    sim::RefuseAllKeys(true);
    sim::Reset();
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "SOFTWARE"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegCloseKey(key);
}

}  // namespace
