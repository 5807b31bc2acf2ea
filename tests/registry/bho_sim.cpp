// Browser Helper Object removal on the simulated machine: refused keys,
// handles, pumping and name lengths.
#include <gtest/gtest.h>

#include <string>

#include "registry/bho.h"
#include "support/fresh_machine.h"
#include "support/sim_clock.h"

namespace {

const std::string kBhoKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const char kServer[] = "C:\\WINDOWS\\system32\\hsa91.dll";

class BhoSim : public simtest::BoundedPasses {
protected:
    static void Register(const std::string& classId, const std::string& server)
    {
        sim::AddKey(HKEY_LOCAL_MACHINE, kBhoKey + "\\" + classId);
        sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\" + classId + "\\InProcServer32", "", server);
        sim::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\" + classId + "\\InProcServer32",
                       "", server);
    }

};

TEST_F(BhoSim, WithoutTheBrowserHelperObjectsKeyNothingIsTouched)
{
    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InProcServer32", "", kServer);

    RemoveBhoForFile(L"C:\\WINDOWS\\system32\\hsa91.dll");

    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InProcServer32"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
    EXPECT_EQ(fakeui::PumpCount(), 0);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(BhoSim, TheClassGoesFromBothPlacesItIsRegistered)
{
    Register("{1}", kServer);
    sim::AddKey(HKEY_LOCAL_MACHINE, kBhoKey + "\\{2}");
    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\{2}\\InProcServer32", "", kServer);

    RemoveBhoForFile(L"C:\\WINDOWS\\system32\\hsa91.dll");

    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{1}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{1}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{1}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{2}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{2}"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(BhoSim, ARefusedDeletionEndsThePassAndSparesOnlyThatEntry)
{
    Register("{1}", kServer);
    Register("{2}", kServer);
    Register("{3}", "C:\\WINDOWS\\system32\\other.dll");
    sim::RefuseKey(HKEY_LOCAL_MACHINE, kBhoKey + "\\{1}");
    simclock::EachCallTakes("RegEnumKeyExW", 10);

    RemoveBhoForFile(L"C:\\WINDOWS\\system32\\hsa91.dll");

    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{1}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{2}"));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{2}"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{3}"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{3}"));
    EXPECT_EQ(fakeui::PumpCount(), 3);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(BhoSim, ClassNamesOfUpTo254CharactersAreHandled)
{
    const std::string longest = "{" + std::string(252, 'A') + "}";
    const std::string tooLong = "{" + std::string(253, 'B') + "}";
    Register(longest, kServer);
    Register(tooLong, kServer);
    Register("{C}", kServer);

    RemoveBhoForFile(L"C:\\WINDOWS\\system32\\hsa91.dll");

    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\" + longest));
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + longest));
    // A 255-character name does not fit the buffer; the pass goes past it.
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\" + tooLong));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + "\\{C}"));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

}  // namespace
