// JobEditorTest.cpp --- the job editor's titles, enabling rules, day list, time fields and checks on OK.
#include <gtest/gtest.h>

#include "scheduler/JobEditor.h"
#include "scheduler/JobText.h"
#include "scheduler/SchedulerTexts.h"

using namespace tarvo::scheduler;

namespace {

// Noon of a fixed day, local time.
time_t Noon() {
    tm local{};
    local.tm_year = 126;
    local.tm_mon = 4;
    local.tm_mday = 12;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return mktime(&local);
}

Job NewJob(int16_t drive) {
    Job job;
    job.drive = drive;
    return job;
}

}  // namespace

TEST(JobEditorTest, TitlesNameTheDriveOrAllDrives) {
    EXPECT_EQ(CJobEditor(EditorMode::Add, NewJob(3)).Title(), "Add a job for drive D:\\");
    EXPECT_EQ(CJobEditor(EditorMode::Add, NewJob(0)).Title(), "Add a job for all drives.");
    EXPECT_EQ(CJobEditor(EditorMode::Change, NewJob(25)).Title(), "Change parameters of job on drive Z:\\");
    EXPECT_EQ(CJobEditor(EditorMode::Change, NewJob(0)).Title(), "Change parameters of job for all drives.");
}

TEST(JobEditorTest, DayCodesAndListIndexesMapBothWays) {
    EXPECT_EQ(DayIndexOfCode(0), 7);
    EXPECT_EQ(DayIndexOfCode(30), 37);
    EXPECT_EQ(DayIndexOfCode(40), 0);
    EXPECT_EQ(DayIndexOfCode(46), 6);
    EXPECT_EQ(DayIndexOfCode(31), -1);
    EXPECT_EQ(DayIndexOfCode(47), -1);
    for (int index = 0; index < kDayEntryCount; ++index) {
        EXPECT_EQ(DayIndexOfCode(DayCodeOfIndex(index)), index);
    }
    EXPECT_EQ(DayEntryText(0), "Monday");
    EXPECT_EQ(DayEntryText(6), "Sunday");
    EXPECT_EQ(DayEntryText(7), "1");
    EXPECT_EQ(DayEntryText(37), "31");

    // A listed job opens with its days selected and goes back with weekdays first.
    Job job = NewJob(2);
    job.method = MethodSpace;
    job.occurrence = Next;
    job.days = {21, 0, 44, 40};
    job.hour = 23;
    job.minute = 7;
    CJobEditor editor(EditorMode::Change, job);
    std::array<bool, kDayEntryCount> expected{};
    expected[0] = expected[4] = expected[7] = expected[28] = true;
    EXPECT_EQ(editor.State().days, expected);
    EXPECT_EQ(editor.State().hourText, "23");
    EXPECT_EQ(editor.State().minuteText, "07");
    ASSERT_EQ(editor.Confirm(Noon()), "");
    EXPECT_EQ(editor.Result().days, (std::vector<int16_t>{40, 44, 0, 21}));
    EXPECT_EQ(Describe(editor.Result(), DescribeFor::Tree), "Next Monday, Friday, 1st, 22nd at 23:07h");
}

TEST(JobEditorTest, SpinStepsWrapAndWriteTwoDigits) {
    EXPECT_EQ(StepTimeText("23", +1, 23), "00");
    EXPECT_EQ(StepTimeText("00", -1, 23), "23");
    EXPECT_EQ(StepTimeText("59", +1, 59), "00");
    EXPECT_EQ(StepTimeText("0", -1, 59), "59");
    EXPECT_EQ(StepTimeText("7", +1, 59), "08");
    EXPECT_EQ(StepTimeText("", +1, 23), "01");
    EXPECT_EQ(StepTimeText("xy", -1, 23), "23");
    CJobEditor editor(EditorMode::Add, NewJob(2));
    editor.Spin(TimeField::Hour, -1);
    editor.Spin(TimeField::Minute, +1);
    EXPECT_EQ(editor.State().hourText, "23");
    EXPECT_EQ(editor.State().minuteText, "01");
}

