// SplitFileRebuildTest.cpp --- files a run left in more pieces go back together before it ends.
#include "engine/SplitFileRebuild.h"

#include "engine/Analysis.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {
namespace {

constexpr Lcn V = platform::kVirtualLcn;

class SplitFileRebuildTest : public EngineTest {
protected:
    // NTFS, 80 MB in 4 KB clusters, no MFT zone: free 376..9999 and 10113..19999.
    volume::CDefragJob& Analysed() {
        MakeVolume(SimFileSystem::Ntfs, 20000, 4096, 0);
        // Four units of 10 real clusters, whole; a plain file split in two.
        AddFile("PACKED.DAT", {{10, 2000}, {16, V}, {26, 2010}, {32, V}, {42, 2020}, {48, V}, {58, 2030}, {64, V}},
                1000000000, platform::SimFileKind::Compressed);
        AddFile("SPLIT.DAT", {{5, 3000}, {10, 3100}});
        auto& job = OpenJob();
        EXPECT_EQ(RunAnalysis(job, WorkerMark::Keep), 1);
        return job;
    }
    PassEnd Rebuild(volume::CDefragJob& job, const PieceCounts& before) {
        WorkingFile working(job);
        return RebuildSplitFiles(job, working, before);
    }
};

TEST_F(SplitFileRebuildTest, AFilePushedUpUnitByUnitGoesBackWholeToItsPlannedPlaceWhenItIsFree) {
    auto& job = Analysed();
    const PieceCounts before = CountPieces(job);
    volume::FileRecord& packed = *Record("PACKED.DAT");
    packed.SetPlannedLcn(4000);
    // A push-up moves its lowest unit to the end of the volume.
    ASSERT_EQ(MoveRange(job, &packed, 0, 19984, 16, CountUpdate::Yes), kMoved);
    ASSERT_EQ(PieceCount(packed), 2u);
    ASSERT_EQ(job.m_fragmentedFiles, 2u);

    EXPECT_EQ(Rebuild(job, before), PassEnd::Done);
    EXPECT_EQ(PieceCount(packed), 1u);
    EXPECT_EQ(FirstLcn(packed), 4000u);
    EXPECT_TRUE(packed.IsDone());
    EXPECT_EQ(job.m_fragmentedFiles, 1u);
    // A file in no more pieces than it had is left where it is.
    EXPECT_EQ(FirstLcn(*Record("SPLIT.DAT")), 3000u);
    ExpectConsistent();
}

TEST_F(SplitFileRebuildTest, APlannedPlaceTakenSendsTheFileToTheLowestRunThatHoldsIt) {
    auto& job = Analysed();
    const PieceCounts before = CountPieces(job);
    volume::FileRecord& split = *Record("SPLIT.DAT");
    split.SetPlannedLcn(2000);  // held by PACKED.DAT
    ASSERT_EQ(MoveRange(job, &split, 5, 19990, 5, CountUpdate::Yes), kMoved);
    ASSERT_EQ(MoveRange(job, &split, 0, 3500, 2, CountUpdate::Yes), kMoved);
    ASSERT_EQ(PieceCount(split), 3u);
    RefreshClusterBitmap(job);
    const auto lowest = job.m_clusterBitmap->FindFirstFit(0, 10, volume::SearchUnit::Cluster);
    ASSERT_TRUE(lowest);
    EXPECT_EQ(Rebuild(job, before), PassEnd::Done);
    EXPECT_EQ(PieceCount(split), 1u);
    EXPECT_EQ(FirstLcn(split), *lowest);
    EXPECT_FALSE(split.IsDone());
    ExpectConsistent();
}

}  // namespace
}  // namespace tarvo::engine::testing
