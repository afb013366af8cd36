// JobTimingTest.cpp --- next-run times on the local calendar, across daylight-saving changes.
#include "platform/services/JobTiming.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tarvo::platform;

namespace {
class JobTiming : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    static time_t Local(int y, int mo, int d, int h, int mi, int isDst = -1) {
        tm t{};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_isdst = isDst;
        return mktime(&t);
    }
    static constexpr DWORD At(int h, int m) { return static_cast<DWORD>((h * 60 + m) * 60000); }
};
}  // namespace

TEST_F(JobTiming, TimeInTheSpringGapRunsAtTheNextValidMinute) {
    // 2024-03-31: the clocks go from 02:00 straight to 03:00.
    EXPECT_EQ(LocalTimeOnDay(2024, 3, 31, At(2, 30)), Local(2024, 3, 31, 3, 0));
    EXPECT_EQ(NextRunTime(At(2, 30), 0, 0, Local(2024, 3, 30, 23, 0)), Local(2024, 3, 31, 3, 0));
}

TEST_F(JobTiming, RepeatedAutumnTimeRunsOnceAtItsFirstOccurrence) {
    // 2024-10-27: 02:00-03:00 happens twice; the first is summer time.
    time_t first = Local(2024, 10, 27, 2, 30, 1);
    EXPECT_EQ(LocalTimeOnDay(2024, 10, 27, At(2, 30)), first);
    // After that run the next one is the following day, not the second 02:30.
    EXPECT_EQ(NextRunTime(At(2, 30), 0, 0, first), Local(2024, 10, 28, 2, 30));
}

TEST_F(JobTiming, NoDaysMeansTodayWhileAheadElseTomorrow) {
    time_t morning = Local(2024, 5, 15, 9, 0);
    EXPECT_EQ(NextRunTime(At(10, 0), 0, 0, morning), Local(2024, 5, 15, 10, 0));
    EXPECT_EQ(NextRunTime(At(9, 0), 0, 0, morning), Local(2024, 5, 16, 9, 0));  // not strictly ahead
    EXPECT_EQ(NextRunTime(At(10, 0), 0, 0, morning, FromDay::Skipped), Local(2024, 5, 16, 10, 0));
}

TEST_F(JobTiming, WeekAndMonthDayBitsPickTheFirstMatchingDay) {
    time_t wednesday = Local(2024, 5, 15, 9, 0);  // Wednesday 15 May 2024
    EXPECT_EQ(NextRunTime(At(8, 0), 0, 0x01, wednesday), Local(2024, 5, 20, 8, 0));           // Monday
    EXPECT_EQ(NextRunTime(At(8, 0), 0, 0x40, wednesday), Local(2024, 5, 19, 8, 0));           // Sunday
    EXPECT_EQ(NextRunTime(At(8, 0), 1u << 30, 0, wednesday), Local(2024, 5, 31, 8, 0));       // the 31st
    EXPECT_EQ(NextRunTime(At(8, 0), 1u << 30, 0, Local(2024, 6, 1, 0, 0)), Local(2024, 7, 31, 8, 0));
    EXPECT_EQ(NextRunTime(At(8, 0), 1u << 0, 0x04, wednesday), Local(2024, 5, 22, 8, 0));     // Wednesday next week
    EXPECT_EQ(NextRunTime(At(8, 0), 1u << 28, 0, Local(2025, 3, 1, 0, 0)), Local(2025, 3, 29, 8, 0));
}
