// PlacementPlanTest.cpp --- the sort orders and the placement plan with its gap filling, on small simulated volumes.
#include "engine/PlacementPlan.h"

#include <algorithm>
#include <cstdio>

#include "engine/Analysis.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {
namespace {

using volume::SortOrder;

class PlacementPlanTest : public EngineTest {
protected:
    // Analyses drive T, sorts its table and plans it; answers PlanPlacement's result.
    int AnalyseAndPlan(SortOrder order) {
        auto& job = OpenJob();
        EXPECT_EQ(RunAnalysis(job, WorkerMark::Keep), 1);
        job.m_fileTable->Sort(order);
        return PlanPlacement(job);
    }
    Lcn Planned(const std::string& path) {
        volume::FileRecord* record = Record(path);
        EXPECT_NE(record, nullptr) << path;
        return record ? record->PlannedLcn() : ~0ull;
    }
    std::vector<std::string> TableOrder() {
        std::vector<std::string> order;
        for (int64_t i = 0; i <= m_job->m_fileTable->LastIndex(); ++i)
            order.push_back(m_job->m_fileTable->Item(i)->Path());
        return order;
    }
    // Marks clusters as held by the system: a directory's own clusters belong to no listed file.
    void SystemClusters(const std::string& dir, std::vector<SimRun> runs) {
        ASSERT_EQ(m_volume->SetDirectoryRuns(Directory(dir), std::move(runs)), platform::STATUS_SUCCESS);
    }
};

TEST_F(PlacementPlanTest, NameOrderIgnoresCaseAndTimeOrderPutsTheOldestFirst) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("b.txt", {{3, 100}}, 1000);
    AddFile("A.txt", {{2, 200}}, 3000);
    AddFile("c.txt", {{4, 300}}, 2000);

    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 1);
    EXPECT_EQ(TableOrder(), (std::vector<std::string>{"T:\\A.txt", "T:\\b.txt", "T:\\c.txt"}));
    EXPECT_EQ(Planned("A.txt"), 0u);
    EXPECT_EQ(Planned("b.txt"), 2u);
    EXPECT_EQ(Planned("c.txt"), 5u);

    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByModificationTime), 1);
    EXPECT_EQ(TableOrder(), (std::vector<std::string>{"T:\\b.txt", "T:\\c.txt", "T:\\A.txt"}));
    EXPECT_EQ(Planned("b.txt"), 0u);
    EXPECT_EQ(Planned("c.txt"), 3u);
    EXPECT_EQ(Planned("A.txt"), 7u);
}

TEST_F(PlacementPlanTest, GapBeforeTheNextFitIsFilledWithLaterFilesThatFitEntirely) {
    MakeVolume(SimFileSystem::Fat, 4096);
    SystemClusters("SYS", {{1, 5}});  // cluster 5 is the system's: a 2-cluster gap at 3..4
    AddFile("F1", {{3, 1000}});
    AddFile("F2", {{5, 1100}});
    AddFile("F3", {{3, 1200}});  // too large for the gap
    AddFile("F4", {{2, 1300}});  // fits it exactly
    AddFile("F5", {{1, 1400}});

    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 1);
    EXPECT_EQ(Planned("F1"), 0u);
    EXPECT_EQ(Planned("F4"), 3u);
    // F2 is examined again after the gap and goes to its fit, the files after it follow.
    EXPECT_EQ(Planned("F2"), 6u);
    EXPECT_EQ(Planned("F3"), 11u);
    EXPECT_EQ(Planned("F5"), 14u);
}

TEST_F(PlacementPlanTest, GapsNoLaterFileFitsAreSteppedOverAndOneClusterGapsStayEmpty) {
    MakeVolume(SimFileSystem::Fat, 4096);
    SystemClusters("SYS", {{1, 5}, {2, 7}});  // gaps 3..4 (2 clusters) and 6 (1 cluster)
    AddFile("F1", {{3, 1000}});
    AddFile("F2", {{5, 1100}});
    AddFile("F3", {{3, 1200}});
    AddFile("F4", {{1, 1300}});  // would fit either gap, but the plan fills only gaps above one cluster

    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 1);
    EXPECT_EQ(Planned("F1"), 0u);
    EXPECT_EQ(Planned("F4"), 3u);
    EXPECT_EQ(Planned("F2"), 8u);
    EXPECT_EQ(Planned("F3"), 13u);
}

TEST_F(PlacementPlanTest, FilesInPlaceAreDoneDoneFilesKeepTheirPlaceAndEmptyFilesNeedNoRoom) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("A", {{4, 0}});                 // contiguous at its plan
    AddFile("B", {{2, 4}, {4, 50}});        // starts at its plan but is in pieces
    AddFile("C", {{3, 900}});               // kept where it is
    AddFile("D", {});                       // no clusters
    AddFile("E", {{2, 700}});
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job, WorkerMark::Keep), 1);
    job.m_fileTable->Sort(SortOrder::ByPath);
    Record("C")->SetDone(true);
    ASSERT_EQ(PlanPlacement(job), 1);

    EXPECT_EQ(Planned("A"), 0u);
    EXPECT_TRUE(Record("A")->IsDone());
    EXPECT_EQ(Planned("B"), 4u);
    EXPECT_FALSE(Record("B")->IsDone());
    EXPECT_EQ(Planned("C"), 900u);
    EXPECT_TRUE(Record("D")->IsDone());
    // C's clusters count as free to the plan; E follows B at the cursor.
    EXPECT_EQ(Planned("E"), 8u);
    EXPECT_FALSE(Record("E")->IsDone());
}

