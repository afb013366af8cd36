// MapGeometry.h --- where the cluster map's blocks lie in a window and how many clusters each holds.
#pragma once

#include <cstdint>

#include "volume/VolumeTypes.h"

namespace tarvo::ui {

using volume::Lcn;

// Clusters per block stays within 1..8000; beyond, the window is too small.
constexpr int kMaxClustersPerBlock = 8000;
// The margin around the map rectangle on every side.
constexpr int kMapMargin = 20;

// Whether blocks are drawn with a one-pixel shadow (the DrawShadow setting).
enum class Shadow { Flat, ThreeD };

struct MapGeometry {
    int left = 0, top = 0, right = 0, bottom = 0;  // the map rectangle
    int blockSize = 9;
    int clustersPerBlock = 0;  // 0: the window is too small
    int columns = 0;           // blocks per row
    uint64_t totalClusters = 0;

    bool Usable() const { return clustersPerBlock > 0 && columns > 0; }
    // The top-left corner of block index.
    void BlockOrigin(uint64_t index, int& x, int& y) const;
    // The block that holds cluster lcn.
    uint64_t BlockOf(Lcn lcn) const { return lcn / static_cast<uint64_t>(clustersPerBlock); }
    // The side of a block's filled square: B-2 with a shadow, B-1 without.
    int SquareSize(Shadow shadow) const { return blockSize - (shadow == Shadow::ThreeD ? 2 : 1); }
    // The first cluster of the block under (x, y); false outside the map
    // rectangle or when the geometry is not usable. The cluster may lie beyond
    // the volume: callers compare it with the total.
    bool HitTest(int x, int y, Lcn& firstCluster) const;
};

// The geometry of a client area of width x height for a volume of totalClusters
// and a block side of blockSize pixels. A block size below 1 is taken as 1.
MapGeometry ComputeGeometry(int width, int height, int blockSize, uint64_t totalClusters);

}  // namespace tarvo::ui
