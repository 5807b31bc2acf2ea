// Stopping the hijacker's services and deleting its fixed keys on the
// simulated machine, where service states and the clock can be steered.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "removal/hijacker_keys.h"
#include "removal/services.h"
#include "session/ui.h"
#include "support/fresh_machine.h"

namespace {

using namespace hijacker;

class ServicesSim : public simtest::FreshMachine {
protected:
    static void AddRunning(const std::string& name, int pendingQueries = 0)
    {
        sim::ServiceSpec spec;
        spec.name = name;
        spec.pendingQueries = pendingQueries;
        sim::AddService(spec);
    }
};

TEST_F(ServicesSim, StopsTheFiveServicesInOrderWithoutWaitingWhenTheyStopAtOnce)
{
    const std::vector<std::string> names = {kA, kB, kC, kD, kE};
    for (const std::string& name : names) AddRunning(name);
    std::vector<std::string> stopped;
    // Noted at every call, so each stop control shows by the next call at the latest.
    sim::SetCallHook([&](const char*) {
        for (const std::string& name : names)
            if (sim::StopControlsReceived(name) > 0 &&
                std::find(stopped.begin(), stopped.end(), name) == stopped.end())
                stopped.push_back(name);
    });

    StopHijackerServices();
    sim::SetCallHook(nullptr);

    EXPECT_EQ(stopped, names);
    for (const std::string& name : names) {
        EXPECT_EQ(sim::StopControlsReceived(name), 1);
        EXPECT_EQ(sim::ServiceState(name), static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_EQ(sim::StatusQueries(name), 1);
    }
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(fakeui::PumpCount(), 0);
}

TEST_F(ServicesSim, WaitsWhileAServiceReportsStopPending)
{
    AddRunning(kB, 3);

    StopServiceByName(std::wstring{0x00BD, 0x004F, 0x002E, 0x0023, 0x017E, 0x201A, 0x201E,
                                   0x0081, 0x00F5, 0x00D8, 0x00C2, 0x00B4, 0x001E, 0x00E2});

    EXPECT_EQ(sim::StatusQueries(kB), 4);
    EXPECT_EQ(sim::Sleeps(), (std::vector<DWORD>{100, 100, 100}));
    EXPECT_EQ(sim::ServiceState(kB), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ServicesSim, GivesUpOnAServiceThatNeverStopsAndCarriesOn)
{
    AddRunning(kC, -1);
    AddRunning(kD);
    AddRunning(kE);
    sim::AddKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}");

    StopHijackerServices();

    EXPECT_EQ(sim::StatusQueries(kC), 30);
    EXPECT_EQ(sim::TotalSleptMs(), 29u * 100u);
    EXPECT_EQ(sim::ServiceState(kC), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(sim::ServiceState(kD), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(sim::ServiceState(kE), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE,
                                "SOFTWARE\\Classes\\CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ServicesSim, ServicesThatCannotBeReachedArePassedOver)
{
    sim::ServiceSpec locked;
    locked.name = kA;
    locked.canOpen = false;
    sim::AddService(locked);
    sim::ServiceSpec stubborn;
    stubborn.name = kB;
    stubborn.acceptsStop = false;
    sim::AddService(stubborn);
    AddRunning(kE);

    StopHijackerServices();

    EXPECT_EQ(sim::StopControlsReceived(kA), 0);
    EXPECT_EQ(sim::ServiceState(kA), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(sim::ServiceState(kB), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(sim::StatusQueries(kB), 1);
    EXPECT_EQ(sim::ServiceState(kE), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ServicesSim, WithoutAServiceManagerOnlyTheKeysGo)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    sim::SetServiceManagerAvailable(false);
    AddRunning(kA);
    sim::AddKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "HSA");

    StopHijackerServices();

    EXPECT_EQ(sim::StopControlsReceived(kA), 0);
    EXPECT_EQ(sim::StatusQueries(kA), 0);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "HSA"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ServicesSim, RemovesEveryOneOfTheFixedKeysWithItsSubtree)
{
    for (const auto& key : AllFixedKeys()) {
        sim::SetString(key.first, key.second, "", "value");
        sim::SetString(key.first, key.second + "\\Enum", "0", "Root\\LEGACY\\0000");
        sim::AddKey(key.first, key.second + "\\Security\\Deeper");
    }
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Spooler");

    RemoveFixedKeys();

    for (const auto& key : AllFixedKeys())
        EXPECT_FALSE(sim::KeyExists(key.first, key.second)) << key.second;
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Spooler"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet003\\Enum\\Root"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ServicesSim, KeysUnderSomeControlSetsOnlyAreRemovedWhereTheyAre)
{
    sim::SetString(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\" + kB, "ImagePath",
                   "C:\\WINDOWS\\system32\\svchost.exe");
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet003\\Services\\" + kA2 + "\\Parameters");
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Enum\\Root\\" + kLegacyC + "\\0000");
    sim::AddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\Tcpip");
    sim::AddKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Search extender 2");
    sim::AddKey(HKEY_CURRENT_USER, std::string(kUninstall) + "SEARCH EXTENDER");

    RemoveFixedKeys();

    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\" + kB));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet003\\Services\\" + kA2));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Enum\\Root\\" + kLegacyC));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\Tcpip"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Enum\\Root"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Search extender 2"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, std::string(kUninstall) + "SEARCH EXTENDER"));
}

TEST_F(ServicesSim, ImageClassKeysGoFromClassesRootAndFromTheMachineRoot)
{
    sim::SetString(HKEY_CLASSES_ROOT, "Image.Image\\CLSID", "", "{0B40A54D-BEC3-4077-9A33-701BD6ACDEB2}");
    sim::AddKey(HKEY_CLASSES_ROOT, "Image.Image.1");
    sim::AddKey(HKEY_CLASSES_ROOT, "Image.Image.2");
    sim::AddKey(HKEY_LOCAL_MACHINE, "Image.Image\\CurVer");
    sim::AddKey(HKEY_LOCAL_MACHINE, "Image.Image.1");
    sim::AddKey(HKEY_LOCAL_MACHINE, "Image");

    RemoveFixedKeys();

    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "Image.Image"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "Image.Image.1"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "Image.Image.2"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Image.Image"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Image.Image.1"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Image"));
}

TEST_F(ServicesSim, AKeyTheUserMayNotDeleteStaysAndTheNextRowFollows)
{
    sim::AddKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "HSA");
    sim::AddKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "SE");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "HSA");

    StopHijackerServices();

    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "HSA"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "SE"));
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_TRUE(fakeui::Boxes().empty());
}

TEST_F(ServicesSim, ACleanMachineIsLeftAsItWas)
{
    StopHijackerServices();

    EXPECT_TRUE(sim::SubKeys(HKEY_LOCAL_MACHINE, "").empty());
    EXPECT_TRUE(sim::SubKeys(HKEY_CURRENT_USER, "").empty());
    EXPECT_TRUE(sim::SubKeys(HKEY_CLASSES_ROOT, "").empty());
    EXPECT_TRUE(sim::Sleeps().empty());
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

}  // namespace
