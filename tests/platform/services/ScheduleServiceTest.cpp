// ScheduleServiceTest.cpp --- the Schedule service's requests and job runs, driven in-process.
#include "platform/services/ScheduleService.h"

#include "platform/core/TarvoHome.h"
#include "platform/services/JobTiming.h"
#include "platform/services/ServiceConfig.h"
#include "tests/platform/services/ServiceTestSupport.h"

using namespace tarvo::platform;

namespace {
class ScheduleJobs : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        std::string error;
        ASSERT_TRUE(m_store.Open(TarvoHomePath("schedule.db"), error)) << error;
        m_service = std::make_unique<CScheduleService>(m_store, ":7");
        m_now = ScheduleNow();
        setenv("TARVO_CLOCK_FREEZE", std::to_string(m_now).c_str(), 1);  // TimeOfDayMs counts from m_now
        m_log = m_root + "/runs";
    }
    Frame Add(uint32_t timeMs, uint32_t dom, int dow, int flags, const std::string& command) {
        return m_service->Handle({"ADD", std::to_string(timeMs), std::to_string(dom), std::to_string(dow),
                                  std::to_string(flags), command},
                                 m_now);
    }
    Frame Enum(uint32_t resume = 0, uint32_t prefMax = 0xFFFFFFFF) {
        return m_service->Handle({"ENUM", std::to_string(resume), std::to_string(prefMax)}, m_now);
    }
    // Runs what is due at `seconds` after the test's present time and waits for the programs to end.
    int RunAt(int seconds) {
        int started = m_service->RunDueJobs(m_now + seconds);
        WaitFor([&] {
            m_service->ReapChildren();
            return Read(m_log).size() >= m_expectedLogSize;
        }, 2000);
        return started;
    }
    CJobStore m_store;
    std::unique_ptr<CScheduleService> m_service;
    time_t m_now = 0;
    std::string m_log;
    size_t m_expectedLogSize = 0;
};
}  // namespace

TEST_F(ScheduleJobs, AddedJobsEnumerateInBatchesWithMoreData) {
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Add(TimeOfDayMs(3600), 0, 0, 0, "CMD " + std::to_string(i)), (Frame{"0", std::to_string(i + 1)}));
    }
    // Room for about two records per batch.
    Frame first = Enum(0, 2 * (sizeof(AT_ENUM) + 12));
    ASSERT_GE(first.size(), 4u);
    EXPECT_EQ(first[0], "234");
    EXPECT_EQ(first[1], "5");
    EXPECT_EQ(first[3], "2");
    Frame rest = Enum(std::stoul(first[2]));
    EXPECT_EQ(rest[0], "0");
    EXPECT_EQ(rest[3], "3");
    EXPECT_EQ(rest[4], "3");  // the first id after the resume handle
}

TEST_F(ScheduleJobs, MalformedRequestsAreRefusedAndStoreNothing) {
    EXPECT_EQ(Add(86400000, 0, 0, 0, "X"), Frame{"87"});
    EXPECT_EQ(Add(0, 0x80000000u, 0, 0, "X"), Frame{"87"});
    EXPECT_EQ(Add(0, 0, 128, 0, "X"), Frame{"87"});
    EXPECT_EQ(Add(0, 0, 0, JOB_EXEC_ERROR, "X"), Frame{"87"});
    EXPECT_EQ(Add(0, 0, 0, 0, "   "), Frame{"87"});
    EXPECT_EQ(Add(0, 0, 0, 0, "A\nB"), Frame{"87"});
    EXPECT_EQ(m_service->Handle({"ADD", "-1", "0", "0", "0", "X"}, m_now), Frame{"87"});
    EXPECT_EQ(m_service->Handle({"BOGUS"}, m_now), Frame{"50"});
    EXPECT_EQ(Enum()[3], "0");
    EXPECT_EQ(m_service->Handle({"DEL", "1", "1"}, m_now), Frame{"2151"});
}

TEST_F(ScheduleJobs, RunsTodayIsReportedOnlyWhileTheRunIsToday) {
    Add(TimeOfDayMs(3600), 0, 0, 0, "LATER");                  // 13:00 today
    Add(TimeOfDayMs(-3600), 0, 0, 0, "PAST");                  // 11:00: tomorrow
    Add(TimeOfDayMs(3600), 0, 0, JOB_NOT_TODAY, "TOMORROW");   // 13:00, but not today
    Frame list = Enum();
    ASSERT_EQ(list[3], "3");
    EXPECT_EQ(std::stoi(list[4 + 4]) & JOB_RUNS_TODAY, JOB_RUNS_TODAY);
    EXPECT_EQ(std::stoi(list[10 + 4]) & JOB_RUNS_TODAY, 0);
    EXPECT_EQ(std::stoi(list[16 + 4]), 0);  // our own input flag is never reported back
}

