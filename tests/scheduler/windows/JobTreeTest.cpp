// JobTreeTest.cpp --- filling the job tree from the drives the drive layer shows, and changing it item by
// item.
#include "scheduler/JobText.h"
#include "scheduler/JobTree.h"
#include "tests/scheduler/windows/WindowsTestSupport.h"

using namespace tarvo::scheduler;
using tarvo::platform::DRIVE_FIXED;
using tarvo::platform::DRIVE_REMOVABLE;
using tarvo::platform::SimFileSystem;

namespace {

Job ListedJob(uint32_t key, int16_t drive, int16_t method, int logLevel = 0) {
    Job job;
    job.key = key;
    job.drive = drive;
    job.method = method;
    job.occurrence = Every;
    job.days = {40, 44};
    job.hour = 3;
    job.minute = 5;
    job.logging = logLevel > 0;
    job.logLevel = logLevel;
    return job;
}

class JobTreeTest : public SchedulerWindowsTest {};

}  // namespace

TEST_F(JobTreeTest, FillShowsRootAllDriveJobsThenShownDrivesCToZWithTheirJobs) {
    MapSimDrive('A');
    MapSimDrive('B');
    MapSimDrive('D');
    MapSimDrive('E', DRIVE_REMOVABLE, SimFileSystem::Fat);
    MapSimDrive('Z', DRIVE_FIXED, SimFileSystem::Fat32);
    const std::list<Job> jobs = {ListedJob(1001, 3, MethodComplete, 2), ListedJob(1002, 1, MethodSpace),
                                 ListedJob(1003, 0, MethodSpace), ListedJob(1004, 4, MethodSpace),
                                 ListedJob(1005, 3, MethodSpace)};
    CMemoryTree tree;
    CJobTree jobTree(tree);
    jobTree.Fill(jobs);
    // A and B never show, nor the job of B; E is removable and the setting is off.
    EXPECT_EQ(Outline(tree), (std::vector<std::string>{
                                 "My Computer|0|0",
                                 "  Every Monday, Friday at 3:05h|2|1003",
                                 "  D:\\    (NTFS)|1|3",
                                 "    Every Monday, Friday at 3:05h (LogLevel = 2)|3|1001",
                                 "    Every Monday, Friday at 3:05h|2|1005",
                                 "  Z:\\    (FAT32)|1|25",
                             }));
    EXPECT_TRUE(tree.IsExpanded(tree.RootItem()));
    EXPECT_TRUE(tree.IsExpanded(jobTree.FindDriveItem(3)));
    EXPECT_EQ(jobTree.SelectedKind(), TreeItemKind::Root);

    tarvo::platform::WriteProfileInt("Settings", "RemovableDrives", 1);
    jobTree.Fill(jobs);
    const auto outline = Outline(tree);
    ASSERT_EQ(outline.size(), 8u);
    EXPECT_EQ(outline[5], "  E:\\    (FAT)|1|4");
    EXPECT_EQ(outline[6], "    Every Monday, Friday at 3:05h|2|1004");
}

TEST_F(JobTreeTest, ItemsAreAddedUpdatedAndRemovedByKeyAndDrive) {
    MapSimDrive('C');
    MapSimDrive('D');
    CMemoryTree tree;
    CJobTree jobTree(tree);
    jobTree.Fill({ListedJob(1001, 2, MethodSpace), ListedJob(1002, 3, MethodSpace)});

    EXPECT_TRUE(jobTree.AddJobItem(ListedJob(1003, 3, MethodComplete)));
    EXPECT_TRUE(jobTree.AddJobItem(ListedJob(1004, 0, MethodSpace)));
    EXPECT_FALSE(jobTree.AddJobItem(ListedJob(1005, 7, MethodSpace)));  // H: is not shown
    EXPECT_EQ(JobKeys(tree),
              (std::vector<uint32_t>{1001, 1002, 1003, 1004}));  // the new all-drives job comes last
    EXPECT_EQ(tree.ParentItem(jobTree.FindJobItem(1003)), jobTree.FindDriveItem(3));

    Job changed = ListedJob(1002, 3, MethodComplete, 4);
    changed.occurrence = Today;
    changed.days.clear();
    ASSERT_TRUE(jobTree.UpdateJobItem(changed));
    EXPECT_EQ(tree.ItemText(jobTree.FindJobItem(1002)), "Today at 3:05h (LogLevel = 4)");
    EXPECT_EQ(tree.ItemImage(jobTree.FindJobItem(1002)), ImageCompleteJob);

    // A job item's drive is its parent's; the kinds follow the item data.
    tree.SelectItem(jobTree.FindJobItem(1003));
    EXPECT_EQ(jobTree.SelectedKind(), TreeItemKind::Job);
    EXPECT_EQ(jobTree.SelectedDrive(), 3);
    tree.SelectItem(jobTree.FindJobItem(1004));
    EXPECT_EQ(jobTree.SelectedDrive(), 0);
    tree.SelectItem(jobTree.FindDriveItem(2));
    EXPECT_EQ(jobTree.SelectedKind(), TreeItemKind::Drive);
    EXPECT_EQ(jobTree.SelectedDrive(), 2);

    jobTree.RemoveJobItems(3);
    EXPECT_EQ(JobKeys(tree), (std::vector<uint32_t>{1001, 1004}));
    jobTree.RemoveJobItem(1004);
    EXPECT_EQ(JobKeys(tree), (std::vector<uint32_t>{1001}));
    jobTree.AddJobItem(ListedJob(1006, 0, MethodSpace));
    jobTree.RemoveJobItems(0);
    EXPECT_TRUE(JobKeys(tree).empty());
    EXPECT_EQ(Outline(tree).size(), 3u);  // the root and both drives stay
}

TEST_F(JobTreeTest, ADriveWhoseVolumeDoesNotOpenIsNotShownNorAreItsJobs) {
    MapSimDrive('C');
    tarvo::platform::SimVolumeShape shape;
    shape.totalClusters = 4096;
    std::string error;
    auto volume = tarvo::platform::SimVolume::Create(shape, error);
    ASSERT_TRUE(volume) << error;
    const std::string path = m_root + "/f.sim";
    ASSERT_TRUE(volume->SaveAs(path, error)) << error;
    ASSERT_TRUE(tarvo::platform::MapDrive('F', path, error)) << error;
    CMemoryTree tree;
    CJobTree jobTree(tree);
    const std::list<Job> jobs = {ListedJob(1001, 5, MethodSpace)};
    jobTree.Fill(jobs);
    ASSERT_NE(jobTree.FindDriveItem(5), kNoItem);
    volume.reset();
    tarvo::platform::ReleaseCachedBackends();
    std::filesystem::remove(path);
    jobTree.Fill(jobs);
    EXPECT_EQ(Outline(tree), (std::vector<std::string>{"My Computer|0|0", "  C:\\    (NTFS)|1|2"}));
}
