// The Internet Explorer reset against the registry. The user's own keys are
// arranged and checked; the machine's keys only as far as the system lets the
// test write them. Every value touched is put back afterwards.
#include <gtest/gtest.h>

#include <string>

#include "registry/ie_reset.h"
#include "registry/reg_scratch.h"
#include "support/throwaway_machine.h"

namespace {

const std::string kMain = "Software\\Microsoft\\Internet Explorer\\Main";
const std::string kSearch = "Software\\Microsoft\\Internet Explorer\\Search";
const std::string kHome = "http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";
const std::string kSearchPage = "http://home.microsoft.com/search/search.asp";

const char* const kMainNames[] = {"Search Page",      "Search Bar",        "Start Page",
                                  "Default_Page_URL", "Default_Search_URL", "SearchAssistant",
                                  "HomeOldSP",        "Local Page"};

std::string Sz(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

class IeReset : public ::testing::Test {
protected:
    void SetUp() override
    {
    REQUIRE_THROWAWAY_MACHINE();
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const char* name : kMainNames) scratch.Preserve(root, kMain, name);
            scratch.Preserve(root, kSearch, "SearchAssistant");
        }
    }
    static std::string Data(HKEY root, const std::string& key, const char* name)
    {
        return regtest::ReadValue(root, key, name).bytes;
    }
    regtest::Scratch scratch;
};

TEST_F(IeReset, TheUsersStartAndSearchPagesGetTheDefaults)
{
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kMain, "Start Page", "http://hijacker.invalid/"));
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kMain, "Local Page", "C:\\blank.htm"));
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, kSearch));

    ResetIeSettings();

    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Search Page"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Search Bar"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Start Page"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Default_Page_URL"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Default_Search_URL"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "SearchAssistant"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "HomeOldSP"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kSearch, "SearchAssistant"), Sz(kSearchPage));
    EXPECT_EQ(regtest::ReadValue(HKEY_CURRENT_USER, kMain, "Start Page").type,
              static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Local Page"), Sz("C:\\blank.htm"));
}

TEST_F(IeReset, TheMachineGetsTheOtherAddressForSeveralValues)
{
    if (!scratch.CreateKey(HKEY_LOCAL_MACHINE, kMain) ||
        !scratch.CreateKey(HKEY_LOCAL_MACHINE, kSearch) ||
        !regtest::WriteString(HKEY_LOCAL_MACHINE, kMain, "Start Page", "http://hijacker.invalid/"))
        GTEST_SKIP() << "the machine's Internet Explorer keys are not writable here";
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, kMain));

    ResetIeSettings();

    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "Start Page"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "Search Bar"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "Search Page"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "Default_Page_URL"), Sz(kHome));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "Default_Search_URL"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "SearchAssistant"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kMain, "HomeOldSP"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant"), Sz(kSearchPage));
    // The same value names under the user's key keep their own assignment.
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Default_Page_URL"), Sz(kSearchPage));
    EXPECT_EQ(Data(HKEY_CURRENT_USER, kMain, "Search Bar"), Sz(kSearchPage));
}

}  // namespace
