// Browser Helper Object removal against the registry, arranged through Win32 calls.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "registry/bho.h"
#include "registry/reg_scratch.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

namespace {

const std::string kBhoKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const char kServer[] = "C:\\WINDOWS\\system32\\hsa91.dll";
const wchar_t kWideServer[] = L"C:\\WINDOWS\\system32\\hsa91.dll";

// Class identifiers whose listing order is their numbering.
std::string ClassId(int n)
{
    return "{6E7A1D00-0000-4000-8000-0000000000" + std::to_string(10 + n) + "}";
}

class Bho : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The machine's own Browser Helper Object and class keys.
    REQUIRE_THROWAWAY_MACHINE();
        fakeui::Reset();
        // A pass that never ends shows up as endless pumping.
        fakeui::SetPumpHook([] { throw std::runtime_error("the pass does not end"); }, 100);
    }
    void TearDown() override { fakeui::Reset(); }

    void Register(int n, const std::string& server, DWORD type = REG_SZ)
    {
        ASSERT_TRUE(scratch.CreateKey(HKEY_LOCAL_MACHINE, kBhoKey + "\\" + ClassId(n)));
        ASSERT_TRUE(scratch.CreateKey(HKEY_CLASSES_ROOT, "CLSID\\" + ClassId(n) + "\\InProcServer32"));
        ASSERT_TRUE(scratch.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + ClassId(n) + "\\InProcServer32",
                                      "ThreadingModel", "Apartment"));
        if (!server.empty()) {
            ASSERT_TRUE(scratch.SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + ClassId(n) + "\\InProcServer32",
                                         "", type, server + '\0'));
        }
        ASSERT_TRUE(scratch.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\" + ClassId(n)));
    }

    static bool Registered(int n)
    {
        return regtest::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\" + ClassId(n));
    }
    static bool ClassPresent(int n)
    {
        return regtest::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + ClassId(n)) ||
               regtest::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\" + ClassId(n));
    }

    regtest::Scratch scratch;
};

TEST_F(Bho, AdjacentRegistrationsOfTheFileGoAndTheirNeighboursStay)
{
    Register(1, "C:\\WINDOWS\\system32\\shdocvw.dll");
    Register(2, kServer);
    Register(3, "c:\\windows\\SYSTEM32\\HSA91.DLL");
    Register(4, "C:\\WINDOWS\\system32\\msxml3.dll");

    RemoveBhoForFile(kWideServer);

    EXPECT_TRUE(Registered(1));
    EXPECT_TRUE(ClassPresent(1));
    EXPECT_FALSE(Registered(2));
    EXPECT_FALSE(ClassPresent(2));
    EXPECT_FALSE(Registered(3));
    EXPECT_FALSE(ClassPresent(3));
    EXPECT_TRUE(Registered(4));
    EXPECT_TRUE(ClassPresent(4));
    EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
}

TEST_F(Bho, AFileNamedInUpperCaseMatchesAServerInLowerCase)
{
    Register(1, "c:\\windows\\system32\\hsa91.dll");

    RemoveBhoForFile(L"C:\\WINDOWS\\SYSTEM32\\HSA91.DLL");

    EXPECT_FALSE(Registered(1));
    EXPECT_FALSE(ClassPresent(1));
}

TEST_F(Bho, ServerPathsWrittenAnotherWayStay)
{
    Register(1, std::string("\"") + kServer + "\"");
    Register(2, "C:\\WINDOWS\\system32\\hsa91.dll ");
    Register(3, "%SystemRoot%\\system32\\hsa91.dll", REG_EXPAND_SZ);
    Register(4, "C:\\WINDOWS\\system32\\hsa91.dll.bak");
    Register(5, "hsa91.dll");

    RemoveBhoForFile(kWideServer);

    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(Registered(n)) << n;
        EXPECT_TRUE(ClassPresent(n)) << n;
    }
}

TEST_F(Bho, AClassWithoutServerStaysEvenForAnEmptyPath)
{
    Register(1, "");

    RemoveBhoForFile(L"");
    RemoveBhoForFile(kWideServer);

    EXPECT_TRUE(Registered(1));
    EXPECT_TRUE(ClassPresent(1));
}

}  // namespace
