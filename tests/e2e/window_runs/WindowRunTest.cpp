// WindowRunTest.cpp --- command-line runs in the window end with the console run's exit statuses.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

class WindowRun : public ProgramTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        m_display = display ? display : "";
        ProgramTest::SetUp();
        if (m_display.empty()) GTEST_SKIP() << "no display (run under xvfb-run)";
        setenv("DISPLAY", m_display.c_str(), 1);
    }
    void TearDown() override {
        ProgramTest::TearDown();
        if (!m_display.empty()) setenv("DISPLAY", m_display.c_str(), 1);
    }
    bool EventLogged(const std::string& id) {
        return Run("tarvoctl", {"eventlog"}).output.find(id) != std::string::npos;
    }
    std::string m_display;
};

TEST_F(WindowRun, CompletedListEndsWithZeroAndAnEmptyListWithTwo) {
    MapSim("C", "FAT", 20000, 300, 5);
    ProgramResult done = Run("TarvoDefrag", {"/COMPLETE:C", "/LOG:4"});
    EXPECT_EQ(done.status, 0) << done.output;
    EXPECT_TRUE(EventLogged("0x40022009"));  // COMPLETE completed
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);

    ProgramResult empty = Run("TarvoDefrag", {"/SPACE:"});
    EXPECT_EQ(empty.status, 2) << empty.output;
    ProgramResult invalid = Run("TarvoDefrag", {"/SPACE:C:"});
    EXPECT_EQ(invalid.status, 1) << invalid.output;
}

TEST_F(WindowRun, StopSignalDuringTheRunEndsWithThreeAndAShownWindowSavesItsPicture) {
    MapSim("C", "NTFS", 400000, 20000, 7);
    const std::string picture = m_home + "/run.png";
    RunningProgram program("TarvoDefrag", {"--show", "--screenshot", picture, "/SPACE:C", "/LOG:4"},
                           m_home + "/run.txt");
    // The method has begun once its start is in the event log.
    bool started = false;
    for (int i = 0; i < 600 && !started; ++i) {
        started = EventLogged("0x40022005");
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(started) << program.Output();
    // The shown window saves its picture once a third of the method is done.
    for (int i = 0; i < 1200 && !std::filesystem::exists(picture); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(std::filesystem::exists(picture) ? std::filesystem::file_size(picture) : 0, 1000u) << program.Output();
    kill(program.Pid(), SIGTERM);
    ProgramResult result = program.Wait();
    EXPECT_EQ(result.status, 3) << result.output;
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
}

TEST_F(WindowRun, SecondInteractiveStartIsToldAndEndsWhileTheFirstWindowRunsOn) {
    MapSim("C", "FAT", 4000, 20, 2);  // an interactive start needs drive C to open
    ASSERT_EQ(Run("tarvoctl", {"reg", "add", "HKCU\\Software\\Tarvo\\Tarvo Defrag\\Logging", "/v", "LogLevel", "/t",
                               "REG_DWORD", "/d", "4", "/f"})
                  .status,
              0);
    RunningProgram first("TarvoDefrag", {}, m_home + "/first.txt");
    // The first window holds the guard once its start is logged.
    bool up = false;
    for (int i = 0; i < 400 && !up; ++i) {
        up = EventLogged("0x40023001");
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(up);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto asked = std::chrono::steady_clock::now();
    ProgramResult second = Run("TarvoDefrag", {});
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(20));
    EXPECT_NE(second.status, 0);
    EXPECT_NE(second.output.find("Another instance of Tarvo Defrag is currently running"), std::string::npos)
        << second.output;
    EXPECT_EQ(waitpid(first.Pid(), nullptr, WNOHANG), 0) << "the first window must run on";
    kill(first.Pid(), SIGTERM);
    EXPECT_EQ(first.Wait().status, 0);
}

}  // namespace
}  // namespace tarvo::e2e
