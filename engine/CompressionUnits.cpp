// CompressionUnits.cpp --- telling the files that move in compression units from the others.
#include "engine/CompressionUnits.h"

namespace tarvo::engine {

bool MovesInCompressionUnits(const volume::CDefragJob& job, const volume::FileRecord& file) {
    if (!job.IsNtfs()) return false;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        if (pair.lcn == volume::kVirtualLcn) return true;
    }
    return false;
}

volume::SearchUnit SearchUnitOf(const volume::CDefragJob& job, const volume::FileRecord& file) {
    return MovesInCompressionUnits(job, file) ? volume::SearchUnit::CompressionUnit : volume::SearchUnit::Cluster;
}

uint64_t InMoveUnits(const volume::CDefragJob& job, const volume::FileRecord& file, uint64_t n) {
    if (!MovesInCompressionUnits(job, file) || n > ~uint64_t{0} - kCompressionUnitClusters) return n;
    return (n + kCompressionUnitClusters - 1) / kCompressionUnitClusters * kCompressionUnitClusters;
}

}  // namespace tarvo::engine
