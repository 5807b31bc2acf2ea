// How Windows' file calls behave where Grevlin relies on them: run against
// real Win32 (under Wine) and against the simulated Windows alike. Every
// file is made in a folder of the test's own in the temporary folder, under
// a unique name, and removed again with the folder.
#include <gtest/gtest.h>

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
        const std::string path = Path(name);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << "creating " << path << ", error " << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr));
        EXPECT_EQ(written, contents.size());
        CloseHandle(file);
        return path;
    }

    static std::string ReadAll(const std::string& path, DWORD share = FILE_SHARE_READ)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
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

    static bool Contains(const std::vector<std::string>& names, const std::string& name)
    {
        for (const auto& n : names)
            if (n == name) return true;
        return false;
    }

    std::string folder_;
    std::string tag_;
    std::vector<std::string> made_;
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
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "short", 5, &written, nullptr);
    CloseHandle(h);

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
    h = CreateFileA(fits.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
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
    ASSERT_TRUE(GetVolumeInformationA(root.c_str(), name, 256, &serial, &maxComponent, &flags, fileSystem, 256))
        << "error " << GetLastError();
    EXPECT_NE(fileSystem[0], '\0');
    EXPECT_EQ(maxComponent, 255u);
    EXPECT_TRUE(flags & FILE_CASE_PRESERVED_NAMES) << std::hex << flags;
    EXPECT_FALSE(GetVolumeInformationA("Q:\\", name, 256, &serial, &maxComponent, &flags, fileSystem, 256))
        << "no such drive";
}

}  // namespace
