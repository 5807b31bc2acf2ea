#include <gtest/gtest.h>

#include "environment/protected_names.h"
#include "environment/text.h"
#include "session/shared_state.h"

TEST(ProtectedNames, TwentyLowerCaseNamesAfterAnUnusedFirstPosition)
{
    gProtectedNames.clear();
    LoadProtectedNames();
    ASSERT_EQ(gProtectedNames.size(), 21u);
    EXPECT_EQ(gProtectedNames[0], L"");
    EXPECT_EQ(gProtectedNames[1], L"hal.dll");
    EXPECT_EQ(gProtectedNames[2], L"explorer.exe");
    EXPECT_EQ(gProtectedNames[15], L"notepad.exe");
    EXPECT_EQ(gProtectedNames[18], L"cmd.exe");
    EXPECT_EQ(gProtectedNames[20], L"user32.dll");
    for (size_t i = 1; i < gProtectedNames.size(); ++i) {
        EXPECT_EQ(gProtectedNames[i], LCase(gProtectedNames[i]));
        EXPECT_EQ(gProtectedNames[i].find(L'\\'), std::wstring::npos);
    }
    const std::vector<std::wstring> first = gProtectedNames;
    LoadProtectedNames();
    EXPECT_EQ(gProtectedNames, first);
}
