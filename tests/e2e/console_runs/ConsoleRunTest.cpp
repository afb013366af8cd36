// ConsoleRunTest.cpp --- whole command-line runs of TarvoDefrag in the terminal, judged by the
// event log, the exit status and the volume check.
#include <gtest/gtest.h>

#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

class ConsoleRun : public ProgramTest {};

TEST_F(ConsoleRun, SpaceOverTwoMappedDrivesCompletesBothAndLogsTheirCompletion) {
    MapSim("C", "NTFS", 20000, 300, 1);
    MapSim("D", "FAT", 20000, 300, 2);
    ProgramResult run = Run("TarvoDefrag", {"/SPACE:C,D", "/LOG:4"});
    EXPECT_EQ(run.status, 0) << run.output;
    // Progress goes to a file here, so it comes as plain lines at 5% steps.
    EXPECT_NE(run.output.find("C: SPACE 100%"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Fragmented now"), std::string::npos);

    ProgramResult log = Run("tarvoctl", {"eventlog"});
    ASSERT_EQ(log.status, 0);
    EXPECT_NE(log.output.find("SPACE-defragmentation has completed for drive C: (Filesystem NTFS)"), std::string::npos)
        << log.output;
    EXPECT_NE(log.output.find("SPACE-defragmentation has completed for drive D: (Filesystem FAT)"), std::string::npos);
    for (const char* drive : {"C:", "D:"}) EXPECT_EQ(Run("tarvoctl", {"vol", "check", drive}).status, 0) << drive;
}

TEST_F(ConsoleRun, CommandLineSettingsAreNeverStored) {
    MapSim("C", "NTFS", 8000, 50);
    ASSERT_EQ(Run("TarvoDefrag", {"/SPACE:C", "/LOG:4", "/SORT:LASTMODIFIED", "/QUIET"}).status, 0);
    ProgramResult exported = Run("tarvoctl", {"reg", "query", "HKCU\\Software\\Tarvo\\Tarvo Defrag\\Logging"});
    EXPECT_EQ(exported.output.find("LogLevel"), std::string::npos) << exported.output;
    ProgramResult settings = Run("tarvoctl", {"reg", "query", "HKCU\\Software\\Tarvo\\Tarvo Defrag\\Settings"});
    EXPECT_EQ(settings.output.find("SortedBy"), std::string::npos) << settings.output;
    EXPECT_EQ(settings.output.find("QuietMode"), std::string::npos) << settings.output;
}

TEST_F(ConsoleRun, ExitStatusesOfBadCommandLinesHelpAndAStartWithoutDisplay) {
    MapSim("C", "NTFS", 8000, 50);
    ProgramResult colon = Run("TarvoDefrag", {"/SPACE:C:"});
    EXPECT_EQ(colon.status, 1);
    EXPECT_NE(colon.output.find("Invalid drive passed by command line: C:"), std::string::npos) << colon.output;
    EXPECT_EQ(Run("TarvoDefrag", {"/LOG:2", "/LOG:3", "/SPACE:C"}).status, 1);
    EXPECT_EQ(Run("TarvoDefrag", {"/SPACE:Q"}).status, 1);

    ProgramResult help = Run("TarvoDefrag", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Exit status"), std::string::npos);

    ProgramResult interactive = Run("TarvoDefrag", {});
    EXPECT_EQ(interactive.status, 4);
    EXPECT_NE(interactive.output.find("needs a display"), std::string::npos) << interactive.output;
    // The volume was never touched by the refused runs.
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
}

TEST_F(ConsoleRun, NoDriveCMappedStillLetsTheUserDefragmentTheirOwnImage) {
    MapSim("E", "FAT", 8000, 60);
    ProgramResult run = Run("TarvoDefrag", {"/COMPLETE:E", "/SORT:NAME"});
    EXPECT_EQ(run.output.find("You are not allowed"), std::string::npos) << run.output;
    EXPECT_NE(run.status, 1);
}

}  // namespace
}  // namespace tarvo::e2e
