// How Windows' file calls behave where Grevlin relies on them: run against
// real Win32 (under Wine) and against the simulated Windows alike. Every
// file is made in a folder of the test's own in the temporary folder, under
// a unique name, and removed again with the folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32.h"

#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef OF_SHARE_EXCLUSIVE
#define OF_SHARE_EXCLUSIVE 0x00000010
#endif

namespace {

using Wide = std::basic_string<WCHAR>;

Wide W(const std::wstring& text) { return platform::ToUtf16(text); }
Wide W(const std::string& ansi) { return W(platform::FromAnsi(ansi)); }
std::wstring Text(const WCHAR* text) { return platform::FromUtf16(text, std::char_traits<WCHAR>::length(text)); }
std::wstring Text(const Wide& text) { return platform::FromUtf16(text.data(), text.size()); }

// Each character as it is when it is plain ASCII, else '?'.
std::string Ascii(const WCHAR* text)
{
    std::string out;
    for (; *text != 0; ++text) out += *text > ' ' && *text < 0x7F ? static_cast<char>(*text) : '?';
    return out;
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        char buffer[MAX_PATH] = {};
        const DWORD n = GetTempPathA(MAX_PATH, buffer);
        ASSERT_GT(n, 0u);
        static int counter = 0;
        // Process ids come round again under Wine; the tick count tells runs apart.
        tag_ = "gvf" + std::to_string(GetCurrentProcessId() % 100000) + "_" + std::to_string(GetTickCount() % 100000) +
               "_" + std::to_string(++counter);
        const std::string folder = std::string(buffer, n) + tag_;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder << ", error " << GetLastError();
        // In its short form, so that an 8.3 name inside is its own short form.
        const DWORD length = GetShortPathNameA(folder.c_str(), buffer, MAX_PATH);
        folder_ = length > 0 && length < MAX_PATH ? std::string(buffer, length) : folder;
    }

    void TearDown() override
    {
        for (auto it = madeWide_.rbegin(); it != madeWide_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
        }
        if (!folder_.empty()) RemoveDirectoryA(folder_.c_str());
    }

    // A path in the test's folder, removed after the test.
    std::string Path(const std::string& name)
    {
        std::string path = folder_ + "\\" + tag_ + name;
        made_.push_back(path);
        return path;
    }

    std::string MakeFile(const std::string& name, const std::string& contents, DWORD attributes = 0)
    {
        return WriteNew(Path(name), contents, attributes);
    }

