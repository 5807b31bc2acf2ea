// String value helpers against the registry, arranged through Win32 calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/reg_helpers.h"
#include "registry/reg_scratch.h"

namespace {

const char kKey[] = "Software\\GrevlinTests\\Helpers";
const wchar_t kWideKey[] = L"Software\\GrevlinTests\\Helpers";

class RegHelpers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, kKey)); }
    regtest::Scratch scratch;
};

// "＼" is listed to ANSI programs as "\\": the parent's path, "\\" and that
// name make the parent's own path, and deleting it would take every sibling.
TEST_F(RegHelpers, SubkeysListedAsLookAlikesAreNeverVisited)
{
    const std::string parent = std::string(kKey) + "\\Components";
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, parent + "\\A"));
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              platform::ToUtf16(platform::FromAnsi(parent) + L"\\\uFF3C").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    ASSERT_TRUE(scratch.CreateKey(HKEY_CURRENT_USER, parent + "\\B"));

    std::vector<std::wstring> visited;
    VisitSubKeys(HKEY_CURRENT_USER, platform::FromAnsi(parent), [&](const std::wstring& name) {
        visited.push_back(name);
        return SHDeleteKeyA(HKEY_CURRENT_USER, (parent + "\\" + platform::ToAnsi(name)).c_str()) ==
               ERROR_SUCCESS;
    });

    EXPECT_EQ(visited, (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_TRUE(regtest::KeyExists(HKEY_CURRENT_USER, parent));
    EXPECT_EQ(regtest::SubKeys(HKEY_CURRENT_USER, parent).size(), 1u);
}

TEST_F(RegHelpers, ReadsStoredTextBackExactly)
{
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kKey, "Server",
                                  "C:\\WINDOWS\\system32\\msxml3.dll"));
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kKey, "Empty", ""));
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kKey, "Accents", "caf\xE9 \x92quoted\x92"));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Server"),
              L"C:\\WINDOWS\\system32\\msxml3.dll");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Empty"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Accents"),
              L"caf\u00E9 \u2019quoted\u2019");
}

TEST_F(RegHelpers, ValuesWithoutTextReadAsEmpty)
{
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "ZeroSz", REG_SZ, ""));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "ZeroBinary", REG_BINARY, ""));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"ZeroSz"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"ZeroBinary"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"NoSuchValue"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, L"Software\\GrevlinTests\\Helpers\\Missing\\Deeper",
                            L"Server"),
              L"");
}

TEST_F(RegHelpers, OtherTypesAreReadAsTheirBytes)
{
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Expand", REG_EXPAND_SZ,
                                 std::string("%SystemRoot%\\x.dll") + '\0'));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Binary", REG_BINARY,
                                 std::string("abc\0", 4)));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Expand"), L"%SystemRoot%\\x.dll");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Binary"), L"abc");
}

TEST_F(RegHelpers, TextStoredWithoutItsNulKeepsItsLastCharacter)
{
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Bare", REG_BINARY, "wxyz"));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "One", REG_BINARY, "q"));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Bare"), L"wxyz");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"One"), L"q");
}

TEST_F(RegHelpers, ValuesOver32KibReadAsEmpty)
{
    const std::string longest = std::string(32767, 'p') + '\0';
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Longest", REG_SZ, longest));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "OneMore", REG_SZ, 'p' + longest));
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Huge", REG_BINARY,
                                 std::string(1 << 20, 'h')));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Longest"), std::wstring(32767, L'p'));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"OneMore"), L"");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Huge"), L"");
}

TEST_F(RegHelpers, OnlyTheExactDefaultWordNamesTheUnnamedValue)
{
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kKey, "", "unnamed"));
    // Value names ignore letter case, so one literal value stands for both spellings.
    ASSERT_TRUE(scratch.SetString(HKEY_CURRENT_USER, kKey, "(default)", "literal"));

    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"(Default)"), L"unnamed");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L""), L"unnamed");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"(default)"), L"literal");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"(DEFAULT)"), L"literal");
}

TEST_F(RegHelpers, WritesTextWithItsNul)
{
    RegWriteString(HKEY_CURRENT_USER, kWideKey, L"Three", L"abc");
    RegWriteString(HKEY_CURRENT_USER, kWideKey, L"Quote", L"\u2019\u00E9");
    RegWriteString(HKEY_CURRENT_USER, kWideKey, L"", L"unnamed");
    RegWriteString(HKEY_CURRENT_USER, kWideKey, L"Nothing", L"");

    const regtest::RawValue three = regtest::ReadValue(HKEY_CURRENT_USER, kKey, "Three");
    ASSERT_TRUE(three.present);
    EXPECT_EQ(three.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(three.bytes, std::string("abc\0", 4));
    EXPECT_EQ(regtest::ReadValue(HKEY_CURRENT_USER, kKey, "Quote").bytes, std::string("\x92\xE9\0", 3));
    EXPECT_EQ(regtest::ReadValue(HKEY_CURRENT_USER, kKey, "").bytes, std::string("unnamed\0", 8));
    EXPECT_EQ(regtest::ReadValue(HKEY_CURRENT_USER, kKey, "Nothing").bytes, std::string("\0", 1));
}

TEST_F(RegHelpers, WriteReplacesAValueOfAnotherType)
{
    ASSERT_TRUE(scratch.SetValue(HKEY_CURRENT_USER, kKey, "Start Page", REG_DWORD,
                                 std::string("\x01\x00\x00\x00", 4)));
    RegWriteString(HKEY_CURRENT_USER, kWideKey, L"Start Page", L"about:blank");

    const regtest::RawValue value = regtest::ReadValue(HKEY_CURRENT_USER, kKey, "Start Page");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kWideKey, L"Start Page"), L"about:blank");
}

TEST_F(RegHelpers, WritingBelowAMissingKeyCreatesNothing)
{
    RegWriteString(HKEY_CURRENT_USER, L"Software\\GrevlinTests\\Helpers\\Internet Explorer\\Search",
                   L"SearchAssistant", L"http://example.invalid/");

    EXPECT_FALSE(regtest::KeyExists(HKEY_CURRENT_USER, "Software\\GrevlinTests\\Helpers\\Internet Explorer"));
    EXPECT_TRUE(regtest::SubKeys(HKEY_CURRENT_USER, kKey).empty());
    EXPECT_FALSE(regtest::ReadValue(HKEY_CURRENT_USER, kKey, "SearchAssistant").present);
}

}  // namespace
