// What the registry cleanup relies on from advapi32 and shlwapi: value
// probes, subkey enumeration with deletion in between, whole-subtree
// deletion, access rights per handle and case-insensitive names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

using Wide = std::basic_string<WCHAR>;

// Subkeys named with characters outside code page 1252: a fullwidth reverse
// solidus and "exp" in fullwidth letters.
const wchar_t* const kUnicodeKeys[] = {L"\uFF3C", L"\uFF45\uFF58\uFF50"};

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = "Software\\GrevlinRegistryTest" + std::to_string(GetCurrentProcessId());
        SHDeleteKeyA(HKEY_CURRENT_USER, base_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key_, nullptr));
    }

    void TearDown() override
    {
        // SHDeleteKeyA walks subkeys by their A names, which these have not.
        for (const wchar_t* name : kUnicodeKeys) RegDeleteKeyW(key_, platform::ToUtf16(name).c_str());
        if (key_ != nullptr) RegCloseKey(key_);
        SHDeleteKeyA(HKEY_CURRENT_USER, base_.c_str());
    }

    // A subkey of the test key, created with its parents.
    HKEY Create(const std::string& path, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY created = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, path.c_str(), 0, nullptr, 0, access, nullptr,
                                                 &created, nullptr))
            << path;
        return created;
    }

    void MakeKey(const std::string& path) { RegCloseKey(Create(path)); }

    void SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes)
    {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())));
    }

    bool Opens(const std::string& path)
    {
        HKEY opened = nullptr;
        const LONG result = RegOpenKeyA(HKEY_CURRENT_USER, (base_ + "\\" + path).c_str(), &opened);
        if (result == ERROR_SUCCESS) RegCloseKey(opened);
        return result == ERROR_SUCCESS;
    }

    std::vector<std::string> Enumerate(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD size = sizeof name;
            const LONG result = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(ERROR_SUCCESS, result) << "index " << index;
            if (result != ERROR_SUCCESS || index > 100) break;
            EXPECT_EQ(std::strlen(name), size);
            names.emplace_back(name, size);
        }
        return names;
    }

    std::vector<std::wstring> EnumerateW(HKEY key)
    {
        std::vector<std::wstring> names;
        for (DWORD index = 0;; ++index) {
            WCHAR name[256];
            DWORD size = 256;
            const LONG result = RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(ERROR_SUCCESS, result) << "index " << index;
            if (result != ERROR_SUCCESS || index > 100) break;
            EXPECT_EQ(std::char_traits<WCHAR>::length(name), size);
            names.push_back(platform::FromUtf16(name, size));
        }
        return names;
    }

    std::string base_;
    HKEY key_ = nullptr;
};

TEST_F(Registry, ShortBufferGivesMoreDataAndTheSizeNeeded)
{
    SetBytes(key_, "Path", REG_SZ, std::string("C:\\x.dll", 9));
    BYTE one[1] = {0x7F};
    DWORD size = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "Path", nullptr, nullptr, one, &size));
    EXPECT_EQ(9u, size);
    BYTE four[4];
    size = sizeof four;
    DWORD type = REG_NONE;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "Path", nullptr, &type, four, &size));
    EXPECT_EQ(9u, size);
}

TEST_F(Registry, NullDataProbesSizeAndType)
{
    SetBytes(key_, "Count", REG_DWORD, std::string("\x05\x00\x00\x00", 4));
    SetBytes(key_, "Empty", REG_SZ, std::string(1, '\0'));
    DWORD size = 1000, type = REG_NONE;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Count", nullptr, &type, nullptr, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    size = 1000;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Empty", nullptr, &type, nullptr, &size));
    EXPECT_EQ(1u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST_F(Registry, BufferThatFitsReceivesTheBytes)
{
    const std::string stored("hello\0", 6);
    SetBytes(key_, "Greeting", REG_SZ, stored);
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer, type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Greeting", nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(stored, std::string(buffer, size));
    EXPECT_EQ('x', buffer[6]) << "bytes past the value stay untouched";

    // A buffer of exactly the value's size is enough.
    size = 6;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Greeting", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &size));
}

TEST_F(Registry, MissingValuesAndTheUnnamedValue)
{
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Nothing", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, &size))
        << "a new key has no unnamed value";
    SetBytes(key_, "", REG_SZ, std::string("server.dll\0", 11));
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, nullptr, nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(11u, size) << "NULL and the empty name both address the unnamed value";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key_, "Nothing"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key_, ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, &size));
}

