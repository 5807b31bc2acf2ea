#include <gtest/gtest.h>

#include "environment/file_facts.h"
#include "environment/paths.h"
#include "environment/platform_family.h"
#include "platform/sim/machine.h"

namespace {

class PathsSim : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { sim::Reset(); }
};

}  // namespace

TEST_F(PathsSim, TempFolderMustFitNinetyNineCharacters)
{
    const std::string fits = "C:\\" + std::string(95, 't') + "\\";  // 99 characters
    ASSERT_EQ(fits.size(), 99u);
    sim::SetTempDir(fits);
    EXPECT_EQ(GetTempDir(), std::wstring(fits.begin(), fits.end()));
    sim::SetTempDir("C:\\" + std::string(96, 't') + "\\");  // 100 characters
    EXPECT_EQ(GetTempDir(), L"");
    sim::SetTempDir("C:\\" + std::string(150, 't') + "\\");
    EXPECT_EQ(GetTempDir(), L"");
    // A profile the code page cannot spell gives a look-alike path, another
    // user's folder perhaps: no temporary folder at all.
    sim::SetTempDir(L"C:\\Documents and Settings\\\uFF2Fwner\\Local Settings\\Temp\\");
    EXPECT_EQ(GetTempDir(), L"");
    sim::SetTempDir(L"C:\\Documents and Settings\\\u00D8wner\\Local Settings\\Temp\\");
    EXPECT_EQ(GetTempDir(), L"C:\\Documents and Settings\\\u00D8wner\\Local Settings\\Temp\\");
}

TEST_F(PathsSim, FoldersThatDoNotFitTheirBuffersGiveTheEmptyString)
{
    const std::string windows199 = "C:\\" + std::string(196, 'w');
    sim::SetWindowsDir(windows199);
    EXPECT_EQ(GetWindowsDir(), std::wstring(windows199.begin(), windows199.end()));
    sim::SetWindowsDir("C:\\" + std::string(197, 'w'));
    EXPECT_EQ(GetWindowsDir(), L"");

    const std::string system254 = "C:\\" + std::string(251, 's');
    sim::SetSystemDir(system254);
    EXPECT_EQ(GetSystemDir(), std::wstring(system254.begin(), system254.end()));
    sim::SetSystemDir("C:\\" + std::string(252, 's'));
    EXPECT_EQ(GetSystemDir(), L"");
}

TEST_F(PathsSim, ShortNameIsTheGeneratedEightDotThreeForm)
{
    const std::string path = "C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\long name.dll";
    sim::AddFile(path, "x");
    const std::string expected = sim::ShortPath(path);
    EXPECT_EQ(GetShortName(std::wstring(path.begin(), path.end())),
              std::wstring(expected.begin(), expected.end()));
    EXPECT_EQ(GetShortName(L"C:\\WINDOWS\\absent.dll"), L"");
}

TEST_F(PathsSim, OsFamilyFollowsThePlatformIdentifier)
{
    sim::SetPlatform(sim::Family::Win9x, 4, 90, 3000);
    EXPECT_EQ(GetOsFamily(), L"9X");
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_EQ(GetOsFamily(), L"NT");
    sim::SetPlatform(sim::Family::Other, 0, 0, 0);
    EXPECT_EQ(GetOsFamily(), L"");
    sim::SetPlatform(sim::Family::Nt, 5, 1, 2600);
    sim::SetVersionExFails(true);
    EXPECT_EQ(GetOsFamily(), L"");
}

TEST_F(PathsSim, FileLengthKeepsTheLowThirtyTwoBitsAsASignedNumber)
{
    sim::AddFile("C:\\WINDOWS\\big.dat", "x");
    sim::SetReportedSize("C:\\WINDOWS\\big.dat", 0x80000010ull);
    EXPECT_EQ(GetFileLength(L"C:\\WINDOWS\\big.dat"), static_cast<int32_t>(0x80000010u));
    sim::SetReportedSize("C:\\WINDOWS\\big.dat", 0x100000005ull);
    EXPECT_EQ(GetFileLength(L"C:\\WINDOWS\\big.dat"), 5);
}

TEST_F(PathsSim, FileLengthLeavesNoHandleOpen)
{
    sim::AddFile("C:\\WINDOWS\\a.dat", "abc");
    const int before = sim::OpenHandles();
    EXPECT_EQ(GetFileLength(L"C:\\WINDOWS\\a.dat"), 3);
    EXPECT_EQ(GetFileLength(L"C:\\WINDOWS\\absent.dat"), -1);
    EXPECT_TRUE(FileIsPresent(L"C:\\WINDOWS\\a.dat"));
    EXPECT_EQ(sim::OpenHandles(), before);
}

TEST_F(PathsSim, ProgramFolderAndBaseName)
{
    sim::SetModulePath("C:\\Tools\\Gv.Removal.exe");
    EXPECT_EQ(GetProgramFolder(), L"C:\\Tools");
    EXPECT_EQ(GetProgramBaseName(), L"Gv.Removal");
    sim::SetModulePath("D:\\Grevlin.exe");
    EXPECT_EQ(GetProgramFolder(), L"D:");
    EXPECT_EQ(GetProgramBaseName(), L"Grevlin");
}
