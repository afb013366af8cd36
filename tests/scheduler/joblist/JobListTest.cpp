// JobListTest.cpp --- the job list against a real Schedule service: questions, loading, changes, runs.
#include "scheduler/JobList.h"

#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/registry/Registry.h"
#include "platform/services/NetSchedule.h"
#include "scheduler/JobCommand.h"
#include "scheduler/JobText.h"
#include "tests/platform/services/ServiceTestSupport.h"

using namespace tarvo::scheduler;
using namespace tarvo::platform;

namespace {

// Answers the questions from a script and records what was asked.
class ScriptedPrompt : public CPrompt {
public:
    explicit ScriptedPrompt(std::deque<PromptAnswer> answers) : m_answers(std::move(answers)) {}
    PromptAnswer Ask(const std::string& text, PromptButtons, PromptIcon) override {
        asked.push_back(text);
        if (m_answers.empty()) {
            return PromptAnswer::Cancel;
        }
        PromptAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    std::vector<std::string> asked;

private:
    std::deque<PromptAnswer> m_answers;
};

class JobListTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        // The defragmenter is "installed" as C:\TOOLS\TarvoDefrag.exe; its folder is our bin.
        std::filesystem::create_directories(m_root + "/bin");
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDefragmenterAppPathKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetString(key, "", "C:\\TOOLS\\TarvoDefrag.exe");
        SetString(key, "Path", m_root + "/bin");
        RegCloseKey(key);
    }
    static void SetString(HKEY key, const char* name, const std::string& value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    }
    DWORD AddRaw(uint32_t timeMs, UCHAR flags, const std::string& command) {
        std::u16string wide = ToWide(command);
        AT_INFO info{timeMs, 0, 0, flags, wide.data()};
        DWORD id = 0;
        EXPECT_EQ(NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id), NERR_Success);
        return id;
    }
    std::vector<AT_ENUM> ServiceJobs(std::vector<std::string>* commands = nullptr) {
        std::vector<AT_ENUM> jobs;
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        if (NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr) == NERR_Success) {
            auto* entries = reinterpret_cast<AT_ENUM*>(buffer);
            for (DWORD i = 0; i < read; ++i) {
                jobs.push_back(entries[i]);
                if (commands != nullptr) {
                    commands->push_back(FromWide(entries[i].Command));
                }
            }
        }
        NetApiBufferFree(buffer);
        return jobs;
    }
    bool ControlStop() {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS);
        SERVICE_STATUS status{};
        bool ok = ControlService(service, SERVICE_CONTROL_STOP, &status) &&
                  WaitFor([&] { return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED; });
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return ok;
    }
    static Job SpaceJob(int16_t drive) {
        Job job;
        job.method = MethodSpace;
        job.drive = drive;
        job.occurrence = Every;
        job.days = {40};
        job.hour = 3;
        return job;
    }
};
}  // namespace

TEST_F(JobListTest, EnsureServiceConfiguresAndStartsWhenTheUserAgrees) {
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::Yes, PromptAnswer::Yes});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());
    EXPECT_EQ(prompt.asked, (std::vector<std::string>{kNotInteractiveText, kNotAutomaticText, kNotStartedText}));
    EXPECT_TRUE(connection.IsRunning());
    // Configured now: a second program start asks nothing.
    ScriptedPrompt quiet({});
    CScheduleConnection again(quiet);
    EXPECT_TRUE(again.EnsureService());
    EXPECT_TRUE(quiet.asked.empty());
}

TEST_F(JobListTest, RefusalsEndTheLoad) {
    ScriptedPrompt cancel({PromptAnswer::Cancel});
    CScheduleConnection c1(cancel);
    EXPECT_FALSE(CJobList(c1).LoadJobs());
    ScriptedPrompt no({PromptAnswer::Ok, PromptAnswer::No, PromptAnswer::No});
    CScheduleConnection c2(no);
    EXPECT_FALSE(CJobList(c2).LoadJobs());
    EXPECT_FALSE(c2.IsRunning());
}

TEST_F(JobListTest, FailedStartOffersRetryUntilCancelled) {
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_ALL_ACCESS);
        ASSERT_TRUE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         "/nowhere/tarvoctl svc run Schedule", nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr));
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::No, PromptAnswer::Yes, PromptAnswer::Retry,
                           PromptAnswer::Cancel});
    CScheduleConnection connection(prompt);
    EXPECT_FALSE(connection.EnsureService());
    ASSERT_EQ(prompt.asked.size(), 5u);
    EXPECT_EQ(prompt.asked[3], kStartFailedText);
    EXPECT_EQ(prompt.asked[4], kStartFailedText);
}

