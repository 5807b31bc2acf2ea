// The fixed keys and the service stop against the registry and service
// manager, arranged through Win32 calls. Names are the cp1252 bytes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "registry/reg_scratch.h"
#include "removal/hijacker_keys.h"
#include "removal/services.h"
#include "support/throwaway_machine.h"

namespace {

using namespace hijacker;

// The fixed keys are the machine's own: every one of the 49 goes.
TEST(FixedKeys, UserUninstallEntriesGoWithTheirValues)
{
    REQUIRE_THROWAWAY_MACHINE();
    regtest::Scratch scratch;
    for (const char* entry : {"HSA", "SE", "SW", "SearchAssistant Uninstall", "Search extender"}) {
        ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, std::string(kUninstall) + entry,
                                      "DisplayName", entry));
        ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, std::string(kUninstall) + entry + "\\Sub"));
    }
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, std::string(kUninstall) + "SEO"));

    RemoveFixedKeys();

    for (const char* entry : {"HSA", "SE", "SW", "SearchAssistant Uninstall", "Search extender"})
        EXPECT_FALSE(regtest::KeyExists(HKEY_CURRENT_USER, std::string(kUninstall) + entry)) << entry;
    EXPECT_TRUE(regtest::KeyExists(HKEY_CURRENT_USER, std::string(kUninstall) + "SEO"));
}

TEST(FixedKeys, EveryKeyTheSystemLetsUsCreateIsRemoved)
{
    REQUIRE_THROWAWAY_MACHINE();
    regtest::Scratch scratch;
    std::vector<std::pair<HKEY, std::string>> created;
    for (const auto& key : AllFixedKeys()) {
        if (regtest::KeyExists(key.first, key.second)) continue;  // not ours to judge
        if (scratch.SetString(key.first, key.second + "\\Parameters", "ServiceDll", "x.dll"))
            created.push_back(key);
    }
    // The service keys of the current control set are the hijacker's main foothold.
    ASSERT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + kB));
    ASSERT_TRUE(regtest::KeyExists(HKEY_CLASSES_ROOT, "Image.Image"));

    RemoveFixedKeys();

    for (const auto& key : created)
        EXPECT_FALSE(regtest::KeyExists(key.first, key.second)) << key.second;
    EXPECT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"));
}

TEST(ServiceStop, AMissingServiceIsPassedOver)
{
    StopServiceByName(L"GrevlinNoSuchService");
    StopServiceByName(L"");
}

#ifdef _WIN32
// A service that is installed but not running, created for the test and removed again.
class InstalledService {
public:
    explicit InstalledService(const std::string& name)
    {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager_ == nullptr) return;
        service_ = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, "C:\\windows\\system32\\notepad.exe",
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    ~InstalledService()
    {
        if (service_ != nullptr) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_ != nullptr) CloseServiceHandle(manager_);
    }
    bool Installed() const { return service_ != nullptr; }
    DWORD State() const
    {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service_, &status)) return 0;
        return status.dwCurrentState;
    }

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

TEST(ServiceStop, AServiceThatIsNotRunningIsLeftStopped)
{
    InstalledService service("GrevlinTestIdle");
    ASSERT_TRUE(service.Installed()) << "CreateServiceA failed: " << GetLastError();

    StopServiceByName(L"GrevlinTestIdle");

    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(ServiceStop, AHijackerServiceLosesItsConfigurationKey)
{
    // Stops and unconfigures any service of the machine under the five names.
    REQUIRE_THROWAWAY_MACHINE();
    InstalledService service(kB);
    ASSERT_TRUE(service.Installed()) << "CreateServiceA failed: " << GetLastError();
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + kB;
    ASSERT_TRUE(regtest::KeyExists(HKEY_LOCAL_MACHINE, key));

    StopHijackerServices();

    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(regtest::KeyExists(HKEY_LOCAL_MACHINE, key));
}
#endif

}  // namespace
