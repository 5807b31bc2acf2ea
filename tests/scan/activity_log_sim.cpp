// Log writing failures that only the simulated machine can stage.
#include <string>
#include <vector>

#include "platform/win32.h"
#include "scan/activity_log.h"
#include "scan/pipeline.h"
#include "scan/sim_scan_fixture.h"

namespace {

using simscan::Machine;

class ActivityLogSim : public Machine {
protected:
    std::string LogPath() const { return platform::ToAnsi(LogFilePath()); }
};

TEST_F(ActivityLogSim, AFolderThatCannotBeWrittenGivesNoLogAndFalse)
{
    sim::SetFolderReadOnly("C:\\Program Files\\Grevlin", true);
    gLogText = L"Grevlin 6.05\r\n";

    EXPECT_FALSE(WriteLogFile());
    EXPECT_FALSE(sim::FileExists(LogPath()));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ActivityLogSim, AShortWriteIsReportedAsNotWritten)
{
    sim::FailWriteAfter(LogPath(), 5);
    gLogText = L"Grevlin 6.05\r\n";

    EXPECT_FALSE(WriteLogFile());
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ActivityLogSim, AProgramPathCutAtMaxPathGivesNoLogRatherThanOneAtTheRoot)
{
    gLogText = L"Grevlin 6.05\r\n";
    sim::SetModulePath("C:\\Downloads\\" + std::string(240, 'd') + "\\Grevlin.exe");

    EXPECT_FALSE(WriteLogFile());
    EXPECT_EQ(sim::ListFolder("C:\\"), (std::vector<std::string>{"Documents and Settings",
                                                                   "Program Files", "WINDOWS"}));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(ActivityLogSim, AWholeScanWritesItsListAsOneBlock)
{
    sim::SetVolume(sim::Fat32());
    sim::AddFile(LogPath(), "Grevlin 6.05\r\nScan was ABORTED at 09:00:00\r\n\r\n\r\n");
    RunRemoval();

    ASSERT_TRUE(WriteLogFile());

    std::string block;
    for (const auto& line : fakeui::Lines()) block += platform::ToAnsi(line) + "\r\n";
    block += "\r\n\r\n";
    EXPECT_EQ(sim::FileContents(LogPath()),
              "Grevlin 6.05\r\nScan was ABORTED at 09:00:00\r\n\r\n\r\n" + block);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

}  // namespace