TEST(JobEditorTest, ChoicesEnableTheirControls) {
    CJobEditor editor(EditorMode::Add, NewJob(2));
    EXPECT_FALSE(editor.SortEnabled());
    EXPECT_FALSE(editor.LogLevelEnabled());
    EXPECT_FALSE(editor.DaysEnabled());
    EXPECT_EQ(editor.State().occurrence, OccurrenceNone);
    editor.ChooseMethod(MethodComplete);
    EXPECT_TRUE(editor.SortEnabled());
    editor.ChooseLogging(true);
    EXPECT_TRUE(editor.LogLevelEnabled());
    EXPECT_EQ(editor.State().logLevelIndex, 0);  // the first level when none was chosen
    editor.State().logLevelIndex = 2;
    editor.ChooseLogging(false);
    editor.ChooseLogging(true);
    EXPECT_EQ(editor.State().logLevelIndex, 2);
    for (int16_t occurrence : {Today, Tomorrow, Every, Next}) {
        editor.ChooseOccurrence(occurrence);
        EXPECT_EQ(editor.DaysEnabled(), occurrence == Every || occurrence == Next);
    }
}

TEST(JobEditorTest, ConfirmChecksRangesThenTheJobRulesAndKeepsTheEditorOpenOnFailure) {
    CJobEditor editor(EditorMode::Add, NewJob(3));
    EXPECT_EQ(editor.Confirm(Noon()), kNoOccurrenceText);
    editor.ChooseOccurrence(Today);
    editor.State().hourText = "11";
    editor.State().minuteText = "59";
    EXPECT_EQ(editor.Confirm(Noon()), kTimeOverText);
    editor.State().hourText = "12";
    editor.State().minuteText = "00";
    EXPECT_EQ(editor.Confirm(Noon()), kTimeOverText);  // the present minute is over too
    editor.State().hourText = "24";
    EXPECT_EQ(editor.Confirm(Noon()), "Enter an integer between 0 and 23.");
    editor.State().hourText = "12";
    editor.State().minuteText = "60";
    EXPECT_EQ(editor.Confirm(Noon()), "Enter an integer between 0 and 59.");
    editor.State().minuteText = "a";
    EXPECT_EQ(editor.Confirm(Noon()), kNotIntegerText);
    editor.ChooseOccurrence(Every);
    editor.State().minuteText = "30";
    EXPECT_EQ(editor.Confirm(Noon()), kNoDayText);
    EXPECT_EQ(editor.Result().occurrence, OccurrenceNone);  // nothing taken while the checks fail

    editor.State().days[DayIndexOfCode(42)] = true;
    ASSERT_EQ(editor.Confirm(Noon()), "");
    EXPECT_EQ(editor.Result().drive, 3);
    EXPECT_EQ(editor.Result().days, (std::vector<int16_t>{42}));
    EXPECT_EQ(editor.Result().hour, 12);
    EXPECT_EQ(editor.Result().minute, 30);
}

TEST(JobEditorTest, SpaceJobStoresSortZeroEvenWhenASortWasPicked) {
    CJobEditor editor(EditorMode::Add, NewJob(2));
    editor.ChooseMethod(MethodComplete);
    editor.State().sortIndex = SortName;
    editor.ChooseMethod(MethodSpace);
    editor.ChooseOccurrence(Tomorrow);
    editor.State().days[3] = true;  // days count only for Every and Next
    editor.ChooseLogging(true);
    editor.State().logLevelIndex = 3;
    ASSERT_EQ(editor.Confirm(Noon()), "");
    EXPECT_EQ(editor.Result().method, MethodSpace);
    EXPECT_EQ(editor.Result().sort, SortBySettings);
    EXPECT_TRUE(editor.Result().days.empty());
    EXPECT_EQ(editor.Result().logLevel, 4);

    Job complete = editor.Result();
    complete.method = MethodComplete;
    complete.sort = SortLastModified;
    CJobEditor change(EditorMode::Change, complete);
    EXPECT_TRUE(change.SortEnabled());
    EXPECT_EQ(change.State().sortIndex, SortLastModified);
    EXPECT_TRUE(change.LogLevelEnabled());
    EXPECT_EQ(change.State().logLevelIndex, 3);
    ASSERT_EQ(change.Confirm(Noon()), "");
    EXPECT_EQ(change.Result().sort, SortLastModified);
}
