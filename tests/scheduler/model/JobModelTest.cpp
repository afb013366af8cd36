// JobModelTest.cpp --- the job's command line, service record, description and editor checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/registry/Registry.h"
#include "scheduler/JobCommand.h"
#include "scheduler/JobRecord.h"
#include "scheduler/JobText.h"

using namespace tarvo::scheduler;
using namespace tarvo::platform;

namespace {
Job Parsed(const std::string& command) {
    Job job;
    job.command = command;
    EXPECT_TRUE(ParseCommand(job)) << command;
    return job;
}
bool Parses(const std::string& command) {
    Job job;
    job.command = command;
    return ParseCommand(job);
}

class JobModel : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-job-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        setenv("TARVO_HOME", m_root.c_str(), 1);
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }
    std::string m_root;
};
}  // namespace

TEST_F(JobModel, BuildCommandWritesTheDefragmenterOptionsInOrder) {
    Job job;
    job.method = MethodComplete;
    job.drive = 3;
    job.sort = SortName;
    job.logging = true;
    job.logLevel = 2;
    EXPECT_EQ(BuildCommand(job, "C:\\TOOLS\\TARVODEFRAG"), "C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /SORT:NAME /LOG:2");
    job.method = MethodSpace;
    job.drive = 0;
    job.sort = SortLastModified;
    job.logging = false;
    EXPECT_EQ(BuildCommand(job, "P"), "P /SPACE:ALL /SORT:LASTMODIFIED");
    job.method = 7;
    EXPECT_FALSE(BuildCommand(job, "P"));
}

TEST_F(JobModel, ParseCommandReadsBackWhatBuildWrites) {
    Job all = Parsed("C:\\T\\TARVODEFRAG /SPACE:ALL");
    EXPECT_EQ(all.method, MethodSpace);
    EXPECT_EQ(all.drive, 0);
    EXPECT_EQ(all.sort, SortBySettings);
    EXPECT_FALSE(all.logging);
    Job full = Parsed("c:\\t\\tarvodefrag /complete:d /sort:lastmodified /log:3");  // lower case reads the same
    EXPECT_EQ(full.method, MethodComplete);
    EXPECT_EQ(full.drive, 3);
    EXPECT_EQ(full.sort, SortLastModified);
    EXPECT_TRUE(full.logging);
    EXPECT_EQ(full.logLevel, 3);
    EXPECT_EQ(Parsed("X /SPACE:C,D").drive, 2);  // a list reads as its first drive
}

TEST_F(JobModel, ParseCommandRejectsWhatJobsNeverWrite) {
    EXPECT_FALSE(Parses("X /SPACE:C /LOG:0"));
    EXPECT_FALSE(Parses("X /SPACE:C /LOG:OFF"));
    EXPECT_FALSE(Parses("X /LOG:2"));
    EXPECT_FALSE(Parses("X /SPACE:CD"));
    EXPECT_FALSE(Parses("X /SPACE:"));
    EXPECT_FALSE(Parses("X /SPACE:1"));
    EXPECT_FALSE(Parses("X /COMPLETE:C /SORT:SIZE"));
}

TEST_F(JobModel, BelongsComparesThePathAtTheStartOnly) {
    EXPECT_TRUE(BelongsToDefragmenter("   c:\\tools\\tarvodefrag /SPACE:C", "C:\\TOOLS\\TARVODEFRAG"));
    EXPECT_FALSE(BelongsToDefragmenter("C:\\TOOLS\\TARVO", "C:\\TOOLS\\TARVODEFRAG"));
    EXPECT_FALSE(BelongsToDefragmenter("CMD /C C:\\TOOLS\\TARVODEFRAG", "C:\\TOOLS\\TARVODEFRAG"));
}

TEST_F(JobModel, DefragmenterPathComesFromTheApplicationPathKey) {
    EXPECT_EQ(DefragmenterPath(), "");  // not installed; the key is created
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDefragmenterAppPathKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const char* path = "C:\\Tools\\TarvoDefrag.exe  ";
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), std::strlen(path) + 1);
    RegCloseKey(key);
    EXPECT_EQ(DefragmenterPath(), "C:\\TOOLS\\TARVODEFRAG");
}