    static std::string WriteNew(const std::string& path, const std::string& contents, DWORD attributes = 0)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << "creating " << path << ", error " << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr));
        EXPECT_EQ(written, contents.size());
        CloseHandle(file);
        return path;
    }

    // A path a W call makes in `folder`, removed after the test by W calls.
    Wide WidePath(const Wide& folder, const std::wstring& name)
    {
        const Wide path = folder + W(L"\\" + name);
        madeWide_.push_back(path);
        return path;
    }

    Wide MakeFileW(const Wide& folder, const std::wstring& name, const std::string& contents)
    {
        const Wide path = WidePath(folder, name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << "creating " << Ascii(path.c_str()) << ", error " << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr));
        CloseHandle(file);
        return path;
    }

    static std::string ReadAll(const std::string& path, DWORD share = FILE_SHARE_READ)
    {
        return ReadOpened(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    static std::string ReadAll(const Wide& path)
    {
        return ReadOpened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    static std::string ReadOpened(HANDLE file)
    {
        if (file == INVALID_HANDLE_VALUE) return "<open failed " + std::to_string(GetLastError()) + ">";
        std::string out(4096, '\0');
        DWORD read = 0;
        ReadFile(file, &out[0], static_cast<DWORD>(out.size()), &read, nullptr);
        CloseHandle(file);
        out.resize(read);
        return out;
    }

    static std::vector<std::string> List(const std::string& pattern)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do names.push_back(data.cFileName);
        while (FindNextFileA(find, &data));
        FindClose(find);
        return names;
    }

    static std::vector<WIN32_FIND_DATAW> ListW(const Wide& pattern)
    {
        std::vector<WIN32_FIND_DATAW> records;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return records;
        do records.push_back(data);
        while (FindNextFileW(find, &data));
        FindClose(find);
        return records;
    }

    template <typename Name>
    static bool Contains(const std::vector<Name>& names, const Name& name)
    {
        for (const auto& n : names)
            if (n == name) return true;
        return false;
    }
    static bool Contains(const std::vector<std::string>& names, const char* name)
    {
        return Contains(names, std::string(name));
    }

    std::string folder_;
    std::string tag_;
    std::vector<std::string> made_;
    std::vector<Wide> madeWide_;
};

TEST_F(Files, CreateWriteReadAndDispositions)
{
    const std::string path = MakeFile("create.bin", std::string("ab\0cd", 5));
    EXPECT_EQ(ReadAll(path), std::string("ab\0cd", 5));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    HANDLE again = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    SetLastError(0xdead);
    HANDLE rewrite = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(rewrite, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(rewrite, nullptr), 0u) << "CREATE_ALWAYS truncates";
    CloseHandle(rewrite);

    HANDLE missing = CreateFileA(Path("missing.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::string deep = folder_ + "\\" + tag_ + "nofolder\\x.bin";
    HANDLE noFolder = CreateFileA(deep.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(noFolder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, NamesAreCaseInsensitiveAndCasePreserving)
{
    const std::string path = MakeFile("MixedCase.Txt", "hello");
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadAll(upper), "hello");

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(upper.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_STREQ(data.cFileName, (tag_ + "MixedCase.Txt").c_str());
    FindClose(find);
}

TEST_F(Files, ReadsPositionsAndSizes)
{
    const std::string path = MakeFile("read.bin", "0123456789");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0xdead;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);

    char buffer[16] = {};
    DWORD read = 0;
    EXPECT_EQ(SetFilePointer(file, 7, nullptr, FILE_BEGIN), 7u);
    EXPECT_TRUE(ReadFile(file, buffer, 16, &read, nullptr));
    EXPECT_EQ(read, 3u) << "a read past the end delivers what is there";
    EXPECT_EQ(std::string(buffer, read), "789");
    EXPECT_TRUE(ReadFile(file, buffer, 16, &read, nullptr));
    EXPECT_EQ(read, 0u) << "at the end a read succeeds with nothing";

    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
    EXPECT_TRUE(ReadFile(file, buffer, 2, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "67");
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 7u);

    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));

    EXPECT_FALSE(WriteFile(file, "x", 1, &read, nullptr)) << "opened for reading only";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);

    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, LegacyOpenMeasuresFiles)
{
    const std::string path = MakeFile("legacy.dat", "12345");
    HFILE file = _lopen(path.c_str(), OF_READ | OF_SHARE_COMPAT);
    ASSERT_NE(file, HFILE_ERROR) << "error " << GetLastError();
    DWORD high = 0xdead;
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), &high), 5u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(_lclose(file), 0);

    const std::string empty = MakeFile("empty.dat", "");
    file = _lopen(empty.c_str(), OF_READ);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)), &high), 0u);
    _lclose(file);

    EXPECT_EQ(_lopen(Path("absent.dat").c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(HFILE_ERROR)), &high), INVALID_FILE_SIZE);
}

