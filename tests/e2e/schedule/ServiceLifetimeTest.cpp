// ServiceLifetimeTest.cpp --- the Schedule service as a user drives it with tarvoctl: start twice,
// stop, and an instance whose run-time folder was removed.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/services/ServiceRuntime.h"
#include "tests/e2e/schedule/ScheduleRunSupport.h"

namespace tarvo::e2e {
namespace {

class ServiceLifetime : public ScheduleRunTest {
protected:
    // A process that ended counts as gone even while nobody has reaped it yet.
    static bool Alive(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (::kill(pid, 0) != 0 || !std::getline(stat, line)) return false;
        size_t close = line.rfind(')');
        return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
    }
};

TEST_F(ServiceLifetime, SecondStartAndStopOfAStoppedServiceAnswerWithTheSystemsTexts) {
    ProgramResult started = Run("tarvoctl", {"svc", "start", "Schedule"});
    ASSERT_EQ(started.status, 0) << started.output;
    EXPECT_NE(started.output.find("RUNNING"), std::string::npos) << started.output;
    ProgramResult again = Run("tarvoctl", {"svc", "start", "Schedule"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("FAILED 1056"), std::string::npos) << again.output;
    EXPECT_NE(again.output.find("An instance of the service is already running."), std::string::npos);

    ASSERT_EQ(Run("tarvoctl", {"svc", "stop", "Schedule"}).status, 0);
    ProgramResult stopped = Run("tarvoctl", {"svc", "stop", "Schedule"});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.output.find("The service has not been started."), std::string::npos) << stopped.output;
    ProgramResult unknown = Run("tarvoctl", {"svc", "status", "NoSuchService"});
    EXPECT_NE(unknown.output.find("The specified service does not exist as an installed service."),
              std::string::npos)
        << unknown.output;
}

// Without its lock file the instance is invisible: no client could stop it and
// a second one would run the same jobs beside it. It ends by itself instead,
// and leaves the folder alone.
TEST_F(ServiceLifetime, InstanceWhoseRunTimeFolderWasRemovedStopsAndANewOneStarts) {
    ASSERT_EQ(Run("tarvoctl", {"svc", "start", "Schedule"}).status, 0);
    const pid_t first = platform::ReadServiceRuntime("Schedule").pid;
    ASSERT_GT(first, 0);
    const std::string run = m_home + "/run";
    std::filesystem::rename(run, m_home + "/run-removed");

    EXPECT_TRUE(WaitUntil([&] { return !Alive(first); }, std::chrono::seconds(20)));
    EXPECT_FALSE(std::filesystem::exists(run));
    ProgramResult restarted = Run("tarvoctl", {"svc", "start", "Schedule"});
    ASSERT_EQ(restarted.status, 0) << restarted.output;
    EXPECT_NE(platform::ReadServiceRuntime("Schedule").pid, first);
    ProgramResult listed = Run("tarvoctl", {"at"});
    EXPECT_EQ(listed.status, 0) << listed.output;
}

}  // namespace
}  // namespace tarvo::e2e
