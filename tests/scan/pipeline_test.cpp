// A whole scan of the machine the tests run on, which carries no hijacker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/crc32.h"
#include "environment/protected_names.h"
#include "platform/win32.h"
#include "scan/pipeline.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"

namespace {

const std::wstring kSeparator(61, L'-');

std::wstring Today()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char buffer[128] = {};
    int length =
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, buffer, sizeof(buffer));
    return length > 1 ? platform::FromAnsi(buffer, length - 1) : std::wstring();
}

bool StartsWith(const std::wstring& text, const std::wstring& head)
{
    return text.compare(0, head.size(), head) == 0;
}

class PipelineRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A whole scan: services, fixed keys, MIME filters, the Windows folder.
    REQUIRE_THROWAWAY_MACHINE();
        fakeui::Reset();
        ResetSharedState();
        BuildCrcTable();
        LoadProtectedNames();
        // Whatever is found, the user's temporary folder is not emptied here.
        fakeui::QueueAnswer(ui::Answer::No);
    }
    void TearDown() override
    {
        fakeui::Reset();
        ResetSharedState();
    }
};

TEST_F(PipelineRun, ACleanMachineGivesTheFixedFrameAndHandsOverToTheAboutWindow)
{
    const std::wstring dayBefore = Today();
    RunRemoval();
    const std::wstring dayAfter = Today();

    const std::vector<std::wstring>& lines = fakeui::Lines();
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(lines[0], L"Grevlin 6.05");
    EXPECT_TRUE(StartsWith(lines[1], L"Scan started on [" + dayBefore + L"] at [") ||
                StartsWith(lines[1], L"Scan started on [" + dayAfter + L"] at ["))
        << platform::ToAnsi(lines[1]);
    EXPECT_EQ(lines[1].back(), L']');
    EXPECT_EQ(lines[2], kSeparator);
    EXPECT_EQ(lines[3], L"Internet Explorer Instances Terminated!");
    EXPECT_EQ(lines[4], L"HomeSearch Service stopped if present");
    EXPECT_EQ(lines[5], kSeparator);

    int separators = 0;
    for (const auto& line : lines) separators += line == kSeparator;
    EXPECT_EQ(separators, 4);
    EXPECT_EQ(lines[lines.size() - 2], kSeparator);
    EXPECT_TRUE(StartsWith(lines.back(), L"Scan was COMPLETED SUCCESSFULLY at "))
        << platform::ToAnsi(lines.back());
    EXPECT_GT(lines.back().size(), std::wstring(L"Scan was COMPLETED SUCCESSFULLY at ").size());
    EXPECT_EQ(lines[lines.size() - 3], L"No Files Found!");
    EXPECT_EQ(gFilesFound, 0);

    std::wstring log;
    for (const auto& line : lines) log += line + L"\r\n";
    EXPECT_EQ(gLogText, log);

    ASSERT_FALSE(fakeui::Boxes().empty());
    EXPECT_EQ(fakeui::Boxes().back().title, L"Scan Completed");
    EXPECT_TRUE(StartsWith(fakeui::Boxes().back().prompt, L"Scan was COMPLETED SUCCESSFULLY at "));
    for (const auto& box : fakeui::Boxes()) EXPECT_NE(box.title, L"Please restart computer");
    EXPECT_EQ(fakeui::Events().back().kind, "show-about");
    EXPECT_TRUE(fakeui::MainWindowClosed());
}

}  // namespace
