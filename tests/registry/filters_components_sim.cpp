// Desktop component and MIME filter removal on the simulated machine.
#include <gtest/gtest.h>

#include <string>

#include "registry/filters_components.h"
#include "support/fresh_machine.h"
#include "support/sim_clock.h"

namespace {

const std::string kComponents = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components";
const std::string kFilter = "SOFTWARE\\Classes\\PROTOCOLS\\Filter";

class DesktopComponentsSim : public simtest::BoundedPasses {
protected:
    static void Add(const std::string& sub, const std::string& friendlyName)
    {
        sim::SetString(HKEY_CURRENT_USER, kComponents + "\\" + sub, "FriendlyName", friendlyName);
    }
};

TEST_F(DesktopComponentsSim, WithoutComponentsKeyNothingIsCreatedOrPumped)
{
    RemoveDesktopComponents();

    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, kComponents));
    EXPECT_EQ(fakeui::PumpCount(), 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(DesktopComponentsSim, AdjacentMatchesGoAndEachEntryIsPumpedOnce)
{
    Add("0", "Warning homepage");
    Add("1", "Warning homepage");
    Add("2", "My Stocks");
    Add("3", "WARNING HOMEPAGE");
    simclock::EachCallTakes("RegEnumKeyExW", 10);

    RemoveDesktopComponents();

    EXPECT_EQ(sim::SubKeys(HKEY_CURRENT_USER, kComponents), (std::vector<std::string>{"2"}));
    EXPECT_EQ(fakeui::PumpCount(), 4);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(DesktopComponentsSim, AFailingDeletionLeavesTheComponentAndThePassEnds)
{
    Add("0", "Warning homepage");
    sim::AddKey(HKEY_CURRENT_USER, kComponents + "\\0\\Locked");
    sim::RefuseKey(HKEY_CURRENT_USER, kComponents + "\\0\\Locked");
    Add("1", "Warning homepage");
    Add("2", "Clock");
    simclock::EachCallTakes("RegEnumKeyExW", 10);

    RemoveDesktopComponents();

    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, kComponents + "\\0"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, kComponents + "\\1"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, kComponents + "\\2"));
    EXPECT_EQ(fakeui::PumpCount(), 3);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(DesktopComponentsSim, AnUnreadableComponentStays)
{
    Add("0", "Warning homepage");
    sim::RefuseKey(HKEY_CURRENT_USER, kComponents + "\\0");
    Add("1", "Warning homepage");

    RemoveDesktopComponents();

    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, kComponents + "\\0"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, kComponents + "\\1"));
}

using ProtocolFiltersSim = simtest::FreshMachine;

TEST_F(ProtocolFiltersSim, ACleanMachineStaysClean)
{
    RemoveProtocolFilters();

    EXPECT_TRUE(sim::SubKeys(HKEY_LOCAL_MACHINE, "").empty());
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ProtocolFiltersSim, ARefusedFilterStaysAndTheOtherStillGoes)
{
    sim::SetString(HKEY_LOCAL_MACHINE, kFilter + "\\text/html", "CLSID", "{1}");
    sim::SetString(HKEY_LOCAL_MACHINE, kFilter + "\\text/plain", "CLSID", "{2}");
    sim::SetString(HKEY_CURRENT_USER, kFilter + "\\text/html", "CLSID", "{3}");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, kFilter + "\\text/html");

    RemoveProtocolFilters();

    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/html"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kFilter + "\\text/plain"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, kFilter + "\\text/html"));
}

}  // namespace
