#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "detection/folder_walker.h"
#include "detection/scratch_folder.h"
#include "detection/signatures.h"
#include "support/throwaway_machine.h"

namespace {

class FolderWalker : public testfiles::ScratchScan {
protected:
    // The paths the matcher examined: each one it takes on is shown in the status line.
    std::vector<std::wstring> Examined() const
    {
        std::vector<std::wstring> paths = fakeui::Statuses();
        std::sort(paths.begin(), paths.end());
        return paths;
    }
};

}  // namespace

TEST_F(FolderWalker, HandsOnNamesEndingInAListedExtension)
{
    const std::string clean = testfiles::FillerBytes(64);
    for (const wchar_t* name : {L"SETUP.EXE", L"Notes.Txt", L"old.$$$", L"x.log", L"y.bak",
                                L"z.tmp", L"w.dll", L"readme.html", L"exe", L"archive.exe.zip",
                                L"dat", L"noext"})
        folder_.Write(name, clean);
    ScanFolder(folder_.Path());
    std::vector<std::wstring> expected;
    for (const wchar_t* name : {L"Notes.Txt", L"SETUP.EXE", L"old.$$$", L"w.dll", L"x.log",
                                L"y.bak", L"z.tmp"})
        expected.push_back(folder_.Path() + name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Examined(), expected);
    EXPECT_TRUE(fakeui::Lines().empty());
}

TEST_F(FolderWalker, SubfoldersAreHandedOnByNameButNeverEntered)
{
    const std::wstring cache = folder_.AddFolder(L"cache.dat");
    const std::wstring plain = folder_.AddFolder(L"sub");
    folder_.Write(L"cache.dat\\inner.exe", "WSUD");
    folder_.Write(L"sub\\deep.exe", "WSUD");
    ScanFolder(folder_.Path());
    EXPECT_EQ(Examined(), std::vector<std::wstring>{folder_.Path() + L"cache.dat"});
    EXPECT_TRUE(fakeui::Lines().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(win32files::Exists(cache + L"inner.exe"));
    EXPECT_TRUE(win32files::Exists(plain + L"deep.exe"));
}

TEST_F(FolderWalker, HiddenAndSystemFilesAreExaminedToo)
{
    // The match is removed as any other: by ending processes and autorun values.
    REQUIRE_THROWAWAY_MACHINE();
    const std::wstring path = folder_.Write(L"ghost.exe", "WSUD",
                                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ScanFolder(folder_.Path());
    EXPECT_EQ(gFilesFound, 1);
    ASSERT_EQ(fakeui::Lines().size(), 1u);
    EXPECT_EQ(fakeui::Lines()[0], L"Removed File! : " + path);
}

TEST_F(FolderWalker, MissingOrUnnamedFolderGivesNothing)
{
    ScanFolder(folder_.Path() + L"absent\\");
    ScanFolder(L"");
    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_TRUE(fakeui::Lines().empty());
}

TEST_F(FolderWalker, AbortSetBeforeTheWalkExaminesNothing)
{
    folder_.Write(L"a.exe", "WSUD");
    gAbort = kTrue;
    ScanFolder(folder_.Path());
    EXPECT_TRUE(fakeui::Statuses().empty());
    EXPECT_EQ(gFilesFound, 0);
    EXPECT_TRUE(win32files::Exists(folder_.Path() + L"a.exe"));
}

TEST_F(FolderWalker, AbortDuringAFileLetsThatFileFinish)
{
    REQUIRE_THROWAWAY_MACHINE();
    for (const wchar_t* name : {L"a.exe", L"b.exe", L"c.exe", L"d.exe"}) folder_.Write(name, "WSUD");
    // Press "Abort Removal" in the first pump after the matcher took on a file.
    // Each look takes longer than the pumps' spacing, so the next pump is due.
    std::function<void()> pressAbort = [&] {
        Sleep(20);
        if (fakeui::Statuses().empty())
            fakeui::SetPumpHook(pressAbort);
        else
            gAbort = kTrue;
    };
    fakeui::SetPumpHook(pressAbort);
    ScanFolder(folder_.Path());
    EXPECT_EQ(fakeui::Statuses().size(), 1u);
    EXPECT_EQ(gFilesFound, 1);
    EXPECT_EQ(fakeui::Lines().size(), 1u);
}

TEST(Signatures, StreamsUseProbesOneToThreeAndEightDigests)
{
    EXPECT_TRUE(kBytePatterns[0].inStreams && kBytePatterns[1].inStreams && kBytePatterns[2].inStreams);
    EXPECT_FALSE(kBytePatterns[3].inStreams);
    int inStreams = 0;
    for (int i = 0; i < 22; ++i) {
        const bool expected = i < 5 || (i >= 8 && i <= 10);
        EXPECT_EQ(kDigestEntries[i].inStreams, expected) << "entry " << i + 1;
        inStreams += kDigestEntries[i].inStreams ? 1 : 0;
    }
    EXPECT_EQ(inStreams, 8);
}
