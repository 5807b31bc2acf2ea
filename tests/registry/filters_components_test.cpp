// Desktop component and MIME filter removal against the registry, arranged
// through Win32 calls.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "registry/filters_components.h"
#include "registry/reg_scratch.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

namespace {

const std::string kComponents = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components";

class DesktopComponents : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The user's own Internet Explorer desktop components.
    REQUIRE_THROWAWAY_MACHINE();
        fakeui::Reset();
        fakeui::SetPumpHook([] { throw std::runtime_error("the pass does not end"); }, 100);
        ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, kComponents));
    }
    void TearDown() override { fakeui::Reset(); }

    void Add(const std::string& sub, const std::string& friendlyName)
    {
        ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kComponents + "\\" + sub, "FriendlyName",
                                      friendlyName));
        ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kComponents + "\\" + sub, "Source",
                                      "C:\\WINDOWS\\warnhp.html"));
    }
    static bool Present(const std::string& sub)
    {
        return regtest::KeyExists(HKEY_CURRENT_USER, kComponents + "\\" + sub);
    }

    regtest::Scratch scratch;
};

TEST_F(DesktopComponents, OnlyTheWarningHomepageComponentsGoWhateverTheirCase)
{
    Add("90", "Warning homepage");
    Add("91", "WARNING HOMEPAGE");
    Add("92", "My Stocks");
    Add("93", "warning Homepage");
    Add("94", "Warning homepage ");
    Add("95", "Warning homepage 2");
    Add("96", "The Warning homepage");

    RemoveDesktopComponents();

    EXPECT_FALSE(Present("90"));
    EXPECT_FALSE(Present("91"));
    EXPECT_TRUE(Present("92"));
    EXPECT_FALSE(Present("93"));
    EXPECT_TRUE(Present("94"));
    EXPECT_TRUE(Present("95"));
    EXPECT_TRUE(Present("96"));
}

TEST_F(DesktopComponents, TheFriendlyNameIsCutAtItsFirstNul)
{
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kComponents + "\\90", "FriendlyName", REG_SZ,
                                 std::string("Warning homepage\0left over\0", 27)));
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, kComponents + "\\91"));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kComponents + "\\92", "FriendlyName", REG_SZ,
                                 std::string("\0Warning homepage\0", 18)));

    RemoveDesktopComponents();

    EXPECT_FALSE(Present("90"));
    EXPECT_TRUE(Present("91"));  // no FriendlyName at all
    EXPECT_TRUE(Present("92"));
}

TEST_F(DesktopComponents, TheComponentsKeyAndItsValuesStay)
{
    scratch.Preserve(HKEY_CURRENT_USER, kComponents, "GeneralFlags");
    ASSERT_TRUE(regtest::WriteValue(HKEY_CURRENT_USER, kComponents, "GeneralFlags", REG_DWORD,
                                    std::string("\x05\x00\x00\x00", 4)));
    Add("90", "Warning homepage");

    RemoveDesktopComponents();

    EXPECT_FALSE(Present("90"));
    EXPECT_TRUE(regtest::KeyExists(HKEY_CURRENT_USER, kComponents));
    EXPECT_EQ(regtest::ReadValue(HKEY_CURRENT_USER, kComponents, "GeneralFlags").bytes,
              std::string("\x05\x00\x00\x00", 4));
}

TEST_F(DesktopComponents, TheSameKeyOfTheMachineIsNotTouched)
{
    ASSERT_TRUE(scratch.SetString(HKEY_LOCAL_MACHINE, kComponents + "\\90", "FriendlyName",
                                  "Warning homepage"));

    RemoveDesktopComponents();

    EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kComponents + "\\90"));
}

class ProtocolFilters : public ::testing::Test {
protected:
    regtest::Scratch scratch;
};

const std::string kFilter = "SOFTWARE\\Classes\\PROTOCOLS\\Filter";

TEST_F(ProtocolFilters, BothFiltersGoWithEverythingInThem)
{
    REQUIRE_THROWAWAY_MACHINE();
    if (regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/html") ||
        regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/plain"))
        GTEST_SKIP() << "this system has its own filters for these types";
    ASSERT_TRUE(scratch.SetString(HKEY_LOCAL_MACHINE, kFilter + "\\text/html", "CLSID",
                                  "{6E7A1D00-0000-4000-8000-000000000001}"));
    ASSERT_TRUE(scratch.SetString(HKEY_LOCAL_MACHINE, kFilter + "\\text/html\\Deeper", "", "x"));
    ASSERT_TRUE(scratch.SetString(HKEY_LOCAL_MACHINE, kFilter + "\\text/plain", "", "Plain filter"));
    ASSERT_TRUE(scratch.CreateKey(HKEY_LOCAL_MACHINE, kFilter + "\\text/grevlin-test"));

    RemoveProtocolFilters();

    EXPECT_FALSE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/html"));
    EXPECT_FALSE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/plain"));
    EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/grevlin-test"));
    EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kFilter));
}

}  // namespace