TEST_F(Registry, NamesIgnoreLetterCase)
{
    HKEY component = Create("Components\\Warning");
    SetBytes(component, "FriendlyName", REG_SZ, std::string("Warning homepage\0", 17));
    RegCloseKey(component);

    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "COMPONENTS\\warning", 0, KEY_QUERY_VALUE, &opened));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(opened, "friendlyname", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(17u, size);
    RegCloseKey(opened);

    // The stored spelling is what enumeration reports.
    HKEY components = Create("components");
    EXPECT_EQ(std::vector<std::string>{"Warning"}, Enumerate(components));
    RegCloseKey(components);
}

TEST_F(Registry, CreateReportsWhetherTheKeyIsNew)
{
    DWORD disposition = 0;
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "Fresh\\Deep", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &created, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    RegCloseKey(created);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "fresh\\deep", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &created, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    RegCloseKey(created);
    EXPECT_TRUE(Opens("Fresh")) << "the parent was created on the way";
}

TEST_F(Registry, OpeningAMissingKeyFails)
{
    HKEY opened = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(key_, "NotThere", &opened));
    opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "NotThere\\Below", 0, KEY_READ, &opened));
    EXPECT_EQ(nullptr, opened);
    EXPECT_FALSE(Opens("NotThere"));
}

TEST_F(Registry, OpenKeyWithEmptyPathReturnsTheSameHandle)
{
    HKEY same = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key_, "", &same));
    EXPECT_EQ(key_, same);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key_, nullptr, &same));
    EXPECT_EQ(key_, same);
}

TEST_F(Registry, EmptyPathComponentsArePassedOver)
{
    MakeKey("Filter\\text/html");
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key_, "Filter\\", &opened));
    RegCloseKey(opened);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key_, "Filter\\\\text/html", &opened));
    RegCloseKey(opened);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key_, "Filter\\text/html", &opened))
        << "a slash is an ordinary character of a key name";
    RegCloseKey(opened);
    MakeKey("Doubled\\\\Inner");
    EXPECT_TRUE(Opens("Doubled\\Inner"));
}

TEST_F(Registry, LeadingBackslashIsABadPath)
{
    MakeKey("Image.Image");
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyA(key_, "\\Image.Image", &opened));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(key_, "\\Image.Image", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(key_, "\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                  nullptr, &opened, nullptr));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegDeleteKeyA(key_, "\\Image.Image"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), SHDeleteKeyA(key_, "\\Image.Image"));
    EXPECT_TRUE(Opens("Image.Image"));
}

TEST_F(Registry, EnumerationEndsWithNoMoreItems)
{
    for (const char* name : {"Gamma", "alpha", "Beta"}) MakeKey(name);
    const std::vector<std::string> names = Enumerate(key_);
    EXPECT_EQ((std::vector<std::string>{"alpha", "Beta", "Gamma"}), names)
        << "alphabetical, letter case aside";
    EXPECT_EQ(names, Enumerate(key_)) << "a second pass lists the same order";

    char name[256];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key_, 3, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key_, 99, name, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Registry, EnumerationNeedsRoomForTheNul)
{
    MakeKey("TenLetters");
    char name[256];
    std::memset(name, 'q', sizeof name);
    DWORD size = 10;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(10u, size) << "the size is left as it was";
    EXPECT_EQ('q', name[0]) << "and the buffer unwritten";
    size = 11;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(10u, size) << "the length comes back without the NUL";
    EXPECT_STREQ("TenLetters", name);
}

// The A enumeration hands a Unicode name over by best fit, where the
// fullwidth reverse solidus becomes a path separator; the W one as it is.
TEST_F(Registry, UnicodeSubkeysEnumerateByBestFitAndExactly)
{
    HKEY made = nullptr;
    DWORD disposition = 0;
    for (const wchar_t* name : kUnicodeKeys) {
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key_, platform::ToUtf16(name).c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &made, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
        RegCloseKey(made);
    }
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key_, platform::ToUtf16(L"\uFF25\uFF38\uFF30").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition) << "fullwidth capitals, the same key";
    RegCloseKey(made);

    std::vector<std::string> ansi = Enumerate(key_);
    std::sort(ansi.begin(), ansi.end());
    EXPECT_EQ((std::vector<std::string>{"\\", "exp"}), ansi);
    std::vector<std::wstring> wide = EnumerateW(key_);
    std::sort(wide.begin(), wide.end());
    EXPECT_EQ((std::vector<std::wstring>{kUnicodeKeys[0], kUnicodeKeys[1]}), wide);

    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(key_, "\\", 0, KEY_READ, &opened)) << "the best fit is no name";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "exp", 0, KEY_READ, &opened));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key_, platform::ToUtf16(kUnicodeKeys[0]).c_str(), 0, KEY_READ, &opened));
    RegCloseKey(opened);

    WCHAR tiny[1];
    DWORD size = 1;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key_, 0, tiny, &size, nullptr, nullptr, nullptr, nullptr))
        << "a one-character name needs room for its NUL";
    for (const wchar_t* name : kUnicodeKeys)
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key_, platform::ToUtf16(name).c_str()));
    EXPECT_TRUE(Enumerate(key_).empty());
}