TEST_F(JobListTest, ListsOnlyReadableDefragmenterJobsAndKeepsFailedOnesVisible) {
    ASSERT_TRUE(StartService());
    DWORD other = AddRaw(TimeOfDayMs(3600), 0, "C:\\WINNT\\NOTEPAD.EXE");
    // Its program is not there yet: the run at the next second fails.
    DWORD failing = AddRaw(TimeOfDayMs(1), JOB_RUN_PERIODICALLY | JOB_NONINTERACTIVE, "C:\\TOOLS\\TARVODEFRAG /SPACE:E");
    DWORD good = AddRaw(TimeOfDayMs(3600), 0, "C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /LOG:2");
    DWORD unreadable = AddRaw(TimeOfDayMs(3600), 0, "C:\\TOOLS\\TARVODEFRAG /LOG:1");
    ASSERT_TRUE(WaitFor([&] {
        for (auto& j : ServiceJobs()) {
            if (j.JobId == failing && (j.Flags & JOB_EXEC_ERROR)) return true;
        }
        return false;
    }));
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::No});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());
    ASSERT_EQ(list.Jobs().size(), 2u);
    const Job& first = list.Jobs().front();
    EXPECT_EQ(first.key, 1001u);
    EXPECT_EQ(first.serviceJobId, failing);
    EXPECT_TRUE(first.execError);
    EXPECT_EQ(first.drive, 4);
    const Job& second = list.Jobs().back();
    EXPECT_EQ(second.key, 1002u);
    EXPECT_EQ(second.serviceJobId, good);
    EXPECT_EQ(second.logLevel, 2);

    for (int16_t drive : {2, 3, 3}) {
        Job job = SpaceJob(drive);
        ASSERT_TRUE(list.AddJob(job));
        EXPECT_EQ(job.command, "C:\\TOOLS\\TARVODEFRAG /SPACE:" + std::string(1, static_cast<char>('A' + drive)));
    }
    EXPECT_EQ(list.Jobs().back().key, 1005u);
    ASSERT_TRUE(list.RemoveAllJobs(3));
    EXPECT_EQ(list.Jobs().size(), 2u);  // the loaded D job and the two added ones went
    ASSERT_TRUE(list.RemoveAllJobs(0));
    EXPECT_TRUE(list.Jobs().empty());
    std::vector<DWORD> left;
    for (auto& j : ServiceJobs()) {
        left.push_back(j.JobId);
    }
    EXPECT_EQ(left, (std::vector<DWORD>{other, unreadable}));
}

TEST_F(JobListTest, FailedChangeOrRemovalKeepsTheJobAndSaysSo) {
    ASSERT_TRUE(StartService());
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::No});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());
    Job job = SpaceJob(2);
    ASSERT_TRUE(list.AddJob(job));
    DWORD oldId = job.serviceJobId;

    ASSERT_TRUE(ControlStop());
    Job edited = job;
    edited.method = MethodComplete;
    EXPECT_FALSE(list.ChangeJob(edited));
    EXPECT_FALSE(list.RemoveJob(job.key));
    EXPECT_FALSE(list.RemoveAllJobs(0));
    ASSERT_EQ(list.Jobs().size(), 1u);
    EXPECT_EQ(list.FindJob(job.key)->command, "C:\\TOOLS\\TARVODEFRAG /SPACE:C");

    ASSERT_TRUE(StartService());
    std::vector<std::string> commands;
    ASSERT_EQ(ServiceJobs(&commands).size(), 1u);
    EXPECT_EQ(commands[0], "C:\\TOOLS\\TARVODEFRAG /SPACE:C");
    ASSERT_TRUE(list.ChangeJob(edited));
    EXPECT_NE(edited.serviceJobId, oldId);
    commands.clear();
    auto jobs = ServiceJobs(&commands);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].JobId, edited.serviceJobId);
    EXPECT_EQ(commands[0], "C:\\TOOLS\\TARVODEFRAG /COMPLETE:C");
    EXPECT_EQ(list.FindJob(job.key)->method, MethodComplete);
    EXPECT_TRUE(list.RemoveJob(job.key));
    EXPECT_EQ(list.FindJob(job.key), nullptr);
    EXPECT_TRUE(ServiceJobs().empty());
}

TEST_F(JobListTest, JobForTheNextMinuteStartsTheDefragmenterWithItsCommandLine) {
    // The service's clock stands two seconds before 12:01.
    long long offset = std::atoll(std::getenv("TARVO_CLOCK_OFFSET")) + 58;
    setenv("TARVO_CLOCK_OFFSET", std::to_string(offset).c_str(), 1);
    std::string log = m_root + "/runs";
    WriteRecorder("bin/TarvoDefrag", log);
    ScriptedPrompt prompt({PromptAnswer::Ok, PromptAnswer::Yes, PromptAnswer::Yes});
    CScheduleConnection connection(prompt);
    CJobList list(connection);
    ASSERT_TRUE(list.LoadJobs());

    EditorValues values;
    values.method = MethodComplete;
    values.occurrence = Today;
    values.hour = 12;
    values.minute = 1;
    values.sort = SortName;
    values.loggingEnabled = true;
    values.logLevelIndex = 1;
    Job job;
    job.drive = 3;
    ASSERT_EQ(Validate(values, job, ScheduleNow()), "");
    ASSERT_TRUE(list.AddJob(job));
    EXPECT_EQ(Describe(*list.FindJob(job.key), DescribeFor::Tree), "Today at 12:01h (LogLevel = 2)");

    FILE* at = ::popen((std::string(TARVO_BINARY_DIR "/bin/tarvoctl at 2>&1")).c_str(), "r");
    char line[512];
    std::string listing;
    while (std::fgets(line, sizeof line, at) != nullptr) {
        listing += line;
    }
    ::pclose(at);
    EXPECT_NE(listing.find("Today                   12:01 PM      C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /SORT:NAME /LOG:2"),
              std::string::npos)
        << listing;

    ASSERT_TRUE(WaitFor([&] { return !Read(log).empty(); }, 15000));
    EXPECT_EQ(Read(log), "bin/TarvoDefrag /COMPLETE:D /SORT:NAME /LOG:2 DISPLAY=\n");
    EXPECT_TRUE(WaitFor([&] { return ServiceJobs().empty(); }));  // a one-shot goes after its run
}
