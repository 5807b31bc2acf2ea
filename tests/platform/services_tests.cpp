// What the service stop relies on from the service control manager: the
// active database opens on the NT family, a missing service is reported as
// such, and handles close with their own call.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"

namespace {

bool IsNtFamily()
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

TEST(Services, ActiveDatabaseOpensOnNt)
{
    ASSERT_TRUE(IsNtFamily());
    SC_HANDLE manager = OpenSCManagerA(nullptr, "ServicesActive", SERVICE_STOP);
    ASSERT_NE(nullptr, manager) << GetLastError();
    EXPECT_TRUE(CloseServiceHandle(manager));

    manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(nullptr, manager) << "no database name means the active one";
    EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST(Services, OtherDatabaseNamesAreRefused)
{
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, "GrevlinNoSuchDatabase", SC_MANAGER_CONNECT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
}

TEST(Services, MissingServiceIsReportedAsMissing)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SERVICE_STOP);
    ASSERT_NE(nullptr, manager);
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "GrevlinNoSuchService", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    // Names outside ASCII, as the hijacker's are, go through the same lookup.
    // Not one of the hijacker's own: the removal tests install those in the
    // same prefix, and may run at the same time.
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "\xBDO.#\x9E\x82\x84\x81 Grevlin none", 0xF003F));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST(Services, InvalidHandlesAreRefused)
{
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(nullptr, "GrevlinNoSuchService", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SERVICE_STATUS status;
    std::memset(&status, 0, sizeof status);
    EXPECT_FALSE(QueryServiceStatus(nullptr, &status));
    EXPECT_FALSE(ControlService(nullptr, SERVICE_CONTROL_STOP, &status));
}

}  // namespace
