// ClusterBitmapTest.cpp --- registration, the extent start index, cluster states and the NTFS search rules.
#include "volume/ClusterBitmap.h"

#include <gtest/gtest.h>

#include "tests/volume/support/ScriptedDrive.h"
#include "volume/FileRecord.h"

namespace tarvo::volume {
namespace {

using testing::ScriptedDriveTest;

class ClusterBitmapTest : public ScriptedDriveTest {
protected:
    // Opens the job on the attached volume and builds its bitmap.
    CClusterBitmap& Build() {
        EXPECT_EQ(Open(), 1);
        m_job.m_clusterBitmap = std::make_unique<CClusterBitmap>();
        EXPECT_EQ(m_job.m_clusterBitmap->Init(m_job), 1);
        return *m_job.m_clusterBitmap;
    }
    std::unique_ptr<FileRecord> Record(std::vector<Pair> pairs) {
        auto r = std::make_unique<FileRecord>("T:\\F", RecordKind::Directory);
        r->CreatePairMap(static_cast<uint32_t>(pairs.size()));
        for (uint32_t i = 0; i < pairs.size(); ++i) r->SetPair(i, pairs[i].nextVcn, pairs[i].lcn);
        return r;
    }
    void SetZone(Lcn first, Lcn last) {
        m_job.m_mftReservedStart = first;
        m_job.m_mftReservedEnd = last;
    }
};

TEST_F(ClusterBitmapTest, RegisteringClearsSystemBitsAndIndexesExtentStarts) {
    auto& volume = Attach(1024);
    volume.SetAllocated(100, 20, true);
    volume.SetAllocated(300, 10, true);
    volume.SetAllocated(600, 5, true);  // owned by no file: system
    auto& bitmap = Build();
    auto file = Record({{20, 100}, {30, kVirtualLcn}, {40, 300}});
    ASSERT_TRUE(bitmap.RegisterFile(*file));
    EXPECT_FALSE(bitmap.Bit(ClusterMap::System, 119));
    EXPECT_FALSE(bitmap.Bit(ClusterMap::System, 309));
    EXPECT_TRUE(bitmap.Bit(ClusterMap::System, 600));
    EXPECT_TRUE(bitmap.Bit(ClusterMap::Start, 100));
    EXPECT_TRUE(bitmap.Bit(ClusterMap::Start, 300));
    EXPECT_FALSE(bitmap.Bit(ClusterMap::Start, 120));  // the virtual pair adds no clusters
    EXPECT_EQ(bitmap.IndexSize(), 2u);
    EXPECT_EQ(bitmap.FindFileAt(305), file.get());
    EXPECT_EQ(bitmap.FindFileAt(310), nullptr);
    EXPECT_EQ(bitmap.FindFileAt(602), nullptr);
    EXPECT_TRUE(bitmap.IsFileCluster(100));
    EXPECT_FALSE(bitmap.IsFileCluster(600));

    // A second file sharing the first extent cluster is not indexed again.
    auto twin = Record({{5, 100}});
    EXPECT_TRUE(bitmap.RegisterFile(*twin));
    EXPECT_EQ(bitmap.IndexLookup(100), file.get());
    EXPECT_EQ(bitmap.IndexSize(), 2u);

    bitmap.UnregisterFile(*file);
    EXPECT_EQ(bitmap.IndexSize(), 0u);
    EXPECT_FALSE(bitmap.Bit(ClusterMap::Start, 300));
    EXPECT_FALSE(bitmap.Bit(ClusterMap::Allocation, 305));
}

TEST_F(ClusterBitmapTest, ExtentsPastTheVolumeEndAreClipped) {
    Attach(64);
    auto& bitmap = Build();
    auto file = Record({{10, 60}, {20, 1000}});
    EXPECT_TRUE(bitmap.RegisterMovedFile(*file));
    EXPECT_TRUE(bitmap.Bit(ClusterMap::Allocation, 63));
    EXPECT_EQ(bitmap.IndexLookup(1000), nullptr);
}

TEST_F(ClusterBitmapTest, IndexKeepsWorkingWithZeroBuckets) {
    auto& volume = Attach(256);
    volume.SetAllocated(16, 4, true);
    auto& bitmap = Build();
    bitmap.SetIndexSize(0);
    EXPECT_EQ(bitmap.IndexBuckets(), 1u);
    auto file = Record({{4, 16}});
    ASSERT_TRUE(bitmap.RegisterFile(*file));
    EXPECT_EQ(bitmap.FindFileAt(19), file.get());
}

TEST_F(ClusterBitmapTest, ClusterStatesCoverFilesSystemZoneAndLateAllocations) {
    auto& volume = Attach(1024);
    volume.SetAllocated(100, 10, true);
    volume.SetAllocated(200, 10, true);
    volume.SetAllocated(400, 8, true);  // system
    auto& bitmap = Build();
    SetZone(512, 767);
    auto file = Record({{10, 100}, {20, 200}});
    ASSERT_TRUE(bitmap.RegisterFile(*file));
    ASSERT_TRUE(file->IsFragmented());
    Lcn end = 1;
    EXPECT_EQ(bitmap.ClusterState(203, end), kStateFragmented);
    EXPECT_EQ(end, 209u);
    EXPECT_EQ(bitmap.ClusterState(205, end), kStateFragmented);  // from the cache
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(bitmap.ClusterState(401, end), kClusterSystem);
    EXPECT_EQ(end, 407u);
    EXPECT_EQ(bitmap.ClusterState(13, end), kClusterFree);  // free, not a multiple of 8
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(bitmap.ClusterState(16, end), kClusterFree);
    EXPECT_EQ(end, 88u);  // the byte at 96 holds the file's first cluster
    EXPECT_EQ(bitmap.ClusterState(515, end), kClusterMftZone);
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(bitmap.ClusterState(520, end), kClusterMftZone);
    EXPECT_EQ(end, 760u);
    EXPECT_EQ(bitmap.ClusterState(480, end), kClusterFree);  // a free run stops before the zone
    EXPECT_EQ(end, 504u);

    file->MarkWorking();
    bitmap.Refresh();
    EXPECT_EQ(bitmap.ClusterState(100, end), kStateWorking);

    volume.SetAllocated(900, 3, true);  // taken by another program since the analysis
    bitmap.Refresh();
    EXPECT_EQ(bitmap.ClusterState(901, end), kClusterTempSystem);
    EXPECT_EQ(bitmap.VolumeClusterState(901, end), kClusterAllocated);
    EXPECT_EQ(end, 902u);
    EXPECT_EQ(bitmap.VolumeClusterState(600, end), kClusterMftZone);
    EXPECT_EQ(bitmap.VolumeClusterState(0, end), kClusterFree);
    EXPECT_EQ(end, 88u);
}

TEST_F(ClusterBitmapTest, NtfsSearchesRoundToSixteenAndSkipTheZone) {
    auto& volume = Attach(4096);
    volume.SetAllocated(0, 4096, true);
    volume.SetAllocated(1000, 5, false);   // 5 free: too short once rounded
    volume.SetAllocated(1104, 16, false);  // exactly 16, aligned
    volume.SetAllocated(2000, 100, false); // inside the zone below
    volume.SetAllocated(3003, 40, false);  // 3003..3042: aligned 16 only at 3008 and 3024
    auto& bitmap = Build();
    SetZone(1990, 2200);
    EXPECT_EQ(bitmap.FindFirstFit(0, 5), std::optional<Lcn>(1104));
    EXPECT_EQ(bitmap.FindFirstFit(1105, 16), std::optional<Lcn>(3003));
    EXPECT_EQ(bitmap.FindFirstFit(2000, 32), std::optional<Lcn>(3003));
    EXPECT_EQ(bitmap.FindFirstFit(0, 33), std::nullopt);  // 48 wanted, 40 free at most
    EXPECT_EQ(bitmap.FindLastFit(0, 16), std::optional<Lcn>(3024));
    EXPECT_EQ(bitmap.FindLastFit(0, 17), std::optional<Lcn>(3008));  // 32 wanted
    Lcn cursor = 3020;  // 3003..3020 holds no aligned run of 16
    EXPECT_EQ(bitmap.FindLastFitFrom(0, 16, cursor), std::optional<Lcn>(1104));
    EXPECT_EQ(cursor, 1104u);
    EXPECT_EQ(bitmap.IsFreeRunAt(1104, 3), std::optional<Lcn>(1104));
    EXPECT_EQ(bitmap.IsFreeRunAt(1105, 3), std::nullopt);
    EXPECT_EQ(bitmap.IsFreeRunAt(4090, 1), std::nullopt);
    uint64_t longest = 0;
    EXPECT_EQ(bitmap.FindFirstFitInRange(0, 2999, 32, longest), std::nullopt);
    EXPECT_EQ(longest, 16u);
}

TEST_F(ClusterBitmapTest, NtfsSearchesInClustersTakeTheLengthAsGivenAndStillSkipTheZone) {
    auto& volume = Attach(4096);
    volume.SetAllocated(0, 4096, true);
    volume.SetAllocated(1000, 5, false);   // 5 free: enough for a file of 5 clusters
    volume.SetAllocated(2000, 100, false); // inside the zone below
    volume.SetAllocated(3003, 40, false);  // 3003..3042
    auto& bitmap = Build();
    SetZone(1990, 2200);
    constexpr SearchUnit kClusters = SearchUnit::Cluster;
    EXPECT_EQ(bitmap.FindFirstFit(0, 5, kClusters), std::optional<Lcn>(1000));
    EXPECT_EQ(bitmap.FindFirstFit(0, 6, kClusters), std::optional<Lcn>(3003));
    EXPECT_EQ(bitmap.FindFirstFit(2000, 40, kClusters), std::optional<Lcn>(3003));
    EXPECT_EQ(bitmap.FindFirstFitNonSystem(0, 5, kClusters), std::optional<Lcn>(1000));
    // The highest run, not 16-aligned: a file that moves cluster by cluster may start anywhere.
    EXPECT_EQ(bitmap.FindLastFit(0, 17, kClusters), std::optional<Lcn>(3026));
    EXPECT_EQ(bitmap.FindLastFit(0, 40, kClusters), std::optional<Lcn>(3003));
    Lcn cursor = 3020;
    EXPECT_EQ(bitmap.FindLastFitFrom(0, 5, cursor, kClusters), std::optional<Lcn>(3016));
    EXPECT_EQ(cursor, 3016u);
    EXPECT_EQ(bitmap.FindLastFit(0, 41, kClusters), std::nullopt);
    EXPECT_EQ(bitmap.IsFreeRunAt(1000, 5, kClusters), std::optional<Lcn>(1000));
    EXPECT_EQ(bitmap.IsFreeRunAt(1000, 6, kClusters), std::nullopt);
    EXPECT_EQ(bitmap.IsFreeRunAt(1000, 5), std::nullopt);  // in units: 16 wanted
    uint64_t longest = 0;
    EXPECT_EQ(bitmap.FindFirstFitInRange(0, 2999, 5, longest, kClusters), std::optional<Lcn>(1000));
    EXPECT_EQ(bitmap.FindFirstFitInRange(0, 2999, 6, longest, kClusters), std::nullopt);
    EXPECT_EQ(longest, 5u);  // the zone's 100 free clusters are no run
}

TEST_F(ClusterBitmapTest, FatSearchesTakeTheLengthAsGiven) {
    auto& volume = Attach(4096, "FAT", 512);
    volume.SetAllocated(0, 4096, true);
    volume.SetAllocated(1000, 5, false);
    volume.SetAllocated(3003, 40, false);
    auto& bitmap = Build();
    EXPECT_EQ(bitmap.FindFirstFit(0, 5), std::optional<Lcn>(1000));
    EXPECT_EQ(bitmap.FindLastFit(0, 17), std::optional<Lcn>(3026));
}

TEST_F(ClusterBitmapTest, FreeRunDownStaysInTheUpperHalf) {
    auto& volume = Attach(1000);
    volume.SetAllocated(0, 1000, true);
    volume.SetAllocated(100, 50, false);  // below the half: never seen
    volume.SetAllocated(495, 10, false);  // 495..504 straddles the half (500)
    auto& bitmap = Build();
    uint64_t length = 32;
    EXPECT_EQ(bitmap.FindFreeRunDown(999, length), std::optional<Lcn>(500));
    EXPECT_EQ(length, 5u);
    length = 16;
    EXPECT_EQ(bitmap.FindFreeRunDown(499, length), std::nullopt);
}

TEST_F(ClusterBitmapTest, NonSystemRunMustBeEndedByASystemCluster) {
    auto& volume = Attach(512, "FAT", 512);
    volume.SetAllocated(0, 10, true);
    volume.SetAllocated(40, 10, true);
    auto& bitmap = Build();
    uint64_t length = 0;
    EXPECT_EQ(bitmap.FindNonSystemRun(0, length), std::optional<Lcn>(10));
    EXPECT_EQ(length, 30u);
    EXPECT_EQ(bitmap.FindNonSystemRun(45, length), std::nullopt);
    EXPECT_EQ(bitmap.FindHighestFileCluster(511), std::nullopt);
    auto file = Record({{10, 40}});
    ASSERT_TRUE(bitmap.RegisterFile(*file));
    EXPECT_EQ(bitmap.FindHighestFileCluster(511), std::optional<Lcn>(49));
    EXPECT_EQ(bitmap.FindFirstFitNonSystem(10, 40), std::optional<Lcn>(10));
}

}  // namespace
}  // namespace tarvo::volume
