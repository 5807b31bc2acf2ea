#include <gtest/gtest.h>

#include "detection/crc32.h"
#include "detection/file_locations.h"
#include "detection/scratch_folder.h"
#include "environment/paths.h"
#include "environment/protected_names.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

// The whole file stage on the machine the tests run on: its own system files
// must not match, and the two fixed files are found where they belong.
TEST(FileLocations, FindsOnlyTheFixedFilesOnAnUninfectedMachine)
{
    REQUIRE_THROWAWAY_MACHINE();
    ResetSharedState();
    fakeui::Reset();
    BuildCrcTable();
    LoadProtectedNames();
    const std::wstring warnhp = GetWindowsDir() + L"\\warnhp.html";
    const std::wstring seDll = GetTempDir() + L"se.dll";
    ASSERT_FALSE(win32files::Exists(warnhp));
    ASSERT_FALSE(win32files::Exists(seDll));
    ASSERT_TRUE(win32files::Write(warnhp, "<html>", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(win32files::Write(seDll, "MZ"));

    ScanFileLocations();
    const bool warnhpLeft = win32files::Exists(warnhp);
    const bool seDllLeft = win32files::Exists(seDll);
    win32files::Remove(warnhp);
    win32files::Remove(seDll);

    EXPECT_FALSE(warnhpLeft);
    EXPECT_FALSE(seDllLeft);
    EXPECT_EQ(fakeui::Lines(), (std::vector<std::wstring>{L"Removed File! : " + warnhp,
                                                          L"Removed File! : Temp Folder\\Se.dll"}));
    EXPECT_EQ(gFilesFound, 2);
    EXPECT_EQ(fakeui::Statuses().front(), L"Scanning File locations...");
    ResetSharedState();
}
