#include <gtest/gtest.h>

#include "detection/scratch_folder.h"
#include "environment/file_facts.h"
#include "environment/paths.h"
#include "environment/platform_family.h"
#include "environment/text.h"

using testfiles::ScratchFolder;

TEST(Paths, TrimNullCutsAtTheFirstNul)
{
    EXPECT_EQ(TrimNull(std::wstring(L"abc\0def", 7)), L"abc");
    EXPECT_EQ(TrimNull(L"abc"), L"abc");
    EXPECT_EQ(TrimNull(L""), L"");
    EXPECT_EQ(TrimNull(std::wstring(L"\0abc", 4)), L"");
    EXPECT_EQ(TrimNull(std::wstring(L"a\0\0", 3)), L"a");
}

TEST(Paths, SystemFoldersComeWithoutTrailingBackslash)
{
    const std::wstring windows = GetWindowsDir();
    const std::wstring system = GetSystemDir();
    ASSERT_GT(windows.size(), 3u);
    ASSERT_GT(system.size(), windows.size());
    EXPECT_NE(windows.back(), L'\\');
    EXPECT_NE(system.back(), L'\\');
    EXPECT_EQ(system.find(L' '), std::wstring::npos) << "buffer padding leaked into the path";
    EXPECT_NE(GetFileAttributesA(platform::ToAnsi(windows).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(platform::ToAnsi(system).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Paths, TempFolderEndsWithBackslashSoNamesAppendDirectly)
{
    const std::wstring temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_EQ(temp.find(L'\0'), std::wstring::npos);
    const std::wstring path = temp + L"gvpathtest.dll";
    ASSERT_TRUE(win32files::Write(path, "x"));
    EXPECT_TRUE(FileIsPresent(path));
    win32files::Remove(path);
}

TEST(Paths, FileLengthOfEmptyMissingAndOrdinaryFiles)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    EXPECT_EQ(GetFileLength(folder.Write(L"empty.bin", "")), 0);
    EXPECT_EQ(GetFileLength(folder.Write(L"five.bin", "12345")), 5);
    EXPECT_EQ(GetFileLength(folder.Write(L"hidden.bin", "123", FILE_ATTRIBUTE_HIDDEN)), 3);
    EXPECT_EQ(GetFileLength(folder.Path() + L"absent.bin"), -1);
}

TEST(Paths, FileLengthOfALockedFileIsMinusOne)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::wstring path = folder.Write(L"locked.bin", "12345");
    testfiles::HeldFile locker(path, GENERIC_READ, 0);
    ASSERT_TRUE(locker.Ok());
    EXPECT_EQ(GetFileLength(path), -1);
}

TEST(Paths, ShortNameOfExistingAndMissingPaths)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::wstring path = folder.Write(L"a rather long file name.dll", "x");
    const std::wstring shortName = GetShortName(path);
    ASSERT_FALSE(shortName.empty());
    EXPECT_TRUE(FileIsPresent(shortName));
    EXPECT_EQ(GetShortName(folder.Path() + L"absent file.dll"), L"");
}

TEST(Paths, OsFamilyIsNtHere)
{
    EXPECT_EQ(GetOsFamily(), L"NT");
}

TEST(Paths, PresenceCountsEveryKindOfFileButNoFolder)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    for (DWORD attributes : {DWORD(FILE_ATTRIBUTE_NORMAL), DWORD(FILE_ATTRIBUTE_READONLY),
                             DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_SYSTEM),
                             DWORD(FILE_ATTRIBUTE_ARCHIVE),
                             DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)}) {
        const std::wstring path =
            folder.Write(L"kind" + std::to_wstring(attributes) + L".dll", "x", attributes);
        EXPECT_TRUE(FileIsPresent(path)) << "attributes " << attributes;
    }
    const std::wstring sub = folder.AddFolder(L"sub.dll");
    EXPECT_FALSE(FileIsPresent(folder.Path() + L"sub.dll"));
    EXPECT_FALSE(FileIsPresent(folder.Path() + L"absent.dll"));
    // A search pattern is not a file name.
    EXPECT_FALSE(FileIsPresent(folder.Path() + L"*.dll"));
    EXPECT_FALSE(FileIsPresent(folder.Path() + L"kind?28.dll"));
    EXPECT_FALSE(FileIsPresent(L""));
}

TEST(Paths, ProgramFolderAndBaseNameNameTheRunningExecutable)
{
    const std::wstring folder = GetProgramFolder();
    const std::wstring base = GetProgramBaseName();
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(base.empty());
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_EQ(base.find(L'\\'), std::wstring::npos);
    EXPECT_EQ(base.find(L'.'), std::wstring::npos);
    EXPECT_TRUE(FileIsPresent(folder + L"\\" + base + L".exe"));
}