TEST_F(PlacementPlanTest, NtfsPlansFilesAtTheirSizeCompressedOnesInUnitsAndFillsTheGapBeforeTheMft) {
    auto& volume = MakeVolume(SimFileSystem::Ntfs, 20000);
    const platform::SimNtfsLayout layout = volume.NtfsLayout();
    // Files sit in the upper half, out of the way of the plan's first region.
    AddFile("BIG", {{400, 12000}}, 1000);
    // Two units: 10 real + 6 virtual, then 3 real + 13 virtual.
    AddFile("PACKED", {{10, 13200}, {16, volume::kVirtualLcn}, {19, 13210}, {32, volume::kVirtualLcn}}, 1000,
            platform::SimFileKind::Compressed);
    AddFile("SMALL1", {{5, 13000}}, 1000);
    AddFile("SMALL2", {{17, 13100}}, 1000);
    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 1);

    // The region before the MFT is too small for BIG: the later files fill it, the
    // compressed one in whole units (13 clusters take 16), the others at their size.
    const Lcn packed = Planned("PACKED");
    EXPECT_LT(packed, layout.mftStart);
    EXPECT_EQ(Planned("SMALL1"), packed + 16);
    EXPECT_EQ(Planned("SMALL2"), packed + 16 + 5);
    // BIG goes after the MFT zone, never into it.
    EXPECT_GT(Planned("BIG"), layout.mftZoneEnd);
}

TEST_F(PlacementPlanTest, NtfsVolumeWhoseFilesFitOnlyAtTheirOwnSizeGetsAPlan) {
    // Files of one to three clusters fill all but 100 of the free clusters of an NTFS
    // volume of 8,192 clusters without an MFT zone: over 3,000 of them, which in
    // 16-cluster slots would need six times the volume.
    auto& volume = MakeVolume(SimFileSystem::Ntfs, 8192, 4096, 0);
    std::vector<std::pair<Lcn, uint64_t>> free;
    for (Lcn lcn = 0; lcn < 8192;) {
        if (!volume.IsFree(lcn, 1)) {
            ++lcn;
            continue;
        }
        Lcn end = lcn;
        while (end < 8192 && volume.IsFree(end, 1)) ++end;
        free.push_back({lcn, end - lcn});
        lcn = end;
    }
    uint64_t room = 0;
    for (const auto& run : free) room += run.second;
    ASSERT_GT(room, 4000u);
    // Each file in a free run, lying backwards (the plan must move them), sizes 1, 2, 3, 1, 2, 3, ...
    int n = 0;
    uint64_t used = 0;
    for (auto run = free.rbegin(); run != free.rend() && used + 100 < room; ++run) {
        Lcn end = run->first + run->second;
        while (end > run->first && used + 100 < room) {
            const uint64_t size = std::min<uint64_t>(1 + n % 3, end - run->first);
            end -= size;
            char name[16];
            std::snprintf(name, sizeof name, "F%05d", n++);
            AddFile(name, {{size, end}}, 1000);
            used += size;
        }
    }
    ASSERT_GT(n, 3000);
    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 1);
    EXPECT_FALSE(Reported(app::MSG_DIAG_INFO, "Can't get Space in Checkand...2"));
    // Every file got a place of its own: no two plans overlap.
    std::vector<std::pair<Lcn, uint64_t>> plans;
    for (int64_t i = 0; i <= m_job->m_fileTable->LastIndex(); ++i) {
        const volume::FileRecord& file = *m_job->m_fileTable->Item(i);
        plans.push_back({file.PlannedLcn(), file.AllocatedClusters()});
    }
    std::sort(plans.begin(), plans.end());
    for (size_t i = 1; i < plans.size(); ++i) EXPECT_GE(plans[i].first, plans[i - 1].first + plans[i - 1].second);
}

TEST_F(PlacementPlanTest, NoRunForAFileMakesThePlanFailAndSaysWhichSearch) {
    MakeVolume(SimFileSystem::Fat, 4096);
    // A system cluster every 6 clusters over the whole volume: no 8 free clusters anywhere.
    std::vector<SimRun> system;
    for (uint64_t lcn = 5, n = 0; lcn < 4096; lcn += 6) system.push_back({++n, lcn});
    SystemClusters("SYS", system);
    AddFile("SPLIT", {{4, 0}, {8, 6}});
    ASSERT_EQ(AnalyseAndPlan(SortOrder::ByPath), 0);
    EXPECT_TRUE(Reported(app::MSG_DIAG_INFO, "Can't get Space in Checkand...2"));
}

}  // namespace
}  // namespace tarvo::engine::testing
