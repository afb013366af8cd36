// ScheduleCommandsTest.cpp --- the Job commands against a real Schedule service, the job list and the job
// tree.
#include "platform/services/ServiceClock.h"
#include "scheduler/JobText.h"
#include "scheduler/ScheduleCommands.h"
#include "scheduler/SchedulerTexts.h"
#include "tests/scheduler/windows/WindowsTestSupport.h"

using namespace tarvo::scheduler;
using PA = tarvo::scheduler::PromptAnswer;

namespace {

class ScheduleCommandsTest : public SchedulerWindowsTest {
protected:
    void SetUp() override {
        SchedulerWindowsTest::SetUp();
        MapSimDrive('C');
        MapSimDrive('D');
        ASSERT_TRUE(StartService());
        // The service is not configured for the desktop: OK; not automatic: No.
        prompt.Then(PA::Ok);
        prompt.Then(PA::No);
        ASSERT_TRUE(list.LoadJobs());
        prompt.asked.clear();
        jobTree.Fill(list.Jobs());
    }
    // An editor run that picks Every on the weekday and confirms like the OK button.
    EditorRunner EveryWeekday(int16_t dayCode, int16_t method = MethodSpace) {
        return [this, dayCode, method](CJobEditor& editor) {
            titles.push_back(editor.Title());
            editor.ChooseMethod(method);
            editor.ChooseOccurrence(Every);
            editor.State().days[DayIndexOfCode(dayCode)] = true;
            editor.State().hourText = "03";
            return editor.Confirm(tarvo::platform::ScheduleNow()).empty();
        };
    }
    void Select(TreeItem item) { tree.SelectItem(item); }
    std::vector<uint32_t> ListKeys() const {
        std::vector<uint32_t> keys;
        for (const Job& job : list.Jobs()) keys.push_back(job.key);
        return keys;
    }
    // The tree shows exactly the listed jobs of shown drives, each with its description.
    void ExpectTreeMatchesList() {
        EXPECT_EQ(JobKeys(tree), ListKeys());
        for (const Job& job : list.Jobs()) {
            const TreeItem item = jobTree.FindJobItem(job.key);
            ASSERT_NE(item, kNoItem);
            EXPECT_EQ(tree.ItemText(item), Describe(job, DescribeFor::Tree));
            EXPECT_EQ(tree.ItemImage(item), CJobTree::JobImage(job));
        }
    }

    ScriptedPrompt prompt;
    CScheduleConnection connection{prompt};
    CJobList list{connection};
    CMemoryTree tree;
    CJobTree jobTree{tree};
    std::vector<std::string> titles;
};

}  // namespace