TEST_F(Files, ReadOnlyAndNormalAttributes)
{
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const std::string path = MakeFile("ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & kept,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadAll(path), "x") << "reading a read-only file is fine";

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & kept, 0u) << "FILE_ATTRIBUTE_NORMAL clears them all";
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "error " << GetLastError();
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, DeleteRefusesFoldersAndMissingFiles)
{
    const std::string folder = Path("folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << "error " << GetLastError();
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    EXPECT_FALSE(DeleteFileA(folder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA(Path("never.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE asFile = CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(asFile, INVALID_HANDLE_VALUE) << "a folder opens only with backup semantics";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const std::string inner = folder + "\\inner.txt";
    made_.push_back(inner);
    HANDLE file = CreateFileA(inner.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(RemoveDirectoryA(inner.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_TRUE(DeleteFileA(inner.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << "error " << GetLastError();
}

TEST_F(Files, ShareModesDecideWhoMayOpenAndDelete)
{
    const std::string path = MakeFile("locked.exe", "MZ");
    HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);

    HANDLE second = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(_lopen(path.c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // An open that touches no data is not subject to share modes, nor is the attribute query.
    HANDLE attributesOnly = CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(attributesOnly, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(attributesOnly);
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    CloseHandle(exclusive);

    HANDLE shared = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll(path, FILE_SHARE_READ | FILE_SHARE_WRITE), "MZ") << "a writer that shares can be read";
    EXPECT_EQ(ReadAll(path, FILE_SHARE_READ), "<open failed 32>") << "a reader must let the writer write";
    HFILE legacy = _lopen(path.c_str(), OF_READ | OF_SHARE_COMPAT);
    EXPECT_NE(legacy, HFILE_ERROR) << "compatibility mode shares reading and writing";
    _lclose(legacy);
    EXPECT_EQ(_lopen(path.c_str(), OF_READ | OF_SHARE_EXCLUSIVE), HFILE_ERROR);
    EXPECT_FALSE(DeleteFileA(path.c_str())) << "no FILE_SHARE_DELETE";
    CloseHandle(shared);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "error " << GetLastError();
}

TEST_F(Files, ListingAFolder)
{
    const std::string folder = Path("list");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const char* names[] = {"README", "b.dll", "A.EXE", "x.y.z"};
    for (const char* name : names) {
        const std::string path = folder + "\\" + name;
        made_.push_back(path);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "abc", 3, &written, nullptr);
        CloseHandle(file);
    }
    const std::string sub = folder + "\\Sub.Folder";
    made_.push_back(sub);
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));

    const auto listed = List(folder + "\\*.*");
    EXPECT_EQ(listed.size(), 7u);
    for (const char* expected : {".", "..", "README", "b.dll", "A.EXE", "x.y.z", "Sub.Folder"})
        EXPECT_TRUE(Contains(listed, expected)) << expected << " missing from *.*";
    EXPECT_EQ(List(folder + "\\*.*"), listed) << "the order is stable";
    EXPECT_EQ(List(folder + "\\*").size(), 7u);
    EXPECT_EQ(List(folder + "\\*.dll"), std::vector<std::string>{"b.dll"});
    EXPECT_EQ(List(folder + "\\a.exe"), std::vector<std::string>{"A.EXE"});

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\b.dll").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 3u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));

    find = FindFirstFileA(sub.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "an exact path finds a folder too";
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << data.dwFileAttributes;
    FindClose(find);
}

TEST_F(Files, SearchesThatFindNothing)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder_ + "\\" + tag_ + "nowhere\\*.*").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    find = FindFirstFileA((folder_ + "\\" + tag_ + "nothing.txt").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    find = FindFirstFileA((folder_ + "\\").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a folder path with a trailing backslash finds nothing";
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, ShortPathNames)
{
    const std::string folder = Path("Long Folder Name");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string file = folder + "\\Some Long Document.text";
    made_.push_back(file);
    WriteNew(file, "short");

    char buffer[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(file.c_str(), buffer, MAX_PATH);
    ASSERT_GT(n, 0u) << "error " << GetLastError();
    const std::string shortPath(buffer, n);
    EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
    size_t start = 3;
    while (start < shortPath.size()) {
        size_t end = shortPath.find('\\', start);
        if (end == std::string::npos) end = shortPath.size();
        const std::string part = shortPath.substr(start, end - start);
        const size_t dot = part.find('.');
        EXPECT_LE(dot == std::string::npos ? part.size() : dot, 8u) << part;
        EXPECT_LE(dot == std::string::npos ? 0 : part.size() - dot - 1, 3u) << part;
        start = end + 1;
    }
    EXPECT_EQ(ReadAll(shortPath), "short") << "the short form names the same file";

    // An 8.3 name of its own, still unique to this run.
    const std::string fits = folder_ + "\\g" + std::to_string(GetCurrentProcessId() % 10000000) + ".tmp";
    made_.push_back(fits);
    WriteNew(fits, "");
    const DWORD m = GetShortPathNameA(fits.c_str(), buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer, m), fits) << "an 8.3 path is its own short form";
    EXPECT_EQ(GetShortPathNameA(fits.c_str(), buffer, 3), fits.size() + 1)
        << "a small buffer is told the size needed";

    EXPECT_EQ(GetShortPathNameA((folder + "\\absent.txt").c_str(), buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, PathRules)
{
    const std::string path = MakeFile("dots.txt", "d");
    EXPECT_EQ(ReadAll(path + "."), "d") << "trailing dots are dropped";
    std::string forward = path;
    for (char& c : forward)
        if (c == '\\') c = '/';
    EXPECT_EQ(ReadAll(forward), "d") << "forward slashes separate too";
    const std::string tooLong = folder_ + "\\" + std::string(300, 'x') + ".txt";
    HANDLE h = CreateFileA(tooLong.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    h = CreateFileA((folder_ + "\\" + tag_ + "bad?.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                    nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(Files, VolumeOfTheSystemDrive)
{
    char name[256] = {}, fileSystem[256] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
    const std::string root(windows, 3);
    // Wine answers for a volume's name and serial through its mount manager, a
    // driver of its own session; a query made while that is not yet (or no
    // longer) serving fails. Windows has it from boot, so a short wait is
    // allowed before the answer counts.
    BOOL answered = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
        if (attempt > 0) Sleep(250);
        answered = GetVolumeInformationA(root.c_str(), name, 256, &serial, &maxComponent, &flags, fileSystem, 256);
        if (!answered) error = GetLastError();
    }
    ASSERT_TRUE(answered) << root << ": error " << error;
    EXPECT_NE(fileSystem[0], '\0');
    EXPECT_EQ(maxComponent, 255u);
    EXPECT_TRUE(flags & FILE_CASE_PRESERVED_NAMES) << std::hex << flags;
    fileSystem[0] = '\0';
    EXPECT_FALSE(GetVolumeInformationA("Q:\\", name, 256, &serial, &maxComponent, &flags, fileSystem, 256))
        << "no such drive, yet it answered with file system \"" << fileSystem << "\"";
}

// A name without an exact ANSI form reaches an A call by best fit, where it
// can turn into another name, even into a path. The short name is plain ASCII
// and names the file itself.
TEST_F(Files, UnicodeNamesListByBestFitAndOpenByTheirShortName)
{
    const std::string parent = Path("unicode");
    ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr)) << "error " << GetLastError();
    const std::string folder = parent + "\\sub";
    made_.push_back(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << "error " << GetLastError();
    const std::string bystander = parent + "\\victim.txt";
    made_.push_back(bystander);
    WriteNew(bystander, "keep me");

    const Wide victim = MakeFileW(W(folder), L"..\uFF3Cvictim.txt", "unicode");
    MakeFileW(W(folder), L"..\u2044x.txt", "slash");
    MakeFileW(W(folder), L"\uFF45\uFF58\uFF50.exe", "exp");

    const std::vector<std::string> ansi = List(folder + "\\*");
    EXPECT_EQ(ansi.size(), 5u);
    for (const char* name : {"..\\victim.txt", "../x.txt", "exp.exe"})
        EXPECT_TRUE(Contains(ansi, name)) << name << " missing from the A listing";

    std::vector<std::wstring> wide;
    std::string shortName;
    for (const WIN32_FIND_DATAW& record : ListW(W(folder + "\\*"))) {
        wide.push_back(Text(record.cFileName));
        if (wide.back() == L"..\uFF3Cvictim.txt") shortName = Ascii(record.cAlternateFileName);
    }
    for (const std::wstring name : {L"..\uFF3Cvictim.txt", L"..\u2044x.txt", L"\uFF45\uFF58\uFF50.exe"})
        EXPECT_TRUE(Contains(wide, name)) << "a true name missing from the W listing";
    ASSERT_FALSE(shortName.empty()) << "a long name without an 8.3 form has a short name";
    EXPECT_EQ(shortName.find('?'), std::string::npos) << shortName << " is plain ASCII";

    WIN32_FIND_DATAA record;
    HANDLE find = FindFirstFileA((folder + "\\" + shortName).c_str(), &record);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << shortName << ", error " << GetLastError();
    EXPECT_STREQ(record.cFileName, "..\\victim.txt") << "found by its short name, listed by its best fit";
    EXPECT_STREQ(record.cAlternateFileName, shortName.c_str());
    FindClose(find);

    EXPECT_EQ(ReadAll(folder + "\\..\\victim.txt"), "keep me") << "the best fit is a path to another file";
    EXPECT_EQ(GetFileAttributesA((folder + "\\exp.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the best fit names no file";
    EXPECT_EQ(ReadAll(folder + "\\" + shortName), "unicode");
    EXPECT_TRUE(DeleteFileA((folder + "\\" + shortName).c_str())) << "error " << GetLastError();
    EXPECT_EQ(GetFileAttributesW(victim.c_str()), INVALID_FILE_ATTRIBUTES) << "the short name deleted the file";
    EXPECT_EQ(ReadAll(bystander), "keep me");
}

TEST_F(Files, WideCallsMakeFindAndRemoveUnicodeNames)
{
    const Wide folder = WidePath(W(folder_), L"\uFF44\uFF49\uFF52");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "error " << GetLastError();
    EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    const Wide capitals = W(folder_) + W(L"\\\uFF24\uFF29\uFF32");
    EXPECT_EQ(GetFileAttributesW(capitals.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << "fullwidth capitals name the same folder";

    const Wide file = MakeFileW(folder, L"caf\u00E9 \u0416.txt", "data");
    EXPECT_EQ(ReadAll(capitals + W(L"\\CAF\u00C9 \u0416.TXT")), "data") << "Latin-1 capitals too";
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY)) << "error " << GetLastError();
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileW(file.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL));

    const std::vector<WIN32_FIND_DATAW> found = ListW(folder + W(L"\\*.txt"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(Text(found[0].cFileName), L"caf\u00E9 \u0416.txt");
    EXPECT_EQ(found[0].nFileSizeLow, 4u);
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    EXPECT_TRUE(DeleteFileW(file.c_str())) << "error " << GetLastError();
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "error " << GetLastError();
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, ShortLongAndFullFormsOfAUnicodePath)
{
    const std::wstring name = L"..\uFF3Cvictim.txt";
    const Wide file = MakeFileW(W(folder_), name, "x");

    WCHAR shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(file.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u) << "error " << GetLastError();
    ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
    const std::string shortForm = Ascii(shortPath);
    EXPECT_EQ(shortForm.find('?'), std::string::npos) << shortForm;
    EXPECT_EQ(ReadAll(shortForm), "x");

    WCHAR longPath[MAX_PATH] = {};
    const DWORD m = GetLongPathNameW(shortPath, longPath, MAX_PATH);
    ASSERT_GT(m, 0u) << "error " << GetLastError();
    EXPECT_TRUE(EndsWith(Text(longPath), L"\\" + name)) << Ascii(longPath);
    EXPECT_EQ(GetLongPathNameW(shortPath, longPath, m), m + 1) << "a small buffer is told the size needed";

    // The A form of the long path carries the best fit: a path through the parent.
    char longAnsi[MAX_PATH] = {};
    const DWORD k = GetLongPathNameA(shortForm.c_str(), longAnsi, MAX_PATH);
    EXPECT_EQ(k, m);
    EXPECT_TRUE(EndsWith(platform::FromAnsi(longAnsi), L"\\..\\victim.txt")) << longAnsi;

    WCHAR full[MAX_PATH] = {};
    WCHAR* filePart = nullptr;
    const Wide dotted = W(folder_ + "\\.\\") + W(name);
    const DWORD f = GetFullPathNameW(dotted.c_str(), MAX_PATH, full, &filePart);
    EXPECT_EQ(Text(Wide(full, f)), Text(file));
    ASSERT_NE(filePart, nullptr);
    EXPECT_EQ(Text(filePart), name);
}

}  // namespace
