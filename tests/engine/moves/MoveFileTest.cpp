// MoveFileTest.cpp --- move policies: per-call cap, whole file then pieces, stalls and limits, stop, write protection, push up.
#include "engine/MoveFile.h"

#include "engine/Analysis.h"
#include "engine/PlacementPlan.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {
namespace {

constexpr Lcn V = platform::kVirtualLcn;

class MoveFileTest : public EngineTest {
protected:
    // NTFS, 80 MB in 4 KB clusters, no MFT zone: free 376..9999 and 10113..19999.
    SimVolume& Ntfs() { return MakeVolume(SimFileSystem::Ntfs, 20000, 4096, 0); }
    SimVolume& Fat() { return MakeVolume(SimFileSystem::Fat, 4096); }

    volume::CDefragJob& Analysed() {
        auto& job = OpenJob();
        EXPECT_EQ(RunAnalysis(job), 1);
        job.m_gate.Start();
        return job;
    }
    std::vector<SimRun> Runs(const std::string& path) {
        FileId id = 0;
        EXPECT_EQ(m_volume->Lookup(path, id), platform::STATUS_SUCCESS);
        return m_volume->Runs(id);
    }
};

TEST_F(MoveFileTest, OneCallCarriesAtMost1220ClustersOnNtfsAndAnyCountOnFat) {
    Ntfs();
    AddFile("BIG.DAT", {{5000, 3000}});
    auto& job = Analysed();
    EXPECT_EQ(CappedMoveCount(job, *Record("BIG.DAT"), 5000), 1220u);
    ASSERT_EQ(MoveRange(job, Record("BIG.DAT"), 0, 12000, 5000, CountUpdate::No), kMoved);
    EXPECT_EQ(Runs("BIG.DAT"), (std::vector<SimRun>{{1220, 12000}, {5000, 4220}}));
    // The record and the bitmap follow the file.
    EXPECT_EQ(job.m_clusterBitmap->FindFileAt(12000), Record("BIG.DAT"));
    EXPECT_EQ(Record("BIG.DAT")->PairCount(), 2u);
    ExpectConsistent();

    MakeVolume(SimFileSystem::Fat, 16000);
    AddFile("BIG.DAT", {{5000, 1000}});
    auto& fat = Analysed();
    ASSERT_EQ(MoveRange(fat, Record("BIG.DAT"), 0, 8000, 5000, CountUpdate::No), kMoved);
    EXPECT_EQ(Runs("BIG.DAT"), (std::vector<SimRun>{{5000, 8000}}));
}

TEST_F(MoveFileTest, ACompressedFileLargerThanOneCallMovesWholeInCappedCallsOfWholeUnits) {
    Ntfs();
    // 100 units of 12 real and 4 virtual clusters: 1,600 VCNs in two pieces. A
    // call of 1,220 clusters would end inside a unit, which NTFS refuses.
    std::vector<SimRun> runs;
    for (Vcn unit = 0; unit < 100; ++unit) {
        const Lcn piece = unit < 50 ? 1000 + 12 * unit : 5000 + 12 * (unit - 50);
        runs.push_back({16 * unit + 12, piece});
        runs.push_back({16 * unit + 16, V});
    }
    AddFile("PACKED.DAT", runs, 1000000000, platform::SimFileKind::Compressed);
    auto& job = Analysed();
    EXPECT_EQ(CappedMoveCount(job, *Record("PACKED.DAT"), 5000), 1216u);
    ASSERT_EQ(MoveFileTo(job, Record("PACKED.DAT"), 12000), kMoved);
    EXPECT_FALSE(Record("PACKED.DAT")->IsFragmented());
    Lcn expected = 12000;
    for (const SimRun& run : Runs("PACKED.DAT")) {
        if (run.lcn == V) continue;
        EXPECT_EQ(run.lcn, expected);
        expected += 12;
    }
    EXPECT_EQ(expected, 12000u + 1200u);
    ExpectConsistent();
}

TEST_F(MoveFileTest, ACompressedFileOfManyUnitsIsNotGivenUpForWalkingItsPiecesInPlace) {
    Ntfs();
    // 400 units of 12 real clusters, one piece per unit, in two halves. Unit 303
    // is full, so the call that brings unit 304 after it joins the two into one
    // extent, and the placement starts again from the front: the 304 pieces
    // already in place must not count as 304 passes without progress.
    std::vector<SimRun> runs;
    Lcn lcn[2] = {1000, 5000};
    for (Vcn unit = 0; unit < 400; ++unit) {
        Lcn& next = lcn[unit < 200 ? 0 : 1];
        const uint64_t real = unit == 303 ? 16 : 12;
        runs.push_back({16 * unit + real, next});
        if (real < 16) runs.push_back({16 * unit + 16, V});
        next += real;
    }
    AddFile("PACKED.DAT", runs, 1000000000, platform::SimFileKind::Compressed);
    auto& job = Analysed();
    ASSERT_EQ(MoveFileTo(job, Record("PACKED.DAT"), 12000), kMoved);
    EXPECT_FALSE(Record("PACKED.DAT")->IsFragmented());
    EXPECT_EQ(FirstLcn(*Record("PACKED.DAT")), 12000u);
    ExpectConsistent();
}

TEST_F(MoveFileTest, MoveFileToMakesAFragmentedFileWholeAtTheTargetAndKeepsTheCount) {
    for (SimFileSystem fs : {SimFileSystem::Fat, SimFileSystem::Ntfs}) {
        SCOPED_TRACE(fs == SimFileSystem::Ntfs ? "NTFS" : "FAT");
        m_view.Clear();
        // On NTFS the file is larger than one call may carry, so the placement goes on in pieces.
        const uint64_t piece = fs == SimFileSystem::Ntfs ? 2000 : 300;
        MakeVolume(fs, 20000, 4096, 0);
        AddFile("DOCS\\SPLIT.DAT", {{piece, 1000}, {2 * piece, 5000}, {3 * piece, 8000}});
        auto& job = Analysed();
        ASSERT_EQ(job.m_fragmentedFiles, 1u);
        ASSERT_EQ(MoveFileTo(job, Record("DOCS\\SPLIT.DAT"), 12000), kMoved);
        EXPECT_EQ(Runs("DOCS\\SPLIT.DAT"), (std::vector<SimRun>{{3 * piece, 12000}}));
        EXPECT_EQ(job.m_fragmentedFiles, 0u);
        const auto counts = m_view.Events(volume::UM_SET_FRAG_COUNT);
        ASSERT_FALSE(counts.empty());
        EXPECT_EQ(counts.back().value, 0);
        EXPECT_FALSE(job.m_clusterBitmap->IsFileCluster(1000));
        ExpectConsistent();
    }
}

TEST_F(MoveFileTest, FrontAlreadyAtTheTargetStaysAndOnlyTheRestMoves) {
    Fat();
    AddFile("A.DAT", {{10, 500}, {20, 900}});
    auto& job = Analysed();
    const uint64_t before = m_volume->CompletedMoves();
    ASSERT_EQ(MoveFileTo(job, Record("A.DAT"), 500), kMoved);
    EXPECT_EQ(Runs("A.DAT"), (std::vector<SimRun>{{20, 500}}));
    EXPECT_EQ(m_volume->CompletedMoves() - before, 1u);
    ExpectConsistent();
}

TEST_F(MoveFileTest, TargetTakenForGoodGivesUpAfter300PassesKeepingTheClusters) {
    Fat();
    AddFile("A.DAT", {{10, 1000}, {20, 2000}});
    AddFile("BLOCKER.DAT", {{1, 110}});
    auto& job = Analysed();
    ASSERT_EQ(MoveFileTo(job, Record("A.DAT"), 100), kMoveGaveUp);
    // The piece that could move did; the other kept its clusters.
    EXPECT_EQ(Runs("A.DAT"), (std::vector<SimRun>{{10, 100}, {20, 2000}}));
    EXPECT_EQ(Runs("BLOCKER.DAT"), (std::vector<SimRun>{{1, 110}}));
    bool waited = false;
    for (const auto& e : m_view.Events(volume::UM_SET_STATUS_TEXT)) waited |= e.text == "T:\\A.DAT (W)";
    EXPECT_TRUE(waited);
    ExpectConsistent();
}

TEST_F(MoveFileTest, PiecesFoundInPlaceAgainAfterARestartDoNotHoldOffTheLimit) {
    Ntfs();
    // A sparse file whose first two real runs already lie at the target; the last
    // one's place is taken. Each restart finds the second run in place again.
    AddFile("SPARSE.DAT", {{16, 1000}, {32, V}, {48, 1016}, {64, V}, {80, 5000}}, 1000000000,
            platform::SimFileKind::Sparse);
    AddFile("BLOCKER.DAT", {{1, 1032}});
    auto& job = Analysed();
    ASSERT_EQ(MoveFileTo(job, Record("SPARSE.DAT"), 1000), kMoveGaveUp);
    EXPECT_EQ(Runs("SPARSE.DAT"), (std::vector<SimRun>{{16, 1000}, {32, V}, {48, 1016}, {64, V}, {80, 5000}}));
    ExpectConsistent();
}

TEST_F(MoveFileTest, StopNeverLeavesAWholeFileInPieces) {
    Ntfs();
    AddFile("WHOLE.DAT", {{5000, 3000}});
    AddFile("SPLIT.DAT", {{10, 400}, {20, 600}});
    auto& job = Analysed();
    job.m_gate.Stop();
    // The whole-file call carries only 1,220 clusters; the placement goes on until the file is whole.
    EXPECT_EQ(MoveFileTo(job, Record("WHOLE.DAT"), 12000), kMoveStopped);
    EXPECT_EQ(Runs("WHOLE.DAT"), (std::vector<SimRun>{{5000, 12000}}));
    // A file that was in pieces is left as it is after the whole-file attempt.
    AddFile("BLOCK.DAT", {{1, 17010}});
    EXPECT_EQ(MoveFileTo(job, Record("SPLIT.DAT"), 17000), kMoveStopped);
    EXPECT_EQ(Runs("SPLIT.DAT"), (std::vector<SimRun>{{10, 400}, {20, 600}}));
    ExpectConsistent();
}

TEST_F(MoveFileTest, WriteProtectionIsHandedUpAtOnce) {
    auto& volume = Ntfs();
    AddFile("SPLIT.DAT", {{40, 3000}, {80, 5000}});
    auto& job = Analysed();
    platform::SimFaults faults;
    faults.writeProtected = true;
    volume.SetFaults(faults);
    const uint64_t before = volume.CompletedMoves();
    EXPECT_EQ(MoveRange(job, Record("SPLIT.DAT"), 0, 12000, 40, CountUpdate::Yes), kMoveWriteProtected);
    EXPECT_EQ(MoveFileTo(job, Record("SPLIT.DAT"), 12000), kMoveWriteProtected);
    EXPECT_EQ(PushFileUp(job, Record("SPLIT.DAT"), job.m_totalClusters), kMoveWriteProtected);
    EXPECT_EQ(volume.CompletedMoves(), before);
}

TEST_F(MoveFileTest, FilesThatDoNotOpenAnswer13) {
    auto& volume = Fat();
    AddFile("LOCKED.DAT", {{4, 100}, {8, 200}});
    auto& job = Analysed();
    platform::SimFaults faults;
    faults.unopenable = {"LOCKED.DAT"};
    volume.SetFaults(faults);
    EXPECT_EQ(MoveRange(job, Record("LOCKED.DAT"), 0, 1000, 8, CountUpdate::No), kMoveCannotOpen);
    EXPECT_EQ(MoveFileTo(job, Record("LOCKED.DAT"), 1000), kMoveCannotOpen);
    EXPECT_EQ(MoveRange(job, nullptr, 0, 1000, 8, CountUpdate::No), kMoveFailed);
    EXPECT_EQ(MoveRange(job, Record("LOCKED.DAT"), ~Vcn{0}, 1000, 8, CountUpdate::No), kMoveInvalidParameter);
}

TEST_F(MoveFileTest, MoveFollowingExtentsAppendsTheNextExtentsAfterTheFirst) {
    Fat();
    AddFile("A.DAT", {{4, 100}, {8, 200}, {12, 300}});
    auto& job = Analysed();
    EXPECT_EQ(MoveFollowingExtents(job, Record("A.DAT"), 4, 1000, 4, CountUpdate::Yes), kMoved);
    EXPECT_EQ(Runs("A.DAT"), (std::vector<SimRun>{{4, 100}, {12, 1000}}));
    ExpectConsistent();
}

TEST_F(MoveFileTest, PushFileUpLiftsTheLowestPiecesTowardsTheEnd) {
    Ntfs();
    AddFile("SPLIT.DAT", {{32, 3000}, {64, 3500}, {96, 3600}});
    AddFile("BIG.DAT", {{2000, 400}, {5000, 4000}});
    auto& job = Analysed();
    ASSERT_EQ(PushFileUp(job, Record("SPLIT.DAT"), job.m_totalClusters), 1u);
    for (const SimRun& run : Runs("SPLIT.DAT")) EXPECT_GE(run.lcn, 10113u);
    // A piece larger than one call may carry arrives whole, not in reversed chunks.
    ASSERT_EQ(PushFileUp(job, Record("BIG.DAT"), job.m_totalClusters), 1u);
    const auto runs = Runs("BIG.DAT");
    EXPECT_LE(runs.size(), 2u);
    for (const SimRun& run : runs) EXPECT_GE(run.lcn, 10113u);
    ExpectConsistent();

    // Below 20,000,000 bytes nothing is pushed.
    Fat();
    AddFile("SPLIT.DAT", {{4, 100}, {8, 200}});
    auto& small = Analysed();
    EXPECT_EQ(PushFileUp(small, Record("SPLIT.DAT"), small.m_totalClusters), 0u);
}

}  // namespace
}  // namespace tarvo::engine::testing