TEST_F(Registry, DeletingAnEntryMovesTheNextOneDown)
{
    for (const char* name : {"{A-1}", "{B-2}", "{C-3}"}) MakeKey(name);
    const std::vector<std::string> before = Enumerate(key_);
    ASSERT_EQ(3u, before.size());
    char name[256];
    DWORD size = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(key_, name));
    size = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(before[1], name);
    EXPECT_EQ((std::vector<std::string>{before[1], before[2]}), Enumerate(key_));
}

TEST_F(Registry, ShDeleteKeyRemovesTheWholeSubtree)
{
    HKEY leaf = Create("Filter\\text/html\\Sub\\Leaf");
    SetBytes(leaf, "CLSID", REG_SZ, std::string("{X}\0", 4));
    RegCloseKey(leaf);
    HKEY filter = Create("Filter\\text/html");
    SetBytes(filter, "", REG_SZ, std::string("filter\0", 7));
    RegCloseKey(filter);
    MakeKey("Filter\\text/plain");

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SHDeleteKeyA(key_, "FILTER\\Text/HTML"));
    EXPECT_FALSE(Opens("Filter\\text/html"));
    EXPECT_FALSE(Opens("Filter\\text/html\\Sub\\Leaf"));
    EXPECT_TRUE(Opens("Filter\\text/plain")) << "the sibling stays";
    EXPECT_TRUE(Opens("Filter")) << "the parent stays";
}

TEST_F(Registry, ShDeleteKeyOfAMissingKeyFails)
{
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), SHDeleteKeyA(key_, "Image.Image"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), SHDeleteKeyA(key_, "Missing\\Below"));
}

TEST_F(Registry, RegDeleteKeyRefusesAKeyWithSubkeys)
{
    MakeKey("Parent\\Child");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key_, "Parent"));
    EXPECT_TRUE(Opens("Parent\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent"));
    EXPECT_FALSE(Opens("Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key_, "Parent"));
}

TEST_F(Registry, HandlesCarryOnlyTheRightsAskedFor)
{
    HKEY sub = Create("Run");
    SetBytes(sub, "se.exe", REG_SZ, std::string("x\0", 2));
    MakeKey("Run\\Child");
    RegCloseKey(sub);

    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "Run", 0, KEY_QUERY_VALUE, &reader));
    const BYTE data[] = "y";
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(reader, "other", 0, REG_SZ, data, 2));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "se.exe"));
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumKeyExA(reader, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(reader, "se.exe", nullptr, nullptr, nullptr, &size));
    RegCloseKey(reader);

    // The rights removal of autorun values asks for: all specific key rights.
    HKEY writer = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "Run", 0, 0x3F, &writer));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(writer, "SE.EXE"));
    RegCloseKey(writer);
}

TEST_F(Registry, AHandleToADeletedKeyStopsWorking)
{
    HKEY doomed = Create("Doomed");
    SetBytes(doomed, "v", REG_SZ, std::string("1\0", 2));
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SHDeleteKeyA(key_, "Doomed"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size));
    const BYTE data[] = "2";
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(doomed, "v", 0, REG_SZ, data, 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
    EXPECT_FALSE(Opens("Doomed")) << "writing through the stale handle recreated nothing";
}

TEST_F(Registry, StringsStoredWithoutTheirNulGainIt)
{
    // Part of the data's memory is the NUL after the counted bytes; Windows
    // counts it in when the caller left it out.
    const char text[] = "abc";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Short", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Short", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Counted", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 4));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Counted", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);
    // Binary data is stored as counted.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Raw", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 3));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Raw", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(3u, size);
}

TEST_F(Registry, ClosingTwiceIsAnInvalidHandle)
{
    HKEY sub = Create("Once");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(sub));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(sub));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER)) << "predefined roots close harmlessly";
    HKEY software = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software", &software))
        << "and stay usable";
    RegCloseKey(software);
}

}  // namespace
