// The simulated machine's disk: its fresh layout, the NTFS short names, its
// Unicode names, and the arrangements only a simulation can make (holds by
// other processes, forged sizes, files that vanish, read-only media, failing
// writes, reparse points).
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kErrorNotReady = 21;

class SimFiles : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    static HANDLE Open(const std::string& path, DWORD access = GENERIC_READ,
                       DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE, DWORD disposition = OPEN_EXISTING)
    {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
    }

    static std::vector<std::wstring> FindW(const std::wstring& pattern, std::vector<WIN32_FIND_DATAW>* records = nullptr)
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(platform::ToUtf16(pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(platform::FromUtf16(data.cFileName, std::char_traits<WCHAR>::length(data.cFileName)));
            if (records != nullptr) records->push_back(data);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

    static std::vector<std::string> Find(const std::string& pattern, std::vector<WIN32_FIND_DATAA>* records = nullptr)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(data.cFileName);
            if (records != nullptr) records->push_back(data);
        } while (FindNextFileA(find, &data));
        FindClose(find);
        return names;
    }
};

TEST_F(SimFiles, FreshMachineLayout)
{
    EXPECT_TRUE(sim::FolderExists("C:\\WINDOWS"));
    EXPECT_TRUE(sim::FolderExists("C:\\WINDOWS\\system32"));
    EXPECT_TRUE(sim::FolderExists("C:\\Documents and Settings\\Owner\\Local Settings\\Temp"));
    EXPECT_TRUE(sim::FolderExists("C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\"));
    EXPECT_TRUE(sim::FileExists("C:\\Program Files\\Grevlin\\Grevlin.exe"));
    EXPECT_EQ(sim::FileContents("C:\\PROGRA~1\\Grevlin\\Grevlin.exe"), "");
    EXPECT_EQ(sim::ShortPath("C:\\Documents and Settings\\Owner\\Local Settings\\Temp"),
              "C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp");
    EXPECT_EQ(sim::ListFolder("C:\\WINDOWS"), std::vector<std::string>{"system32"});
    EXPECT_EQ(sim::OpenHandles(), 0);

    sim::AddFile("C:\\WINDOWS\\left.txt", "x");
    sim::Reset();
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\left.txt")) << "a reset gives a fresh disk";
}

TEST_F(SimFiles, ShortNamesFollowNtfs)
{
    char buffer[MAX_PATH] = {};
    const char* temp = "C:\\Documents and Settings\\Owner\\Local Settings\\Temp\\";
    const DWORD n = GetShortPathNameA(temp, buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, n), "C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\");

    sim::AddFile("C:\\WINDOWS\\Program Data One.html", "");
    sim::AddFile("C:\\WINDOWS\\Program Data Two.html", "");
    sim::AddFile("C:\\WINDOWS\\setup.exe", "");
    sim::AddFile("C:\\WINDOWS\\archive.tar.gz", "");
    sim::AddFile("C:\\WINDOWS\\a+b.txt", "");
    EXPECT_EQ(sim::ShortPath("C:\\WINDOWS\\Program Data One.html"), "C:\\WINDOWS\\PROGRA~1.HTM");
    EXPECT_EQ(sim::ShortPath("C:\\WINDOWS\\Program Data Two.html"), "C:\\WINDOWS\\PROGRA~2.HTM");
    EXPECT_EQ(sim::ShortPath("C:\\WINDOWS\\setup.exe"), "C:\\WINDOWS\\setup.exe");
    EXPECT_EQ(sim::ShortPath("C:\\WINDOWS\\archive.tar.gz"), "C:\\WINDOWS\\ARCHIV~1.GZ");
    EXPECT_EQ(sim::ShortPath("C:\\WINDOWS\\a+b.txt"), "C:\\WINDOWS\\A_B~1.TXT");

    std::vector<WIN32_FIND_DATAA> records;
    Find("C:\\WINDOWS\\*.html", &records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].cFileName, "Program Data One.html");
    EXPECT_STREQ(records[0].cAlternateFileName, "PROGRA~1.HTM");
    records.clear();
    Find("C:\\WINDOWS\\setup.exe", &records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].cAlternateFileName, "") << "an 8.3 name has no second name";

    HANDLE viaShort = Open("c:\\windows\\progra~2.htm");
    EXPECT_NE(viaShort, INVALID_HANDLE_VALUE) << "short names are accepted anywhere";
    CloseHandle(viaShort);
    EXPECT_EQ(Find("C:\\WINDOWS\\*.HTM").size(), 2u) << "wildcards also match the short names";
}

