// CompressionUnits.h --- which files move in whole compression units, and the room a file takes.
//
// NTFS moves the data of a compressed or sparse file in whole compression
// units of 16 clusters: it refuses a range that starts or ends inside a unit.
// Such files are planned, searched for and moved in units. Every other file,
// and every file on FAT, moves cluster by cluster and takes its own allocated
// clusters: rounding those up to units would leave a gap behind each small
// file and, with many of them, need more room than the volume has.
#pragma once

#include <cstdint>

#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

// The clusters of one compression unit on NTFS.
constexpr uint64_t kCompressionUnitClusters = 16;

// Whether the file moves in whole compression units: on NTFS, a file whose
// extents hold a virtual run (compressed or sparse data).
bool MovesInCompressionUnits(const volume::CDefragJob& job, const volume::FileRecord& file);

// The unit the free-space searches for this file count in.
volume::SearchUnit SearchUnitOf(const volume::CDefragJob& job, const volume::FileRecord& file);

// n clusters as the file moves them: rounded up to whole compression units
// when it moves in units, else n.
uint64_t InMoveUnits(const volume::CDefragJob& job, const volume::FileRecord& file, uint64_t n);

}  // namespace tarvo::engine
