// ScheduledRunTest.cpp --- a job added through the job list starts TarvoDefrag through the Schedule
// service at its minute; the run completes without a display and is judged by the built programs.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/services/ServiceClock.h"
#include "scheduler/JobCommand.h"
#include "scheduler/JobList.h"
#include "scheduler/JobText.h"
#include "tests/e2e/schedule/ScheduleRunSupport.h"

namespace tarvo::e2e {
namespace {

using namespace tarvo::scheduler;
using platform::ScheduleNow;

// The run starts within a second or two of its minute; the rest is the run itself.
constexpr auto kRunLimit = std::chrono::seconds(120);

class ScheduledRun : public ScheduleRunTest {
protected:
    // The start of the next minute of the moved clock, or of the one after when
    // too little is left to read the job back before it runs.
    static time_t NextMinute() {
        const time_t now = ScheduleNow();
        const time_t next = (now / 60 + 1) * 60;
        return next - now < 5 ? next + 60 : next;
    }

    // A job as the editor confirms it: SPACE at the due time's hour and minute, logging at level 4.
    static Job EditedJob(time_t due, int16_t occurrence, std::vector<int16_t> days, int16_t drive) {
        tm local{};
        localtime_r(&due, &local);
        EditorValues values;
        values.method = MethodSpace;
        values.occurrence = occurrence;
        values.days = std::move(days);
        values.hour = static_cast<uint16_t>(local.tm_hour);
        values.minute = static_cast<uint16_t>(local.tm_min);
        values.loggingEnabled = true;
        values.logLevelIndex = 3;
        Job job;
        job.drive = drive;
        EXPECT_EQ(Validate(values, job, ScheduleNow()), "");
        return job;
    }

    // The day code (Monday 40 .. Sunday 46) of a time.
    static int16_t WeekDayCode(time_t when) {
        tm local{};
        localtime_r(&when, &local);
        return static_cast<int16_t>(kFirstWeekDayCode + (local.tm_wday + 6) % 7);
    }
};

TEST_F(ScheduledRun, JobForInOneMinuteStartsTheDefragmenterHeadlessAndIsGoneAfterItsRun) {
    const std::string programs = InstallPrograms();
    MapSim("C", "NTFS", 20000, 300, 1);
    const int before = FragmentedFiles("C:");
    ASSERT_GT(before, 20);

    MoveClockBeforeNoon(47);
    // A first start on a fresh system: the service is made interactive and
    // automatic, then started, each with the user's consent.
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::Yes, PromptAnswer::Yes});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());
    EXPECT_EQ(prompt.asked, (std::vector<std::string>{kNotInteractiveText, kNotAutomaticText, kNotStartedText}));
    EXPECT_TRUE(list.Jobs().empty());
    ProgramResult config = Run("tarvoctl", {"svc", "config", "Schedule"});
    EXPECT_NE(config.output.find("(interactive)"), std::string::npos) << config.output;
    EXPECT_NE(config.output.find("AUTO_START"), std::string::npos) << config.output;

    const time_t due = NextMinute();
    Job job = EditedJob(due, Today, {}, 2);
    ASSERT_TRUE(list.AddJob(job));
    EXPECT_EQ(job.key, 1001u);
    std::string upper = UpperCase(programs);
    EXPECT_EQ(job.command, upper + "\\TARVODEFRAG /SPACE:C /LOG:4");

    // Before its minute the classic list shows it: id, day, time, command.
    ProgramResult at = Run("tarvoctl", {"at"});
    ASSERT_LT(ScheduleNow(), due) << "the set-up took too long to see the job before its run";
    ASSERT_EQ(at.status, 0) << at.output;
    std::istringstream row(LineWith(at.output, job.command));
    unsigned id = 0;
    std::string day, time, half, command;
    row >> id >> day >> time >> half;
    std::getline(row >> std::ws, command);
    EXPECT_EQ(id, job.serviceJobId) << at.output;
    EXPECT_EQ(day, "Today");
    EXPECT_EQ(time + " " + half, TwelveHour(job.hour, job.minute));
    EXPECT_EQ(command, job.command);
    ProgramResult shown = Run("tarvoctl", {"at", std::to_string(job.serviceJobId)});
    EXPECT_NE(shown.output.find("Interactive:    Yes"), std::string::npos) << shown.output;

    std::string log = WaitForEvent({"(0x40022006)", "(0x40023002)"}, kRunLimit);
    std::string completed = LineWith(log, "SPACE-defragmentation has completed for drive C: (Filesystem NTFS)");
    ASSERT_FALSE(completed.empty()) << log << "\nSchedule log:\n" << ServiceLog();
    EXPECT_NE(ServiceLog().find("started job " + job.command), std::string::npos) << ServiceLog();
    // Headless: the console front-end's lines went to the service's log.
    EXPECT_NE(ServiceLog().find("C: SPACE 100%"), std::string::npos) << ServiceLog();

    EXPECT_LT(FragmentedFiles("C:"), before);
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
    // A one-shot job goes once it ran.
    EXPECT_NE(Run("tarvoctl", {"at"}).output.find("There are no entries in the list."), std::string::npos);
}

TEST_F(ScheduledRun, WeeklyJobForAllDrivesRunsEachDriveAndStaysListed) {
    const std::string programs = InstallPrograms();
    MapSim("C", "NTFS", 12000, 150, 3);
    MapSim("D", "FAT", 12000, 150, 4);
    const int beforeD = FragmentedFiles("D:");
    ASSERT_GT(beforeD, 5);

    MoveClockBeforeNoon(47);
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::No, PromptAnswer::Yes});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());
    const time_t due = NextMinute();
    Job job = EditedJob(due, Every, {WeekDayCode(due)}, 0);
    ASSERT_TRUE(list.AddJob(job));
    EXPECT_EQ(job.command, UpperCase(programs) + "\\TARVODEFRAG /SPACE:ALL /LOG:4");

    std::string log = WaitForEvent({"has completed for drive C:", "has completed for drive D:", "(0x40023002)"},
                                   kRunLimit);
    EXPECT_FALSE(LineWith(log, "SPACE-defragmentation has completed for drive C: (Filesystem NTFS)").empty()) << log;
    EXPECT_FALSE(LineWith(log, "SPACE-defragmentation has completed for drive D: (Filesystem FAT)").empty()) << log;
    EXPECT_LT(FragmentedFiles("D:"), beforeD);

    // A periodic job stays, for the same day next week: the classic list and a
    // fresh job list both read it back as it was written.
    std::string at = Run("tarvoctl", {"at"}).output;
    std::string row = LineWith(at, job.command);
    EXPECT_NE(row.find("Each "), std::string::npos) << at;
    EXPECT_EQ(row.find("ERROR"), std::string::npos) << at;
    ScriptedPrompt quiet({PromptAnswer::No});
    CScheduleConnection again(quiet);
    CJobList reloaded(again);
    ASSERT_TRUE(reloaded.LoadJobs());
    ASSERT_EQ(reloaded.Jobs().size(), 1u);
    const Job& read = reloaded.Jobs().front();
    EXPECT_EQ(read.serviceJobId, job.serviceJobId);
    EXPECT_EQ(Describe(read, DescribeFor::Tree), Describe(job, DescribeFor::Tree));
    EXPECT_EQ(read.drive, 0);
    EXPECT_FALSE(read.execError);
}

}  // namespace
}  // namespace tarvo::e2e
