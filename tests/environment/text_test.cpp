#include <gtest/gtest.h>

#include "environment/text.h"

TEST(Text, LowerCasesAsciiAndWesternLetters)
{
    EXPECT_EQ(LCase(L"EXPLORER.EXE Abc-123"), L"explorer.exe abc-123");
    // Latin-1: À..Þ map 32 places down, except the multiplication sign; ß has no capital.
    EXPECT_EQ(LCase(L"\u00C0\u00C9\u00D6\u00D8\u00DE"), L"\u00E0\u00E9\u00F6\u00F8\u00FE");
    EXPECT_EQ(LCase(L"\u00D7\u00DF\u00F7\u00B5"), L"\u00D7\u00DF\u00F7\u00B5");
    EXPECT_EQ(LCase(L"\u0178"), L"\u00FF");
}

TEST(Text, LowerCasesLatinExtendedA)
{
    // Capitals on even code points, then on odd ones from U+0139 and from U+0179.
    EXPECT_EQ(LCase(L"\u0100\u010C\u0136"), L"\u0101\u010D\u0137");
    EXPECT_EQ(LCase(L"\u0139\u0141\u0147"), L"\u013A\u0142\u0148");
    EXPECT_EQ(LCase(L"\u014A\u0152\u0160\u0176"), L"\u014B\u0153\u0161\u0177");
    EXPECT_EQ(LCase(L"\u0179\u017B\u017D"), L"\u017A\u017C\u017E");
    EXPECT_EQ(LCase(L"\u0130"), L"i");
    // Letters without a capital partner stay.
    EXPECT_EQ(LCase(L"\u0131\u0138\u0149\u017F\u0101\u0142"), L"\u0131\u0138\u0149\u017F\u0101\u0142");
    // Outside the handled ranges nothing changes.
    EXPECT_EQ(LCase(L"\u0391\u0410"), L"\u0391\u0410");
}

TEST(Text, ComparesWholeNamesRegardlessOfCase)
{
    EXPECT_TRUE(EqualsNoCase(L"Explorer.EXE", L"explorer.exe"));
    EXPECT_FALSE(EqualsNoCase(L"myexplorer.exe", L"explorer.exe"));
    EXPECT_FALSE(EqualsNoCase(L"explorer.exe", L"explorer.exe.bak"));
    EXPECT_TRUE(EqualsNoCase(L"", L""));
}

TEST(Text, ContainmentIgnoresCase)
{
    EXPECT_TRUE(ContainsNoCase(L"C:\\WINDOWS\\WinDesktop.EXE", L"windesktop"));
    EXPECT_TRUE(ContainsNoCase(L"update.exe.tmp", L".EXE"));
    EXPECT_FALSE(ContainsNoCase(L"x.dll", L".exe"));
    EXPECT_TRUE(ContainsNoCase(L"anything", L""));
}

TEST(Text, ReplacesEveryOccurrenceRegardlessOfCase)
{
    EXPECT_EQ(ReplaceNoCase(L"a%Windir%b%WINDIR%", L"%windir%", L"C:\\WINDOWS"),
              L"aC:\\WINDOWSbC:\\WINDOWS");
    EXPECT_EQ(ReplaceNoCase(L"keep Case", L"CASE", L"x"), L"keep x");
    // A replacement that contains the searched text is not searched again.
    EXPECT_EQ(ReplaceNoCase(L"aaa", L"a", L"aa"), L"aaaaaa");
    EXPECT_EQ(ReplaceNoCase(L"text", L"", L"x"), L"text");
    EXPECT_EQ(ReplaceNoCase(L"text", L"none", L"x"), L"text");
}

TEST(Text, EndsWithComparesTheTailExactly)
{
    EXPECT_TRUE(EndsWith(L"C:\\Temp\\", L"\\"));
    EXPECT_TRUE(EndsWith(L"abc", L""));
    EXPECT_FALSE(EndsWith(L"bc", L"abc"));
    EXPECT_FALSE(EndsWith(L"file.EXE", L".exe"));
}
