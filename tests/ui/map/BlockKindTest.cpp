// BlockKindTest.cpp --- the reduction of cluster kinds to block colours, full against range redraws.
#include <gtest/gtest.h>

#include <vector>

#include "ui/map/BlockKind.h"
#include "ui/map/MapPalette.h"

namespace tarvo::ui {
namespace {

// A lookup over a list of kinds, one per cluster, answering runs of equal kinds.
ClusterKindSource Source(const std::vector<int>& kinds) {
    return ClusterKindSource([kinds](Lcn lcn, Lcn& runEnd) {
        Lcn end = lcn;
        while (end + 1 < kinds.size() && kinds[end + 1] == kinds[lcn]) ++end;
        runEnd = end;
        return kinds[lcn];
    });
}

COLORREF ColourOf(const std::vector<int>& kinds, RedrawScope scope) {
    ClusterKindSource source = Source(kinds);
    return kPalette[static_cast<size_t>(ColourIndexOf(ReduceBlock(source, 0, kinds.size() - 1, scope)))];
}

TEST(BlockKindTest, FreeWithOneMftReservedClusterIsYellowAndSystemWithFreeIsGreen) {
    EXPECT_EQ(ColourOf({0, 0, 98, 0, 0, 0, 0, 0}, RedrawScope::Full), 0x00FFFFu);
    EXPECT_EQ(ColourOf({99, 0, 0, 99, 0, 0, 0, 0}, RedrawScope::Full), 0x008000u);
    EXPECT_EQ(ColourOf({0, 97, 0, 0}, RedrawScope::Full), 0x00FF00u);
    EXPECT_EQ(ColourOf({0, 0, 0, 0}, RedrawScope::Full), 0xFFFFFFu);
    // The last system kind met decides.
    EXPECT_EQ(ColourOf({98, 99, 0, 0}, RedrawScope::Full), 0x008000u);
    EXPECT_EQ(ColourOf({99, 0, 98, 0}, RedrawScope::Full), 0x00FFFFu);
}

TEST(BlockKindTest, AnyUsedClusterIsNeverGreenOrYellow) {
    for (int used : {1, 2, 3, 4, 50}) {
        for (int system : {97, 98, 99}) {
            for (size_t at = 0; at < 4; ++at) {
                std::vector<int> kinds(4, system);
                kinds[at] = used;
                for (RedrawScope scope : {RedrawScope::Full, RedrawScope::Range}) {
                    const COLORREF c = ColourOf(kinds, scope);
                    EXPECT_NE(c, 0x008000u) << used << "/" << system << " at " << at;
                    EXPECT_NE(c, 0x00FFFFu) << used << "/" << system << " at " << at;
                    EXPECT_NE(c, 0x00FF00u) << used << "/" << system << " at " << at;
                }
            }
        }
    }
}

TEST(BlockKindTest, FragmentedThenWorkingIsCyanInARangeRedrawAndRedInAFullRedraw) {
    EXPECT_EQ(ColourOf({2, 2, 50, 0}, RedrawScope::Range), 0xFFFF00u);
    EXPECT_EQ(ColourOf({2, 2, 50, 0}, RedrawScope::Full), 0x0000FFu);
    // Compressed and fragmented stops a full scan as well.
    EXPECT_EQ(ColourOf({4, 50}, RedrawScope::Full), 0x0000FFu);
    EXPECT_EQ(ColourOf({4, 50}, RedrawScope::Range), 0xFFFF00u);
}

TEST(BlockKindTest, UsedCompressedAndFragmentedRankAsTheReductionSays) {
    EXPECT_EQ(ColourOf({0, 1, 0}, RedrawScope::Full), 0x800000u);       // used: navy
    EXPECT_EQ(ColourOf({1, 3}, RedrawScope::Full), 0xFF0000u);          // compressed wins over used
    EXPECT_EQ(ColourOf({2, 3}, RedrawScope::Range), 0x0000FFu);         // fragmented stays fragmented
    EXPECT_EQ(ColourOf({3, 1}, RedrawScope::Full), 0xFF0000u);          // used never lowers compressed
    EXPECT_EQ(ColourOf({1, 96}, RedrawScope::Full), 0x808000u);         // teal
    EXPECT_EQ(ColourOf({51}, RedrawScope::Full), 0xAA78FFu);            // pink
    EXPECT_EQ(ColourOf({50, 2}, RedrawScope::Range), 0xFFFF00u);        // working ends the scan
}

TEST(BlockKindTest, ALongRunCostsOneLookup) {
    std::vector<int> kinds(8000, 0);
    ClusterKindSource source = Source(kinds);
    EXPECT_EQ(ReduceBlock(source, 0, 7999, RedrawScope::Full), kBlockEmpty);
    EXPECT_EQ(source.Lookups(), 1u);
}

}  // namespace
}  // namespace tarvo::ui
