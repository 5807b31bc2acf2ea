// The simulated service control manager: a stop control followed by status
// queries, services that stop slowly or never, refusals, and the 9x family
// without a manager at all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

const char kHomeSearch[] = "\xBDO.#\x9E\x82\x84\x81\xF5\xD8\xC2\xB4\x1E\xE2";

class ServicesSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        manager_ = OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SERVICE_STOP);
        ASSERT_NE(nullptr, manager_);
    }

    void TearDown() override
    {
        if (manager_ != nullptr) CloseServiceHandle(manager_);
        EXPECT_EQ(0, sim::OpenHandles());
    }

    static sim::ServiceSpec Spec(const std::string& name, int pendingQueries)
    {
        sim::ServiceSpec spec;
        spec.name = name;
        spec.pendingQueries = pendingQueries;
        return spec;
    }

    // Sends the stop control through a handle of its own, as the removal does.
    BOOL Stop(const char* name, SERVICE_STATUS& status)
    {
        SC_HANDLE service = OpenServiceA(manager_, name, SERVICE_STOP);
        if (service == nullptr) return FALSE;
        std::memset(&status, 0, sizeof status);
        const BOOL stopped = ControlService(service, SERVICE_CONTROL_STOP, &status);
        const DWORD error = GetLastError();
        CloseServiceHandle(service);
        SetLastError(error);
        return stopped;
    }

    DWORD Query(SC_HANDLE service)
    {
        SERVICE_STATUS status;
        std::memset(&status, 0, sizeof status);
        EXPECT_TRUE(QueryServiceStatus(service, &status));
        return status.dwCurrentState;
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(ServicesSim, StopsAfterTheGivenNumberOfPendingQueries)
{
    sim::AddService(Spec(kHomeSearch, 2));
    SERVICE_STATUS status;
    ASSERT_TRUE(Stop(kHomeSearch, status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), status.dwCurrentState);
    EXPECT_EQ(1, sim::StopControlsReceived(kHomeSearch));

    SC_HANDLE service = OpenServiceA(manager_, kHomeSearch, 0xF003F);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), Query(service));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), Query(service));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), Query(service));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), Query(service));
    CloseServiceHandle(service);
    EXPECT_EQ(4, sim::StatusQueries(kHomeSearch));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), sim::ServiceState(kHomeSearch));
}

TEST_F(ServicesSim, ZeroPendingQueriesStopsAtOnce)
{
    sim::AddService(Spec("Quick", 0));
    SERVICE_STATUS status;
    ASSERT_TRUE(Stop("Quick", status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), sim::ServiceState("Quick"));
    EXPECT_EQ(0, sim::StatusQueries("Quick")) << "the stop control is no status query";
}

TEST_F(ServicesSim, PendingForEverNeverStopsSimOnly)
{
    sim::AddService(Spec("Stuck", -1));
    SERVICE_STATUS status;
    ASSERT_TRUE(Stop("Stuck", status));
    SC_HANDLE service = OpenServiceA(manager_, "Stuck", SERVICE_QUERY_STATUS);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), Query(service)) << i;
    CloseServiceHandle(service);
    EXPECT_EQ(500, sim::StatusQueries("Stuck"));
    EXPECT_FALSE(Stop("Stuck", status)) << "a stopping service takes no second stop";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), GetLastError());
}

TEST_F(ServicesSim, StoppedServiceIsNotActive)
{
    sim::ServiceSpec spec = Spec("Idle", 0);
    spec.state = SERVICE_STOPPED;
    sim::AddService(spec);
    SERVICE_STATUS status;
    EXPECT_FALSE(Stop("Idle", status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(0, sim::StopControlsReceived("Idle"));
}

TEST_F(ServicesSim, RefusalsLeaveTheServiceRunningSimOnly)
{
    sim::ServiceSpec sealed = Spec("Sealed", 0);
    sealed.canOpen = false;
    sim::AddService(sealed);
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "Sealed", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    sim::ServiceSpec deaf = Spec("Deaf", 0);
    deaf.acceptsStop = false;
    sim::AddService(deaf);
    SERVICE_STATUS status;
    EXPECT_FALSE(Stop("Deaf", status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), sim::ServiceState("Deaf"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), sim::ServiceState("Sealed"));
    EXPECT_EQ(1, sim::StopControlsReceived("Deaf"));
}

TEST_F(ServicesSim, HandlesCarryTheRightsAskedFor)
{
    sim::AddService(Spec("Rights", 0));
    SC_HANDLE stopOnly = OpenServiceA(manager_, "Rights", SERVICE_STOP);
    SERVICE_STATUS status;
    EXPECT_FALSE(QueryServiceStatus(stopOnly, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseServiceHandle(stopOnly);
    SC_HANDLE queryOnly = OpenServiceA(manager_, "Rights", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(ControlService(queryOnly, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), Query(queryOnly));
    CloseServiceHandle(queryOnly);
    EXPECT_EQ(0, sim::StopControlsReceived("Rights"));
}

TEST_F(ServicesSim, NamesCompareWithoutLetterCase)
{
    sim::AddService(Spec(" 11F\xDF\xC4\x06#\xB7\xBA\xC4\xD6`I", 0));
    SERVICE_STATUS status;
    EXPECT_TRUE(Stop(" 11f\xDF\xE4\x06#\xB7\xBA\xC4\xD6`i", status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), sim::ServiceState(" 11F\xDF\xC4\x06#\xB7\xBA\xC4\xD6`I"));
    EXPECT_EQ(0u, sim::ServiceState("Unknown"));
    EXPECT_EQ(0, sim::StopControlsReceived("Unknown"));
}

TEST_F(ServicesSim, NineXHasNoServiceManagerSimOnly)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SERVICE_STOP));
    sim::SetServiceManagerAvailable(true);
    SC_HANDLE forced = OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SERVICE_STOP);
    EXPECT_NE(nullptr, forced);
    CloseServiceHandle(forced);
    sim::SetPlatform(sim::Family::Nt, 5, 1, 2600);
    sim::SetServiceManagerAvailable(false);
    EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    sim::Reset();
    manager_ = nullptr;  // gone with the old machine
    forced = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_NE(nullptr, forced) << "a fresh machine has its manager back";
    CloseServiceHandle(forced);
}

TEST_F(ServicesSim, HandlesAreOfTheirOwnKind)
{
    sim::AddService(Spec("Kind", 0));
    EXPECT_EQ(nullptr, OpenServiceA(reinterpret_cast<SC_HANDLE>(static_cast<uintptr_t>(0x42)), "Kind", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SERVICE_STATUS status;
    EXPECT_FALSE(QueryServiceStatus(manager_, &status)) << "a manager handle is no service";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(CloseHandle(manager_)) << "service handles close with their own call";
}

}  // namespace
