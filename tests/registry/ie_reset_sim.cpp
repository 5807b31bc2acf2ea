// The Internet Explorer reset on the simulated machine, where both roots are
// writable and keys can be left out.
#include <gtest/gtest.h>

#include <string>

#include "registry/ie_reset.h"
#include "support/fresh_machine.h"

namespace {

const char kMain[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kSearch[] = "Software\\Microsoft\\Internet Explorer\\Search";
const std::string kHome = "http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";
const std::string kSearchPage = "http://home.microsoft.com/search/search.asp";

std::string Sz(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

using IeResetSim = simtest::FreshMachine;

TEST_F(IeResetSim, WritesTheSixteenValuesWithTheirCrossedAssignments)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        sim::SetString(root, kMain, "Start Page", "http://hijacker.invalid/");
        sim::AddKey(root, kSearch);
    }

    ResetIeSettings();

    struct Expected {
        HKEY root;
        const char* key;
        const char* name;
        const std::string& data;
    };
    const Expected expected[] = {
        {HKEY_CURRENT_USER, kMain, "Search Page", kSearchPage},
        {HKEY_CURRENT_USER, kMain, "Search Bar", kSearchPage},
        {HKEY_CURRENT_USER, kMain, "Start Page", kHome},
        {HKEY_CURRENT_USER, kMain, "Default_Page_URL", kSearchPage},
        {HKEY_CURRENT_USER, kMain, "Default_Search_URL", kHome},
        {HKEY_CURRENT_USER, kMain, "SearchAssistant", kHome},
        {HKEY_CURRENT_USER, kMain, "HomeOldSP", kHome},
        {HKEY_LOCAL_MACHINE, kMain, "Start Page", kHome},
        {HKEY_LOCAL_MACHINE, kMain, "Search Bar", kHome},
        {HKEY_LOCAL_MACHINE, kMain, "Search Page", kSearchPage},
        {HKEY_LOCAL_MACHINE, kMain, "Default_Page_URL", kHome},
        {HKEY_LOCAL_MACHINE, kMain, "Default_Search_URL", kSearchPage},
        {HKEY_LOCAL_MACHINE, kMain, "SearchAssistant", kSearchPage},
        {HKEY_LOCAL_MACHINE, kMain, "HomeOldSP", kSearchPage},
        {HKEY_CURRENT_USER, kSearch, "SearchAssistant", kSearchPage},
        {HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant", kSearchPage},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(sim::ValueType(e.root, e.key, e.name), static_cast<DWORD>(REG_SZ)) << e.name;
        EXPECT_EQ(sim::ValueData(e.root, e.key, e.name), Sz(e.data))
            << (e.root == HKEY_CURRENT_USER ? "HKCU " : "HKLM ") << e.key << " " << e.name;
    }
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_TRUE(fakeui::Boxes().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(IeResetSim, AMissingKeyIsNotCreatedAndTheOtherRowsAreStillWritten)
{
    sim::AddKey(HKEY_CURRENT_USER, kMain);
    sim::AddKey(HKEY_LOCAL_MACHINE, kSearch);

    ResetIeSettings();

    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, kSearch));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kMain));
    EXPECT_EQ(sim::ValueData(HKEY_CURRENT_USER, kMain, "HomeOldSP"), Sz(kHome));
    EXPECT_EQ(sim::ValueData(HKEY_LOCAL_MACHINE, kSearch, "SearchAssistant"), Sz(kSearchPage));
}

TEST_F(IeResetSim, ARefusedKeyIsSkippedAndOtherValuesStay)
{
    sim::SetString(HKEY_CURRENT_USER, kMain, "Local Page", "C:\\WINDOWS\\System32\\blank.htm");
    sim::SetString(HKEY_CURRENT_USER, kSearch, "CustomizeSearch", "http://hijacker.invalid/c");
    sim::SetString(HKEY_LOCAL_MACHINE, kMain, "Start Page", "http://hijacker.invalid/");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, kMain);

    ResetIeSettings();

    EXPECT_EQ(sim::ValueData(HKEY_LOCAL_MACHINE, kMain, "Start Page"), Sz("http://hijacker.invalid/"));
    EXPECT_EQ(sim::ValueData(HKEY_CURRENT_USER, kMain, "Local Page"),
              Sz("C:\\WINDOWS\\System32\\blank.htm"));
    EXPECT_EQ(sim::ValueData(HKEY_CURRENT_USER, kSearch, "CustomizeSearch"),
              Sz("http://hijacker.invalid/c"));
    EXPECT_EQ(sim::ValueData(HKEY_CURRENT_USER, kSearch, "SearchAssistant"), Sz(kSearchPage));
}

}  // namespace