TEST_F(SimFiles, ListingOrderNtfsSortedFatAsMade)
{
    sim::AddFile("C:\\WINDOWS\\zeta.dll", "");
    sim::AddFile("C:\\WINDOWS\\Alpha.exe", "");
    sim::AddFolder("C:\\WINDOWS\\Media");
    EXPECT_EQ(Find("C:\\WINDOWS\\*.*"),
              (std::vector<std::string>{".", "..", "Alpha.exe", "Media", "system32", "zeta.dll"}));
    EXPECT_EQ(sim::ListFolder("C:\\WINDOWS"),
              (std::vector<std::string>{"Alpha.exe", "Media", "system32", "zeta.dll"}));
    EXPECT_EQ(Find("C:\\*.*"), (std::vector<std::string>{"Documents and Settings", "Program Files", "WINDOWS"}))
        << "a drive root has no . and ..";

    sim::SetVolume(sim::Fat32("D:\\"));
    sim::AddFile("D:\\b.txt", "");
    sim::AddFile("D:\\a.txt", "");
    EXPECT_EQ(Find("D:\\*.*"), (std::vector<std::string>{"b.txt", "a.txt"}));
}

TEST_F(SimFiles, HoldsByOtherProcesses)
{
    sim::AddFile("C:\\WINDOWS\\busy.exe", "MZ");
    const DWORD pid = 4242;
    sim::HoldFile(pid, "C:\\WINDOWS\\busy.exe", 0);
    HANDLE read = Open("C:\\WINDOWS\\busy.exe");
    EXPECT_EQ(read, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(_lopen("C:\\WINDOWS\\busy.exe", OF_READ), HFILE_ERROR);
    HANDLE streams = CreateFileA("C:\\WINDOWS\\busy.exe", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(streams, INVALID_HANDLE_VALUE) << "no data access, no share check";
    CloseHandle(streams);
    sim::ReleaseFilesHeldBy(pid);

    sim::HoldFile(pid, "C:\\WINDOWS\\busy.exe", FILE_SHARE_READ | FILE_SHARE_WRITE);
    read = Open("C:\\WINDOWS\\busy.exe");
    EXPECT_NE(read, INVALID_HANDLE_VALUE) << "the holder shares reading";
    CloseHandle(read);
    EXPECT_EQ(Open("C:\\WINDOWS\\busy.exe", GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE)
        << "the holder writes, so a reader must share writing";
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\busy.exe"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\busy.exe"));

    sim::ReleaseFilesHeldBy(pid + 1);
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\busy.exe")) << "another process ending changes nothing";
    sim::ReleaseFilesHeldBy(pid);
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\busy.exe"));
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\busy.exe"));
}

TEST_F(SimFiles, DeleteSharedForDeletionWaitsForTheLastHandle)
{
    sim::AddFile("C:\\WINDOWS\\open.dat", "data");
    const DWORD pid = 77;
    sim::HoldFile(pid, "C:\\WINDOWS\\open.dat", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\open.dat"));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\open.dat")) << "still open elsewhere";
    EXPECT_EQ(Open("C:\\WINDOWS\\open.dat"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "delete pending";
    sim::ReleaseFilesHeldBy(pid);
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\open.dat"));

    sim::AddFile("C:\\WINDOWS\\mine.dat", "data");
    HANDLE own = Open("C:\\WINDOWS\\mine.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_NE(own, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\mine.dat"));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\mine.dat"));
    CloseHandle(own);
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\mine.dat"));
}

TEST_F(SimFiles, ReportedSizesOfTwoGigabytesAndMore)
{
    sim::AddFile("C:\\WINDOWS\\huge.dat", "tiny");
    sim::SetReportedSize("C:\\WINDOWS\\huge.dat", 0x1'0000'0010ULL);
    HFILE file = _lopen("C:\\WINDOWS\\huge.dat", OF_READ);
    ASSERT_NE(file, HFILE_ERROR);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), &high), 0x10u);
    EXPECT_EQ(high, 1u);
    char buffer[16];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), buffer, 16, &read, nullptr));
    EXPECT_EQ(read, 4u) << "reads deliver the real contents";
    EXPECT_EQ(_lclose(file), 0);
    EXPECT_EQ(_lclose(file), HFILE_ERROR) << "closed already";

    sim::SetReportedSize("C:\\WINDOWS\\huge.dat", 0xFFFFFFFFULL);
    HANDLE h = Open("C:\\WINDOWS\\huge.dat");
    SetLastError(1234);
    EXPECT_EQ(GetFileSize(h, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR)) << "a real size of 4 GiB - 1 is not a failure";
    CloseHandle(h);

    std::vector<WIN32_FIND_DATAA> records;
    sim::SetReportedSize("C:\\WINDOWS\\huge.dat", 0x8000'0000ULL);
    Find("C:\\WINDOWS\\huge.dat", &records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].nFileSizeLow, 0x80000000u);
    EXPECT_EQ(records[0].nFileSizeHigh, 0u);
}