TEST_F(ScheduleJobs, OneShotRunsOnceAndGoesPeriodicStays) {
    std::string once = WriteRecorder("once", m_log);
    std::string every = WriteRecorder("every", m_log);
    Add(TimeOfDayMs(60), 0, 0, JOB_NONINTERACTIVE, once + " /SPACE:C");
    Add(TimeOfDayMs(60), 0, 0x7F, JOB_RUN_PERIODICALLY | JOB_NONINTERACTIVE, every + " /COMPLETE:ALL");
    EXPECT_EQ(m_service->RunDueJobs(m_now + 59), 0);
    m_expectedLogSize = 1;
    EXPECT_EQ(RunAt(60), 2);
    EXPECT_EQ(RunAt(61), 0);  // nothing runs twice
    Frame list = Enum();
    ASSERT_EQ(list[3], "1");
    EXPECT_EQ(list[4], "2");
    EXPECT_EQ(std::stoi(list[8]) & JOB_RUNS_TODAY, 0);  // its next run is tomorrow
    WaitFor([&] { return Read(m_log).find("every") != std::string::npos && Read(m_log).find("once") != std::string::npos; });
    std::string runs = Read(m_log);
    EXPECT_NE(runs.find("once /SPACE:C DISPLAY=\n"), std::string::npos) << runs;
    EXPECT_NE(runs.find("every /COMPLETE:ALL DISPLAY=\n"), std::string::npos) << runs;
}

TEST_F(ScheduleJobs, OneShotWithSeveralDaysRunsOnEachThenGoes) {
    std::string rec = WriteRecorder("rec", m_log);
    tm today{};
    localtime_r(&m_now, &today);
    tm tomorrowTm = today;
    tomorrowTm.tm_mday += 1;
    mktime(&tomorrowTm);
    uint32_t days = (1u << (today.tm_mday - 1)) | (1u << (tomorrowTm.tm_mday - 1));
    Add(TimeOfDayMs(60), days, 0, JOB_NONINTERACTIVE, rec);
    m_expectedLogSize = 1;
    EXPECT_EQ(RunAt(60), 1);
    EXPECT_EQ(Enum()[3], "1");
    EXPECT_EQ(RunAt(86400 + 60), 1);
    EXPECT_EQ(Enum()[3], "0");
}

TEST_F(ScheduleJobs, CommandThatCannotStartIsFlaggedAndStaysListed) {
    Add(TimeOfDayMs(60), 0, 0, 0, m_root + "\\NOT-THERE.EXE /SPACE:C");
    Add(TimeOfDayMs(60), 0, 0x7F, JOB_RUN_PERIODICALLY, "C:\\NOWHERE\\TARVODEFRAG /SPACE:D");
    EXPECT_EQ(m_service->RunDueJobs(m_now + 60), 0);
    Frame list = Enum();
    ASSERT_EQ(list[3], "2");
    EXPECT_EQ(std::stoi(list[8]) & JOB_EXEC_ERROR, JOB_EXEC_ERROR);
    EXPECT_EQ(std::stoi(list[14]) & JOB_EXEC_ERROR, JOB_EXEC_ERROR);
    EXPECT_EQ(m_service->RunDueJobs(m_now + 86400 * 3), 0);  // the failed one-shot never retries
}

TEST_F(ScheduleJobs, InteractiveJobsGetTheDisplayOnlyOnAnInteractiveService) {
    std::string rec = WriteRecorder("rec", m_log);
    ServiceConfig config;
    ASSERT_TRUE(LoadServiceConfig("Schedule", config));
    Add(TimeOfDayMs(60), 0, 0, 0, rec + " A");
    m_expectedLogSize = 1;
    RunAt(60);
    EXPECT_NE(Read(m_log).find("A DISPLAY=\n"), std::string::npos);
    config.type |= SERVICE_INTERACTIVE_PROCESS;
    ASSERT_TRUE(SaveServiceConfig("Schedule", config));
    Add(TimeOfDayMs(120), 0, 0, 0, rec + " B");
    Add(TimeOfDayMs(120), 0, 0, JOB_NONINTERACTIVE, rec + " C");
    m_expectedLogSize = Read(m_log).size() + 2;
    RunAt(120);
    WaitFor([&] { return Read(m_log).find("C DISPLAY") != std::string::npos; });
    EXPECT_NE(Read(m_log).find("B DISPLAY=:7\n"), std::string::npos) << Read(m_log);
    EXPECT_NE(Read(m_log).find("C DISPLAY=\n"), std::string::npos) << Read(m_log);
}

TEST_F(ScheduleJobs, RunsMissedWhileStoppedAreNotRunLate) {
    std::string rec = WriteRecorder("rec", m_log);
    Add(TimeOfDayMs(60), 0, 0, JOB_NONINTERACTIVE, rec + " one-shot");
    Add(TimeOfDayMs(60), 0, 0x7F, JOB_RUN_PERIODICALLY | JOB_NONINTERACTIVE, rec + " periodic");
    // The service was down from before the run until an hour after it.
    CScheduleService restarted(m_store, "");
    restarted.Recover(m_now + 3600);
    EXPECT_EQ(restarted.RunDueJobs(m_now + 3600), 0);
    EXPECT_EQ(Enum()[3], "2");
    EXPECT_EQ(restarted.NextDue(), NextRunTime(TimeOfDayMs(60), 0, 0, m_now + 3600));
}
