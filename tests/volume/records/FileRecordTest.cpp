// FileRecordTest.cpp --- pair map walks, fragmentation tests and state codes of FileRecord.
#include "volume/FileRecord.h"

#include <gtest/gtest.h>

#include "tests/volume/support/VolumeTestEnv.h"

namespace tarvo::volume {
namespace {

using testing::VolumeTest;

class FileRecordTest : public VolumeTest {
protected:
    static void Fill(FileRecord& r, std::vector<Pair> pairs) {
        r.CreatePairMap(static_cast<uint32_t>(pairs.size()));
        for (uint32_t i = 0; i < pairs.size(); ++i) r.SetPair(i, pairs[i].nextVcn, pairs[i].lcn);
    }
    std::unique_ptr<FileRecord> Make(std::vector<Pair> pairs) {
        auto r = std::make_unique<FileRecord>("Z:\\F.TXT", RecordKind::Directory);
        Fill(*r, std::move(pairs));
        return r;
    }
    std::unique_ptr<FileRecord> m_keep;
};

TEST_F(FileRecordTest, FiveExtentExampleBreaksAtVcnTenAndThirty) {
    FileRecord r("Z:\\F.TXT", RecordKind::Directory);
    Fill(r, {{10, 100}, {20, 110}, {30, 500}, {40, 510}, {50, 900}});
    EXPECT_TRUE(r.IsFragmented());
    EXPECT_EQ(r.CountFragments(), 3u);
    EXPECT_EQ(r.NextBreakAfter(0), 10u);
    EXPECT_EQ(r.NextBreakAfter(10), 30u);
    EXPECT_EQ(r.NextBreakAfter(30), kNoBreak);
    EXPECT_EQ(r.AllocatedClusters(), 50u);
    EXPECT_EQ(r.VirtualLength(), 50u);
    EXPECT_EQ(r.AllocatedClustersAfter(20), 30u);
    EXPECT_EQ(r.AllocatedClustersAfter(50), 0u);
    EXPECT_EQ(r.AllocatedClustersAfter(0), 0u);
    EXPECT_EQ(r.ExtentLengthAt(505), 10u);
    EXPECT_EQ(r.ExtentStartAt(519), 510u);
    EXPECT_EQ(r.ExtentStartAt(520), 0u);
    EXPECT_EQ(r.GetState(), kStateFragmented);
}

TEST_F(FileRecordTest, CompressedRunsBackToBackAreNotFragmented) {
    FileRecord r("Z:\\C", RecordKind::Directory);
    Fill(r, {{16, 100}, {32, kVirtualLcn}, {48, 116}, {64, kVirtualLcn}});
    EXPECT_FALSE(r.IsFragmented());
    EXPECT_TRUE(r.CompressedFlag());
    EXPECT_EQ(r.GetState(), kStateCompressed);
    EXPECT_EQ(r.AllocatedClusters(), 32u);
    EXPECT_EQ(r.VirtualLength(), 64u);

    Fill(r, {{16, 100}, {32, kVirtualLcn}, {48, 900}, {64, kVirtualLcn}});
    r.ClearWorking();
    EXPECT_TRUE(r.IsFragmented());
    EXPECT_EQ(r.GetState(), kStateCompressedFragmented);
}

TEST_F(FileRecordTest, LeadingVirtualPairIsSkippedAndSecondPairStartsTheWalk) {
    FileRecord r("Z:\\S", RecordKind::Directory);
    // Pair 1 covers VCN 10..19 at 200; pair 2 continues at 210.
    Fill(r, {{10, kVirtualLcn}, {20, 200}, {30, 210}});
    EXPECT_FALSE(r.IsFragmented());
    Fill(r, {{10, kVirtualLcn}, {20, 200}, {30, 211}});
    EXPECT_TRUE(r.IsFragmented());
    ExtentPosition lowest;
    ASSERT_TRUE(r.LowestExtent(lowest));
    EXPECT_EQ(lowest.lcn, 200u);
    EXPECT_EQ(lowest.startVcn, 10u);
}

TEST_F(FileRecordTest, SmallFilesAreContiguousAndHaveNoFragments) {
    FileRecord empty("Z:\\E", RecordKind::Directory);
    empty.CreatePairMap(0);
    EXPECT_TRUE(Reported(kMsgDiagnostic, "Create Pair Map with 0 Entries."));
    EXPECT_FALSE(empty.IsFragmented());
    EXPECT_FALSE(empty.CompressedFlag());
    EXPECT_EQ(empty.CountFragments(), 0u);
    EXPECT_EQ(empty.VirtualLength(), 0u);
    ExtentPosition lowest;
    EXPECT_FALSE(empty.LowestExtent(lowest));
    EXPECT_EQ(empty.GetPair(0), Pair{});

    FileRecord one("Z:\\O", RecordKind::Directory);
    Fill(one, {{8, 40}});
    EXPECT_EQ(one.CountFragments(), 0u);
    EXPECT_EQ(one.GetState(), kStateContiguous);
    EXPECT_EQ(one.NextBreakAfter(0), kNoBreak);
}

TEST_F(FileRecordTest, NextPairAfterAnswersMarkers) {
    FileRecord r("Z:\\N", RecordKind::Directory);
    Fill(r, {{10, 100}, {20, 300}});
    auto p = r.NextPairAfter(0);
    EXPECT_TRUE(p.found);
    EXPECT_EQ(p.nextVcn, 10u);
    p = r.NextPairAfter(10);
    EXPECT_EQ(p.lcn, 300u);
    p = r.NextPairAfter(20);
    EXPECT_TRUE(p.found);
    EXPECT_EQ(p.nextVcn, kPairMapEnd);
    p = r.NextPairAfter(15);
    EXPECT_FALSE(p.found);
    EXPECT_EQ(p.nextVcn, kNoPair);
    EXPECT_EQ(p.lcn, kNoPair);

    FileRecord one("Z:\\O", RecordKind::Directory);
    Fill(one, {{10, 100}});
    EXPECT_EQ(one.NextPairAfter(5).nextVcn, kPairMapEnd);
}

TEST_F(FileRecordTest, WalksStopAtTheTerminatorNotAtTheCount) {
    FileRecord r("Z:\\T", RecordKind::Directory);
    // A map sized for four pairs that received two: the zero pairs end it.
    r.CreatePairMap(4);
    r.SetPair(0, 10, 100);
    r.SetPair(1, 20, 110);
    EXPECT_FALSE(r.IsFragmented());
    EXPECT_EQ(r.VirtualLength(), 20u);
    EXPECT_EQ(r.AllocatedClusters(), 20u);
    EXPECT_EQ(r.NextPairAfter(20).nextVcn, kPairMapEnd);
}

TEST_F(FileRecordTest, SetPairNeverWritesPastTheMap) {
    FileRecord r("Z:\\P", RecordKind::Directory);
    r.CreatePairMap(2);
    EXPECT_TRUE(r.SetPair(1, 5, 5));
    EXPECT_FALSE(r.SetPair(2, 9, 9));
    EXPECT_FALSE(r.SetPair(1000000, 9, 9));
    EXPECT_EQ(r.GetPair(2), Pair{});
    FileRecord copy("Z:\\Q", RecordKind::Directory);
    copy.CopyPairs(r);
    EXPECT_EQ(copy.PairCount(), 2u);
    EXPECT_EQ(copy.GetPair(1), (Pair{5, 5}));
}

TEST_F(FileRecordTest, StateCodesFromFiftyToHundredPassThroughAndExcludedStays) {
    FileRecord& r = *(m_keep = Make({{10, 100}, {20, 500}}));
    r.MarkWorking();
    EXPECT_EQ(r.GetState(), kStateWorking);
    r.ClearWorking();
    EXPECT_EQ(r.StateCode(), kStateNotComputed);
    EXPECT_EQ(r.GetState(), kStateContiguous);  // flags not yet computed: not re-tested
    r.IsFragmented();
    r.ClearState();
    EXPECT_EQ(r.GetState(), kStateFragmented);

    r.SetState(kStateExcluded);
    EXPECT_TRUE(r.IsDone());
    r.MarkWorking();
    r.ClearWorking();
    EXPECT_EQ(r.GetState(), kStateExcluded);
}

TEST_F(FileRecordTest, MovedFileIsRetestedByGetState) {
    FileRecord& r = *(m_keep = Make({{10, 100}, {20, 500}}));
    ASSERT_TRUE(r.IsFragmented());
    r.ClearWorking();
    r.CreatePairMap(1);
    r.SetPair(0, 20, 700);
    EXPECT_EQ(r.GetState(), kStateContiguous);
}

TEST_F(FileRecordTest, AttemptsStopAt253) {
    FileRecord& r = *(m_keep = Make({{1, 1}}));
    r.SetAttempts(252);
    EXPECT_EQ(r.IncrementAttempts(), 253);
    EXPECT_EQ(r.IncrementAttempts(), 253);
    r.SetAttempts(255);
    EXPECT_EQ(r.IncrementAttempts(), 255);
}

}  // namespace
}  // namespace tarvo::volume
