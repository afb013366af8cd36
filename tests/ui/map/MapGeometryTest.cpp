// MapGeometryTest.cpp --- clusters per block, block placement and the hit test of the cluster map.
#include <gtest/gtest.h>

#include "ui/map/MapGeometry.h"

namespace tarvo::ui {
namespace {

TEST(MapGeometryTest, ClustersPerBlockFollowTheVolumeSizeIn640By480WithBlockSize9) {
    EXPECT_EQ(ComputeGeometry(640, 480, 9, 3145).clustersPerBlock, 1);
    EXPECT_EQ(ComputeGeometry(640, 480, 9, 3146).clustersPerBlock, 8);
    EXPECT_EQ(ComputeGeometry(640, 480, 9, 1000000).clustersPerBlock, 320);
    EXPECT_EQ(ComputeGeometry(640, 480, 9, 100000000).clustersPerBlock, 0);
    EXPECT_FALSE(ComputeGeometry(640, 480, 9, 100000000).Usable());
}

TEST(MapGeometryTest, ShrinkingTheWindowEndsInTooSmallAndNeverInNegativeOrHugeCounts) {
    int last = 1;
    for (int side = 640; side >= 0; side -= 7) {
        const MapGeometry g = ComputeGeometry(side, side, 9, 1000000);
        if (g.clustersPerBlock == 0) continue;
        EXPECT_GE(g.clustersPerBlock, last) << side;
        EXPECT_LE(g.clustersPerBlock, kMaxClustersPerBlock);
        EXPECT_EQ(g.clustersPerBlock % 8, 0);
        last = g.clustersPerBlock;
    }
    EXPECT_EQ(ComputeGeometry(30, 30, 9, 1000000).clustersPerBlock, 0);
    EXPECT_EQ(ComputeGeometry(0, 0, 9, 10).clustersPerBlock, 0);
    // One cluster: no division by zero.
    EXPECT_EQ(ComputeGeometry(640, 480, 9, 1).clustersPerBlock, 1);
}

TEST(MapGeometryTest, BlocksAreLaidOutRowByRowInsideTheMargin) {
    const MapGeometry g = ComputeGeometry(640, 480, 9, 3145);
    EXPECT_EQ(g.columns, (640 - 40) / 9);
    int x = 0, y = 0;
    g.BlockOrigin(0, x, y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 20);
    g.BlockOrigin(static_cast<uint64_t>(g.columns) + 2, x, y);
    EXPECT_EQ(x, 20 + 2 * 9);
    EXPECT_EQ(y, 20 + 9);
    EXPECT_EQ(g.SquareSize(Shadow::ThreeD), 7);
    EXPECT_EQ(g.SquareSize(Shadow::Flat), 8);
}

TEST(MapGeometryTest, HitTestIsTheReverseOfPlacementAndRefusesTheMargin) {
    const MapGeometry g = ComputeGeometry(640, 480, 9, 1000000);
    for (uint64_t index : {0ull, 5ull, 66ull, 67ull, 500ull}) {
        int x = 0, y = 0;
        g.BlockOrigin(index, x, y);
        Lcn first = 0;
        ASSERT_TRUE(g.HitTest(x + 4, y + 4, first)) << index;
        EXPECT_EQ(first, index * 320);
    }
    Lcn first = 0;
    EXPECT_FALSE(g.HitTest(10, 100, first));
    EXPECT_FALSE(g.HitTest(100, 470, first));
    // The strip right of the last whole column is not a block.
    EXPECT_FALSE(g.HitTest(20 + g.columns * 9 + 1, 100, first));
}

}  // namespace
}  // namespace tarvo::ui
