// MapGeometry.cpp --- the map rectangle, clusters per block, block placement and the hit test.
#include "ui/map/MapGeometry.h"

#include <cmath>

namespace tarvo::ui {

MapGeometry ComputeGeometry(int width, int height, int blockSize, uint64_t totalClusters) {
    MapGeometry g;
    const int b = blockSize < 1 ? 1 : blockSize;
    g.blockSize = b;
    g.totalClusters = totalClusters;
    g.left = kMapMargin;
    g.top = kMapMargin;
    g.right = width - kMapMargin;
    g.bottom = height - kMapMargin;
    const int mapWidth = g.right - g.left;
    g.columns = mapWidth > 0 ? mapWidth / b : 0;

    // The area product is formed in 32-bit integers, as the map always did;
    // it is computed in 64 bits and narrowed so that a huge window cannot overflow.
    const auto area = static_cast<int32_t>(static_cast<int64_t>(height - b - 40) * (width - b - 40));
    int64_t perBlock = 0;
    if (totalClusters <= 1) {
        perBlock = 1;  // one cluster fits any usable window
    } else {
        const double e = static_cast<double>(area) / static_cast<double>(totalClusters - 1) / b;
        if (e >= b) {
            perBlock = 1;
        } else if (e > 0) {
            const double f = static_cast<double>(b) / e + 0.9;
            const int64_t whole = f >= 1e12 ? int64_t{1000000000000} : static_cast<int64_t>(f);
            perBlock = whole - whole % 8 + 8;
        }
    }
    g.clustersPerBlock =
        perBlock >= 1 && perBlock <= kMaxClustersPerBlock && g.columns > 0 ? static_cast<int>(perBlock) : 0;
    return g;
}

void MapGeometry::BlockOrigin(uint64_t index, int& x, int& y) const {
    const uint64_t c = static_cast<uint64_t>(columns);
    x = left + blockSize * static_cast<int>(index % c);
    const uint64_t row = index / c;
    // Rows far past the window are clamped; the caller's clip drops them.
    y = row > 1000000 ? 1 << 30 : top + blockSize * static_cast<int>(row);
}

bool MapGeometry::HitTest(int x, int y, Lcn& firstCluster) const {
    if (!Usable() || x < left || y < top || x >= right || y >= bottom) return false;
    const int column = (x - left) / blockSize;
    if (column >= columns) return false;  // the strip right of the last whole column
    const uint64_t index = static_cast<uint64_t>((y - top) / blockSize) * static_cast<uint64_t>(columns) +
                           static_cast<uint64_t>(column);
    firstCluster = index * static_cast<uint64_t>(clustersPerBlock);
    return true;
}

}  // namespace tarvo::ui
