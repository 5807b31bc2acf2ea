// Stopping the hijacker's services and deleting its fixed keys on the
// simulated machine, where service states and the clock can be steered.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "removal/services.h"
#include "session/ui.h"
#include "support/fresh_machine.h"

namespace {

// The five names as the service manager stores them in code page 1252,
// written out byte by byte.
const std::string kA = "\x20" "11F" "\xDF\xC4\x06" "#" "\xB7\xBA\xC4\xD6" "`I";
const std::string kB = "\xBD" "O.#" "\x9E\x82\x84\x81\xF5\xD8\xC2\xB4\x1E\xE2";
const std::string kC = "O?" "\x1E\x92\x8E" "rt" "\xF1\xE5\xC8\xB2" "$" "\x0E\xD3";
const std::string kD = "\x7F\x8F\x10" "%AF" "\xE5\x03\x17\x1A\xA4\xB6\xC0";
const std::string kE = "\x8F" "  6Q" "\xD4\xF5\x13" "'" "\xAA\xB4\xC6\xD0" "8";
const std::string kA2 = "\x20" "11f" "\xDF\xE4\x06" "#" "\xB7\xBA\xC4\xD6" "`i";

const std::string kLegacyC =
    "LEGACY_O?*001E*2019*017DRT*00F1*00E5*00C8*00B2$*000E*00D3";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

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

// Every one of the 49 keys, built here independently of the program's table.
std::vector<std::pair<HKEY, std::string>> AllFixedKeys()
{
    std::vector<std::pair<HKEY, std::string>> keys;
    const char* sets[] = {"CurrentControlSet", "ControlSet001", "ControlSet002", "ControlSet003"};
    for (const char* set : sets) {
        const std::string root = std::string("SYSTEM\\") + set + "\\Enum\\Root\\";
        keys.emplace_back(HKEY_LOCAL_MACHINE, root + kLegacyC);
        keys.emplace_back(HKEY_LOCAL_MACHINE, root + "LEGACY___NS_SERVICE_3");
    }
    for (const char* set : sets) {
        const std::string root = std::string("SYSTEM\\") + set + "\\Services\\";
        for (const std::string& name : {kB, kC, kA2, kD, kE, std::string("LEGACY___NS_SERVICE_3")})
            keys.emplace_back(HKEY_LOCAL_MACHINE, root + name);
    }
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const char* entry : {"HSA", "SE", "SW", "SearchAssistant Uninstall", "Search extender"})
            keys.emplace_back(hive, std::string(kUninstall) + entry);
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper "
                      "Objects\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}");
    keys.emplace_back(HKEY_CLASSES_ROOT, "Image.Image");
    keys.emplace_back(HKEY_CLASSES_ROOT, "Image.Image.1");
    keys.emplace_back(HKEY_LOCAL_MACHINE, "Image.Image");
    keys.emplace_back(HKEY_LOCAL_MACHINE, "Image.Image.1");
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Classes\\CLSID\\{0B40A54D-BEC3-4077-9A33-701BD6ACDEB2}");
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Classes\\CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}");
    return keys;
}

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
