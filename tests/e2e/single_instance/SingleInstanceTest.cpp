// SingleInstanceTest.cpp --- a second TarvoDefrag process while one runs: logged and ended.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

class SingleInstance : public ProgramTest {};

TEST_F(SingleInstance, SecondCommandLineRunOnlyLogsAndASecondInteractiveStartIsTold) {
    MapSim("C", "NTFS", 400000, 20000, 3);
    RunningProgram first("TarvoDefrag", {"/SPACE:C", "/LOG:4"}, m_home + "/first.txt");
    // The first instance holds its guard once it has written its first progress line.
    for (int i = 0; i < 2000 && first.Output().find('%') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(first.Output().find('%'), std::string::npos) << first.Output();
    // Held still so that it cannot finish before the other starts have been tried.
    ASSERT_EQ(kill(first.Pid(), SIGSTOP), 0);

    ProgramResult second = Run("TarvoDefrag", {"/SPACE:C", "/LOG:4"});
    EXPECT_EQ(second.status, 2) << second.output;
    ProgramResult interactive = Run("TarvoDefrag", {});
    EXPECT_NE(interactive.status, 0);
    EXPECT_NE(interactive.output.find("Another instance of Tarvo Defrag is currently running"), std::string::npos)
        << interactive.output;

    kill(first.Pid(), SIGINT);
    kill(first.Pid(), SIGCONT);
    EXPECT_EQ(first.Wait().status, 3);
    ProgramResult log = Run("tarvoctl", {"eventlog"});
    EXPECT_NE(log.output.find("0x40023009"), std::string::npos) << log.output;
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
}

}  // namespace
}  // namespace tarvo::e2e
