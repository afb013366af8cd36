// StopSignalTest.cpp --- SIGINT and SIGTERM during a run: exit status 3, the abort event, a consistent volume.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

class StopSignal : public ProgramTest {};

// Waits until the run is past its analysis (a second pass of percentages has begun).
bool WaitForMoves(const RunningProgram& program) {
    for (int i = 0; i < 3000; ++i) {
        const std::string out = program.Output();
        const size_t analysed = out.find("SPACE 100%");
        if (analysed != std::string::npos && out.find("SPACE 0%", analysed) != std::string::npos) return true;
        if (out.find("completed for drive") != std::string::npos) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST_F(StopSignal, SignalMidRunStopsAfterTheMoveInFlightWithStatusThreeAndTheAbortEvent) {
    MapSim("C", "NTFS", 400000, 20000, 7);
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        RunningProgram program("TarvoDefrag", {"/SPACE:C", "/LOG:4"}, m_home + "/run.txt");
        ASSERT_TRUE(WaitForMoves(program)) << program.Output();
        kill(program.Pid(), signal);
        ProgramResult result = program.Wait();
        EXPECT_EQ(result.status, 3) << result.output;
        EXPECT_NE(result.output.find("Stopping"), std::string::npos);

        ProgramResult log = Run("tarvoctl", {"eventlog"});
        EXPECT_NE(log.output.find("0x40022007"), std::string::npos) << log.output;
        EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
    }
}

}  // namespace
}  // namespace tarvo::e2e