TEST_F(JobModel, ServiceRecordTranslatesBothWays) {
    Job job;
    job.hour = 23;
    job.minute = 5;
    job.occurrence = Every;
    job.days = {40, 44, 0, 30};
    job.command = "c:\\t\\tarvodefrag /space:c";
    ServiceRecord record = ToServiceRecord(job);
    EXPECT_EQ(record.Info().JobTime, (23u * 60 + 5) * 60000);
    EXPECT_EQ(record.Info().DaysOfWeek, 0x11);
    EXPECT_EQ(record.Info().DaysOfMonth, 0x40000001u);
    EXPECT_EQ(record.Info().Flags, JOB_RUN_PERIODICALLY);
    ServiceRecord copy = record;
    AT_ENUM entry{42, copy.Info().JobTime, copy.Info().DaysOfMonth, copy.Info().DaysOfWeek, copy.Info().Flags,
                  copy.Info().Command};
    Job back = FromServiceRecord(entry);
    EXPECT_EQ(back.occurrence, Every);
    EXPECT_EQ(back.days, (std::vector<int16_t>{40, 44, 0, 30}));
    EXPECT_EQ(back.hour, 23);
    EXPECT_EQ(back.minute, 5);
    EXPECT_EQ(back.command, "C:\\T\\TARVODEFRAG /SPACE:C");
    EXPECT_EQ(back.serviceJobId, 42u);
    EXPECT_EQ(back.method, MethodUnknown);
}

TEST_F(JobModel, OccurrenceReadsBackFromFlagsAndDays) {
    char16_t text[] = u"X";
    auto occurrence = [&](DWORD dom, UCHAR dow, UCHAR flags) {
        return FromServiceRecord(AT_ENUM{1, 0, dom, dow, flags, text}).occurrence;
    };
    EXPECT_EQ(occurrence(0, 0, 0), Tomorrow);
    EXPECT_EQ(occurrence(0, 0, JOB_RUNS_TODAY), Today);
    EXPECT_EQ(occurrence(0, 1, JOB_RUNS_TODAY), Next);
    EXPECT_EQ(occurrence(4, 0, JOB_RUN_PERIODICALLY), Every);
    // Tomorrow is written without days, so it reads back as Tomorrow.
    Job tomorrow;
    tomorrow.occurrence = Tomorrow;
    ServiceRecord r = ToServiceRecord(tomorrow);
    EXPECT_EQ(occurrence(r.Info().DaysOfMonth, r.Info().DaysOfWeek, r.Info().Flags & JOB_RUN_PERIODICALLY), Tomorrow);
    EXPECT_EQ(r.Info().Flags, JOB_NOT_TODAY);
    EXPECT_TRUE(FromServiceRecord(AT_ENUM{1, 0, 0, 0, JOB_EXEC_ERROR, text}).execError);
}

TEST_F(JobModel, DescribeMatchesTheTreeTexts) {
    Job every;
    every.occurrence = Every;
    every.days = {40, 44};
    every.hour = 3;
    every.minute = 5;
    every.logging = true;
    every.logLevel = 2;
    EXPECT_EQ(Describe(every, DescribeFor::Tree), "Every Monday, Friday at 3:05h (LogLevel = 2)");
    EXPECT_EQ(Describe(every, DescribeFor::List), "Every Monday, Friday at 3:05h");
    Job next;
    next.occurrence = Next;
    next.days = {0, 1, 2, 10, 21, 30};
    next.hour = 23;
    EXPECT_EQ(Describe(next, DescribeFor::Tree), "Next 1st, 2nd, 3rd, 11th, 22nd, 31st at 23:00h");
    next.days = {11, 20, 29, 12};
    EXPECT_EQ(Describe(next, DescribeFor::Tree), "Next 12th, 21st, 30th, 13th at 23:00h");
    Job today;
    today.occurrence = Today;
    today.hour = 7;
    today.minute = 30;
    EXPECT_EQ(Describe(today, DescribeFor::Tree), "Today at 7:30h");
}

TEST_F(JobModel, ValidateRefusesWithTheEditorMessages) {
    tm noon{};
    noon.tm_year = 124;
    noon.tm_mon = 4;
    noon.tm_mday = 15;
    noon.tm_hour = 12;
    noon.tm_min = 0;
    noon.tm_isdst = -1;
    time_t now = mktime(&noon);
    Job job;
    EditorValues values;
    EXPECT_EQ(Validate(values, job, now), kNoOccurrenceText);
    values.occurrence = Today;
    values.hour = 12;
    EXPECT_EQ(Validate(values, job, now), kTimeOverText);
    values.occurrence = Every;
    EXPECT_EQ(Validate(values, job, now), kNoDayText);
    values.occurrence = Today;
    values.minute = 1;
    values.days = {40};
    values.method = MethodSpace;
    values.sort = SortName;
    values.loggingEnabled = true;
    values.logLevelIndex = 3;
    EXPECT_EQ(Validate(values, job, now), "");
    EXPECT_TRUE(job.days.empty());  // days only for Every and Next
    EXPECT_EQ(job.sort, SortBySettings);  // SPACE keeps no sort
    EXPECT_EQ(job.logLevel, 4);
}
