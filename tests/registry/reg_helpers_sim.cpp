// String value helpers on the simulated machine: what only it can show.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "support/fake_ui.h"
#include "registry/reg_helpers.h"

namespace {

class RegHelpersSim : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override
    {
        sim::SetCallHook(nullptr);
        sim::Reset();
        fakeui::Reset();
    }
};

TEST_F(RegHelpersSim, EveryKeyOpenedIsClosedAgain)
{
    sim::SetString(HKEY_CURRENT_USER, "Software\\A", "Name", "text");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, L"Software\\A", L"Name"), L"text");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, L"Software\\A", L"Missing"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, L"Software\\Missing", L"Name"), L"");
    RegWriteString(HKEY_CURRENT_USER, L"Software\\A", L"Other", L"new");
    RegWriteString(HKEY_CURRENT_USER, L"Software\\Missing", L"Other", L"new");
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(RegHelpersSim, RefusedKeysAreNeitherReadNorWritten)
{
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Locked", "Name", "secret");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, "Software\\Locked");

    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Locked", L"Name"), L"");
    RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Locked", L"Name", L"overwritten");
    RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Locked", L"Added", L"new");

    EXPECT_EQ(sim::ValueData(HKEY_LOCAL_MACHINE, "Software\\Locked", "Name"),
              std::string("secret\0", 7));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, "Software\\Locked", "Added"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(RegHelpersSim, TypeIsNotChecked)
{
    sim::SetValue(HKEY_CURRENT_USER, "Software\\A", "Multi", REG_MULTI_SZ,
                  std::string("one\0two\0\0", 9));
    // The trailing NUL of the list is dropped; the inner ones stay for callers to cut.
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, L"Software\\A", L"Multi"),
              std::wstring(L"one\0two\0", 8));
}

}  // namespace
