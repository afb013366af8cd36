// MapRenderer.cpp --- whole-map and range drawing of the cluster map.
#include "ui/map/MapRenderer.h"

#include <algorithm>

#include "app/Logger.h"
#include "app/MessageIds.h"
#include "ui/map/MapTexts.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::ui {

namespace {

constexpr size_t kExtentCheckpoint = 200;

StateLookup LookupFor(const volume::CDefragJob& job) {
    return job.m_analysisInProgress.load() ? StateLookup::VolumeOnly : StateLookup::Cluster;
}

}  // namespace

void DrawBlock(PixelBuffer& buffer, const MapGeometry& geometry, uint64_t index, int kind, Shadow shadow) {
    int x = 0, y = 0;
    geometry.BlockOrigin(index, x, y);
    const int side = geometry.SquareSize(shadow);
    if (shadow == Shadow::ThreeD) buffer.FillRect(x + 1, y + 1, side, side, kPalette[kShadowColour]);
    buffer.FillRect(x, y, side, side, kPalette[static_cast<size_t>(ColourIndexOf(kind))]);
}

int DrawWholeMap(volume::CDefragJob& job, PixelBuffer& buffer, int blockSize, Shadow shadow,
                 const JobValidTest& valid, MapGeometry& geometry) {
    if (valid && !valid()) return kMapStopped;
    if (job.m_drive.empty() || job.m_totalClusters == 0 || !job.m_clusterBitmap) return kMapNotDrawn;
    geometry = ComputeGeometry(buffer.Width(), buffer.Height(), blockSize, job.m_totalClusters);
    if (!geometry.Usable()) {
        buffer.Fill(kLightGrey);
        app::Report(app::MSG_WAR_WINDOW_TOO_SMALL);
        buffer.DrawText({0, 0, 6, kTooSmallText, 0x000000, kLightGrey});
        return kMapNotDrawn;
    }
    ClusterKindSource source = ClusterKindSource::For(*job.m_clusterBitmap, LookupFor(job));
    const uint64_t total = job.m_totalClusters;
    const auto perBlock = static_cast<uint64_t>(geometry.clustersPerBlock);
    const uint64_t blocks = (total + perBlock - 1) / perBlock;
    for (uint64_t index = 0; index < blocks; ++index) {
        if (valid && !valid()) return kMapStopped;
        const Lcn first = index * perBlock;
        const Lcn last = std::min(first + perBlock - 1, total - 1);
        DrawBlock(buffer, geometry, index, ReduceBlock(source, first, last, RedrawScope::Full), shadow);
    }
    return kMapDrawn;
}

std::vector<BlockRange> FileBlockRanges(const volume::FileRecord& file, const MapGeometry& geometry) {
    std::vector<BlockRange> ranges;
    if (geometry.clustersPerBlock <= 0) return ranges;
    const uint32_t count = file.PairCount();
    volume::Vcn vcn = 0;
    // Each on-disk extent as its first and last cluster, in VCN order.
    std::vector<std::pair<Lcn, Lcn>> extents;
    for (uint32_t i = 0; i < count; ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        if (pair.nextVcn > vcn && pair.lcn != volume::kVirtualLcn) extents.emplace_back(pair.lcn, pair.lcn + (pair.nextVcn - vcn) - 1);
        vcn = pair.nextVcn;
    }
    if (extents.empty()) return ranges;
    if (!file.FragmentedFlag()) {
        Lcn low = extents.front().first, high = extents.front().second;
        for (const auto& [a, b] : extents) {
            low = std::min(low, a);
            high = std::max(high, b);
        }
        ranges.push_back({geometry.BlockOf(low), geometry.BlockOf(high)});
        return ranges;
    }
    for (const auto& [a, b] : extents) {
        const BlockRange range{geometry.BlockOf(a), geometry.BlockOf(b)};
        if (!ranges.empty() && range.first == ranges.back().last)
            ranges.back().last = std::max(ranges.back().last, range.last);
        else
            ranges.push_back(range);
    }
    return ranges;
}

void DrawBlockRanges(volume::CDefragJob& job, PixelBuffer& buffer, const MapGeometry& geometry, Shadow shadow,
                     const std::vector<BlockRange>& ranges, const std::function<bool(size_t)>& checkpoint) {
    if (!job.m_clusterBitmap || geometry.clustersPerBlock <= 0 || job.m_totalClusters == 0) return;
    ClusterKindSource source = ClusterKindSource::For(*job.m_clusterBitmap, StateLookup::Cluster);
    const uint64_t total = job.m_totalClusters;
    const auto perBlock = static_cast<uint64_t>(geometry.clustersPerBlock);
    const uint64_t lastBlock = (total - 1) / perBlock;
    for (size_t n = 0; n < ranges.size(); ++n) {
        if (n > 0 && n % kExtentCheckpoint == 0 && checkpoint && !checkpoint(n)) return;
        for (uint64_t index = ranges[n].first; index <= std::min(ranges[n].last, lastBlock); ++index) {
            const Lcn first = index * perBlock;
            const Lcn last = std::min(first + perBlock - 1, total - 1);
            DrawBlock(buffer, geometry, index, ReduceBlock(source, first, last, RedrawScope::Range), shadow);
        }
    }
}

}  // namespace tarvo::ui