TEST_F(SimFiles, FileThatVanishesAfterTheListing)
{
    sim::AddFile("C:\\WINDOWS\\ghost.exe", "MZ");
    sim::VanishOnOpen("C:\\WINDOWS\\ghost.exe");
    EXPECT_EQ(Find("C:\\WINDOWS\\ghost.exe").size(), 1u) << "the listing still sees it";
    EXPECT_EQ(_lopen("C:\\WINDOWS\\ghost.exe", OF_READ), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\ghost.exe"));
}

TEST_F(SimFiles, ReadOnlyFolderRefusesNewFiles)
{
    sim::SetFolderReadOnly("C:\\Program Files\\Grevlin", true);
    HANDLE log = Open("C:\\Program Files\\Grevlin\\Gv LogFile.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
    EXPECT_EQ(log, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA("C:\\Program Files\\Grevlin\\Grevlin.exe"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE exe = Open("C:\\Program Files\\Grevlin\\Grevlin.exe");
    EXPECT_NE(exe, INVALID_HANDLE_VALUE) << "reading still works";
    CloseHandle(exe);

    sim::SetFolderReadOnly("C:\\Program Files\\Grevlin", false);
    log = Open("C:\\Program Files\\Grevlin\\Gv LogFile.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
    EXPECT_NE(log, INVALID_HANDLE_VALUE);
    CloseHandle(log);
}

TEST_F(SimFiles, WriteFailsMidway)
{
    sim::FailWriteAfter("C:\\WINDOWS\\WinInit.ini", 4);
    HANDLE h = Open("c:\\windows\\wininit.ini", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(h, "[Rename]\r\n", 10, &written, nullptr));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    EXPECT_TRUE(WriteFile(h, "!", 1, &written, nullptr)) << "only the next write fails";
    CloseHandle(h);
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\WinInit.ini"), "[Ren!");
}

TEST_F(SimFiles, DeletionAtRestartIsRecorded)
{
    EXPECT_TRUE(MoveFileExA("C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\se.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(sim::PendingDeletes(), std::vector<std::string>{"C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\se.dll"});
    EXPECT_FALSE(MoveFileExA("", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(sim::PendingDeletes().size(), 1u);

    // A user without administrator rights may not add to the list.
    sim::RefuseRestartDeletions(true);
    EXPECT_FALSE(MoveFileExA("C:\\WINDOWS\\other.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::PendingDeletes().size(), 1u);
}

TEST_F(SimFiles, VolumeQueries)
{
    char name[256], fileSystem[256];
    DWORD serial = 0, maxComponent = 0, flags = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", name, 256, &serial, &maxComponent, &flags, fileSystem, 256));
    EXPECT_STREQ(fileSystem, "NTFS");
    EXPECT_TRUE(flags & FILE_NAMED_STREAMS);

    sim::SetVolume(sim::Fat32());
    ASSERT_TRUE(GetVolumeInformationA("c:\\", name, 256, &serial, &maxComponent, &flags, fileSystem, 256));
    EXPECT_STREQ(fileSystem, "FAT32");
    EXPECT_FALSE(flags & FILE_NAMED_STREAMS);
    EXPECT_TRUE(sim::FolderExists("C:\\WINDOWS")) << "a new volume description keeps the files";

    sim::Volume failing = sim::Ntfs();
    failing.queryFails = true;
    sim::SetVolume(failing);
    flags = 0;
    EXPECT_FALSE(GetVolumeInformationA("C:\\", name, 256, &serial, &maxComponent, &flags, fileSystem, 256));
    EXPECT_EQ(GetLastError(), kErrorNotReady);
    EXPECT_EQ(flags, 0u) << "a failed query leaves the flags alone";
    EXPECT_FALSE(GetVolumeInformationA("C:", name, 256, &serial, &maxComponent, &flags, fileSystem, 256));
}

TEST_F(SimFiles, CallsAreObservedAndHandlesCounted)
{
    std::vector<std::string> calls;
    sim::SetCallHook([&](const char* function) { calls.push_back(function); });
    HFILE file = _lopen("C:\\Program Files\\Grevlin\\Grevlin.exe", OF_READ);
    GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), nullptr);
    EXPECT_EQ(sim::OpenHandles(), 1);
    _lclose(file);
    EXPECT_EQ(sim::OpenHandles(), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"_lopen", "GetFileSize", "_lclose"}));
}

// Wine keeps the archive bit and, run as root, lets read-only files be
// written; Windows does neither.
TEST_F(SimFiles, AttributesExactlyAsWindowsReportsThem)
{
    sim::AddFile("C:\\WINDOWS\\ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\ro.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(Open("C:\\WINDOWS\\ro.txt", GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open("C:\\WINDOWS\\ro.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\ro.txt", FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM))
        << "FILE_ATTRIBUTE_NORMAL counts only on its own";
}

// Documented for CreateFile, and not done by Wine: CREATE_ALWAYS over a
// hidden or system file must name those attributes again.
TEST_F(SimFiles, OverwritingHiddenFileNeedsItsAttributes)
{
    sim::AddFile("C:\\WINDOWS\\WinInit.ini", "[Rename]\r\n", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    HANDLE plain = Open("C:\\WINDOWS\\WinInit.ini", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(plain, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\WinInit.ini"), "[Rename]\r\n") << "nothing was lost";

    HANDLE hidden = CreateFileA("C:\\WINDOWS\\WinInit.ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(hidden, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(hidden);
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\WinInit.ini"), "");
    EXPECT_EQ(sim::Attributes("C:\\WINDOWS\\WinInit.ini"),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

    HANDLE open = Open("C:\\WINDOWS\\WinInit.ini", GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(open, INVALID_HANDLE_VALUE) << "opening without overwriting is not restricted";
    CloseHandle(open);
}

TEST_F(SimFiles, OtherDrivesAppearWhenNamed)
{
    sim::AddFile("D:\\Tools\\cws fix.exe", "MZ");
    EXPECT_TRUE(sim::FileExists("D:\\Tools\\cws fix.exe"));
    char fileSystem[16];
    EXPECT_TRUE(GetVolumeInformationA("D:\\", nullptr, 0, nullptr, nullptr, nullptr, fileSystem, 16));
    EXPECT_STREQ(fileSystem, "NTFS");
    EXPECT_EQ(Open("E:\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SimFiles, ArrangementMistakesAreReported)
{
    sim::AddFile("C:\\WINDOWS\\plain.txt", "");
    EXPECT_THROW(sim::AddFile("C:\\WINDOWS\\plain.txt\\inner.txt", ""), std::invalid_argument);
    EXPECT_THROW(sim::AddFile("C:\\WINDOWS", ""), std::invalid_argument);
    EXPECT_THROW(sim::HoldFile(1, "C:\\WINDOWS\\absent.exe", 0), std::invalid_argument);
    EXPECT_THROW(sim::SetReportedSize("C:\\WINDOWS\\absent.exe", 1), std::invalid_argument);
    sim::AddFile("C:\\WINDOWS\\new\\deep\\made.txt", "x", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(sim::FolderExists("C:\\WINDOWS\\new\\deep"));
    EXPECT_EQ(sim::Attributes("C:\\WINDOWS\\new\\deep\\made.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(sim::Attributes("C:\\WINDOWS\\new"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(sim::Attributes("C:\\WINDOWS\\none"), INVALID_FILE_ATTRIBUTES);
}

// Names without a 1252 form: the disk keeps them whole, the A side sees their
// best fit, and each has a short name of plain ASCII, unique in its folder.
TEST_F(SimFiles, UnicodeNamesAndTheirShortNames)
{
    sim::AddFile("C:\\victim.txt", "keep");
    const std::vector<std::wstring> names = {L"..\uFF3Cvictim.txt", L"\uFF0Fvictim.txt", L"Pa\u00F1uelo.exe"};
    for (const std::wstring& name : names) sim::AddFile(L"C:\\WINDOWS\\" + name, "unicode");
    EXPECT_TRUE(sim::FileExists(L"c:\\windows\\..\uFF3CVICTIM.TXT"));
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\..\\victim.txt"), "keep") << "the best fit is a path elsewhere";
    EXPECT_EQ(sim::ListFolder(L"C:\\WINDOWS"),
              (std::vector<std::wstring>{L"..\uFF3Cvictim.txt", L"Pa\u00F1uelo.exe", L"system32", L"\uFF0Fvictim.txt"}))
        << "sorted as upper-cased UTF-16";
    EXPECT_EQ(sim::ListFolder("C:\\WINDOWS"),
              (std::vector<std::string>{"..\\victim.txt", "Pa\xF1uelo.exe", "system32", "/victim.txt"}));

    std::vector<std::string> shortNames;
    for (const std::wstring& name : names) {
        const std::wstring shortPath = sim::ShortPath(L"C:\\WINDOWS\\" + name);
        ASSERT_EQ(shortPath.rfind(L"C:\\WINDOWS\\", 0), 0u) << "no short form of " << name.size();
        std::string shortName;
        for (wchar_t c : shortPath.substr(11)) shortName += c > ' ' && c < 0x7F ? static_cast<char>(c) : '?';
        EXPECT_EQ(shortName.find('?'), std::string::npos) << shortName;
        const size_t dot = shortName.find('.');
        EXPECT_LE(dot, 8u) << shortName;
        EXPECT_EQ(shortName.size() - dot, 4u) << shortName << " keeps three letters of the extension";
        EXPECT_EQ(std::count(shortNames.begin(), shortNames.end(), shortName), 0) << shortName << " twice";
        shortNames.push_back(shortName);
    }
    std::vector<WIN32_FIND_DATAW> records;
    FindW(L"C:\\WINDOWS\\..\uFF3Cvictim.txt", &records);
    ASSERT_EQ(records.size(), 1u);
    const WCHAR* alternate = records[0].cAlternateFileName;
    EXPECT_EQ(platform::FromUtf16(alternate, std::char_traits<WCHAR>::length(alternate)),
              platform::FromAnsi(shortNames[0]));
    const DWORD holder = sim::AddProcess("C:\\WINDOWS\\holder.exe");
    sim::HoldFile(holder, L"C:\\WINDOWS\\" + names[0], 0);
    EXPECT_FALSE(DeleteFileA(("C:\\WINDOWS\\" + shortNames[0]).c_str())) << "held by its true name";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, holder);
    ASSERT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    EXPECT_TRUE(DeleteFileA(("C:\\WINDOWS\\" + shortNames[0]).c_str())) << GetLastError();
    EXPECT_FALSE(sim::FileExists(L"C:\\WINDOWS\\" + names[0]));
    EXPECT_TRUE(sim::FileExists(L"C:\\WINDOWS\\" + names[1]));
    EXPECT_TRUE(sim::FileExists("C:\\victim.txt"));
}

// MAX_PATH and the 255 of a name count characters, however many bytes the
// simulation spends on them; so does the "?" of a pattern.
TEST_F(SimFiles, LengthsCountCharacters)
{
    const std::wstring name(200, L'\uFF45');
    ASSERT_TRUE(CreateDirectoryW(platform::ToUtf16(L"C:\\WINDOWS\\" + name).c_str(), nullptr)) << GetLastError();
    EXPECT_TRUE(sim::FolderExists(L"C:\\WINDOWS\\" + name));
    EXPECT_EQ(FindW(L"C:\\WINDOWS\\" + name), std::vector<std::wstring>{name});
    const std::wstring tooLong = L"C:\\WINDOWS\\" + std::wstring(250, L'\uFF45');
    EXPECT_FALSE(CreateDirectoryW(platform::ToUtf16(tooLong).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), 206u) << "ERROR_FILENAME_EXCED_RANGE";

    sim::AddFile(L"C:\\WINDOWS\\\uFF45\uFF58\uFF50.exe", "");
    EXPECT_EQ(FindW(L"C:\\WINDOWS\\???.exe"), std::vector<std::wstring>{L"\uFF45\uFF58\uFF50.exe"});
    EXPECT_TRUE(FindW(L"C:\\WINDOWS\\??.exe").empty());
    EXPECT_EQ(Find("C:\\WINDOWS\\?XP.EXE"), std::vector<std::string>{}) << "a best fit matches nothing";
}

TEST_F(SimFiles, ReparsePointsReportTheirAttribute)
{
    const std::string junction = "C:\\Documents and Settings\\Owner\\Application Data";
    sim::AddFolder(junction);
    sim::SetReparsePoint(junction, true);
    const DWORD expected = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_EQ(GetFileAttributesA(junction.c_str()), expected);
    EXPECT_EQ(GetFileAttributesW(platform::ToUtf16(platform::FromAnsi(junction)).c_str()), expected);
    std::vector<WIN32_FIND_DATAA> records;
    Find("C:\\Documents and Settings\\Owner\\App*", &records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dwFileAttributes, expected);
    EXPECT_EQ(records[0].dwReserved0, static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT)) << "the reparse tag";
    std::vector<WIN32_FIND_DATAW> wide;
    FindW(L"C:\\Documents and Settings\\Owner\\*", &wide);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[2].dwFileAttributes, expected);

    ASSERT_TRUE(SetFileAttributesA(junction.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(sim::Attributes(junction), expected | FILE_ATTRIBUTE_HIDDEN) << "no call sets or clears it";
    sim::SetReparsePoint(L"C:\\Documents and Settings\\Owner\\Application Data", false);
    EXPECT_EQ(sim::Attributes(junction), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_THROW(sim::SetReparsePoint("C:\\Program Files\\Grevlin\\Grevlin.exe", true), std::invalid_argument);
    EXPECT_THROW(sim::SetReparsePoint("C:\\absent", true), std::invalid_argument);
}

}  // namespace
