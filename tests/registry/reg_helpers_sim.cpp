// String value helpers on the simulated machine: what only it can show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST_F(RegHelpersSim, SubkeysWhoseNamesComeBackEmptyAreNeverVisited)
{
    // A name that starts with NUL (made through the native API) reads as empty
    // in the ANSI listing: "Components\" + "" would name the parent key.
    const std::string parent = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components";
    for (const std::string& name : {std::string("A"), std::string("\0hidden", 7), std::string("B"),
                                    std::string("C")})
        sim::AddKey(HKEY_CURRENT_USER, parent + "\\" + name);

    std::vector<std::wstring> visited;
    VisitSubKeys(HKEY_CURRENT_USER, platform::FromAnsi(parent), [&](const std::wstring& name) {
        visited.push_back(name);
        if (name == L"C") return false;
        SHDeleteKeyA(HKEY_CURRENT_USER, (parent + "\\" + platform::ToAnsi(name)).c_str());
        return true;
    });

    EXPECT_EQ(visited, (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(sim::SubKeys(HKEY_CURRENT_USER, parent),
              (std::vector<std::string>{std::string("\0hidden", 7), "C"}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

}  // namespace