TEST_F(ScheduleCommandsTest, AddTakesTheDriveOfTheSelectionAndCancelAddsNothing) {
    CScheduleCommands commands(list, jobTree, prompt, EveryWeekday(40));
    EXPECT_FALSE(commands.CanChange());
    EXPECT_TRUE(commands.CanRemoveAll());  // the root is selected
    Select(jobTree.FindDriveItem(3));
    commands.Add();
    ASSERT_EQ(list.Jobs().size(), 1u);
    // With the D job item selected, the next job is for D as well.
    Select(jobTree.FindJobItem(list.Jobs().back().key));
    EXPECT_TRUE(commands.CanChange());
    EXPECT_FALSE(commands.CanRemoveAll());
    commands.Add();
    Select(tree.RootItem());
    commands.Add();
    EXPECT_EQ(titles, (std::vector<std::string>{"Add a job for drive D:\\", "Add a job for drive D:\\",
                                                "Add a job for all drives."}));
    EXPECT_EQ(ServiceCommands(),
              (std::vector<std::string>{"C:\\TOOLS\\TARVODEFRAG /SPACE:D", "C:\\TOOLS\\TARVODEFRAG /SPACE:D",
                                        "C:\\TOOLS\\TARVODEFRAG /SPACE:ALL"}));
    ExpectTreeMatchesList();

    CScheduleCommands cancelled(list, jobTree, prompt, [](CJobEditor&) { return false; });
    cancelled.Add();
    EXPECT_EQ(list.Jobs().size(), 3u);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(ScheduleCommandsTest, ChangeRewritesTheJobAndItsItem) {
    Select(jobTree.FindDriveItem(2));
    CScheduleCommands(list, jobTree, prompt, EveryWeekday(40)).Add();
    const uint32_t key = list.Jobs().front().key;
    Select(jobTree.FindJobItem(key));
    CScheduleCommands change(list, jobTree, prompt, [this](CJobEditor& editor) {
        titles.push_back(editor.Title());
        EXPECT_EQ(editor.State().days[0], true);  // Monday, as stored
        editor.ChooseMethod(MethodComplete);
        editor.State().sortIndex = SortName;
        editor.ChooseLogging(true);
        return editor.Confirm(tarvo::platform::ScheduleNow()).empty();
    });
    change.Change();
    EXPECT_EQ(titles.back(), "Change parameters of job on drive C:\\");
    EXPECT_EQ(ServiceCommands(),
              (std::vector<std::string>{"C:\\TOOLS\\TARVODEFRAG /COMPLETE:C /SORT:NAME /LOG:1"}));
    EXPECT_EQ(tree.ItemText(jobTree.FindJobItem(key)), "Every Monday at 3:00h (LogLevel = 1)");
    ExpectTreeMatchesList();
}

TEST_F(ScheduleCommandsTest, RemoveAndRemoveAllAskWithNoMeaningKeep) {
    for (int16_t drive : {2, 3, 0, 1}) {
        Job job;
        job.drive = drive;
        job.method = MethodSpace;
        job.occurrence = Tomorrow;
        ASSERT_TRUE(list.AddJob(job));
    }
    jobTree.Fill(list.Jobs());
    CScheduleCommands commands(list, jobTree, prompt, EveryWeekday(40));
    Select(jobTree.FindJobItem(1001));
    commands.Remove();     // the cautious answer is No
    commands.RemoveAll();  // a job item: Remove all does nothing
    EXPECT_EQ(prompt.asked, (std::vector<std::string>{kRemoveJobQuestion}));
    EXPECT_EQ(list.Jobs().size(), 4u);
    prompt.Then(PA::Yes);
    commands.Remove();
    EXPECT_EQ(ListKeys(), (std::vector<uint32_t>{1002, 1003, 1004}));

    Select(jobTree.FindDriveItem(3));
    prompt.Then(PA::Yes);
    commands.RemoveAll();
    EXPECT_EQ(prompt.asked.back(), kRemoveDriveJobsQuestion);
    EXPECT_EQ(ListKeys(), (std::vector<uint32_t>{1003, 1004}));
    // The root removes every drive's jobs, the unshown B job's as well.
    Select(tree.RootItem());
    prompt.Then(PA::Yes);
    commands.RemoveAll();
    EXPECT_EQ(prompt.asked.back(), kRemoveAllJobsQuestion);
    EXPECT_TRUE(list.Jobs().empty());
    EXPECT_TRUE(ServiceCommands().empty());
    EXPECT_TRUE(JobKeys(tree).empty());
    EXPECT_EQ(Outline(tree).size(), 3u);
}

TEST_F(ScheduleCommandsTest, FailedChangeAndRemovalsAreReportedAndTheTreeKeepsMatchingTheList) {
    for (int16_t drive : {2, 3}) {
        Select(jobTree.FindDriveItem(drive));
        CScheduleCommands(list, jobTree, prompt, EveryWeekday(41)).Add();
    }
    ASSERT_EQ(list.Jobs().size(), 2u);
    ASSERT_TRUE(StopService());

    CScheduleCommands commands(list, jobTree, prompt, EveryWeekday(44, MethodComplete));
    Select(jobTree.FindJobItem(1001));
    commands.Change();
    prompt.Then(PA::Yes);
    commands.Remove();
    Select(tree.RootItem());
    prompt.Then(PA::Yes);
    commands.RemoveAll();
    Select(jobTree.FindDriveItem(2));
    commands.Add();
    EXPECT_EQ(prompt.asked,
              (std::vector<std::string>{kChangeFailedText, kRemoveJobQuestion, kRemoveFailedText,
                                        kRemoveAllJobsQuestion, kRemoveAllFailedText, kAddFailedText}));
    EXPECT_EQ(ListKeys(), (std::vector<uint32_t>{1001, 1002}));
    EXPECT_EQ(tree.ItemText(jobTree.FindJobItem(1001)), "Every Tuesday at 3:00h");
    ExpectTreeMatchesList();

    // Back up: the jobs are still there and go for good.
    ASSERT_TRUE(StartService());
    Select(jobTree.FindDriveItem(2));
    prompt.Then(PA::Yes);
    commands.RemoveAll();
    EXPECT_EQ(ListKeys(), (std::vector<uint32_t>{1002}));
    EXPECT_EQ(ServiceCommands(), (std::vector<std::string>{"C:\\TOOLS\\TARVODEFRAG /SPACE:D"}));
    ExpectTreeMatchesList();
}
