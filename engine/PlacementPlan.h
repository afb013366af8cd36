// PlacementPlan.h --- the order COMPLETE lays files out in, and the planned LCN of every file.
//
// The files are sorted by path or by last modification and then packed, in that
// order, from the start of the volume around the clusters no listed file owns
// (the system map). A gap too small for the next file is filled with later
// files that fit into it entirely. Worker thread only; moves nothing.
#pragma once

#include "volume/DefragJob.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

// The sort key the file system's setting asks for: NTFSSortedBy on NTFS,
// FATSortedBy on FAT; 0 sorts by path, anything else by modification time.
volume::SortOrder PlacementSortOrder(const volume::CDefragJob& job);

// Sets the planned LCN of every file of the job's table. Done files and files
// that already carry a plan are not planned again (a done file without a plan
// keeps its first LCN). Files that lie contiguously at their plan, or hold no
// clusters, are marked done. 1 when every file got a place; 0 when there is no
// table or a search found no room (logged with 0x40024001; the files planned
// so far keep their plans).
int PlanPlacement(volume::CDefragJob& job);

// The clusters a file takes in the plan: its allocated clusters, rounded up to
// whole compression units for a file that moves in them (CompressionUnits.h).
uint64_t PlannedSize(const volume::CDefragJob& job, const volume::FileRecord& file);

// The LCN of the file's first real extent; 0 when it holds no clusters.
volume::Lcn FirstLcn(const volume::FileRecord& file);

// Whether the file lies where the plan wants it: no clusters, or contiguous
// with its first extent at its planned LCN.
bool IsAtPlannedPlace(volume::FileRecord& file);

// Whether everything that holds a cluster of first .. last can be moved out:
// no system cluster, no cluster taken by another program or by a dropped
// file, no done file other than except.
bool RangeIsMovable(volume::CDefragJob& job, volume::Lcn first, volume::Lcn last, const volume::FileRecord* except);

}  // namespace tarvo::engine
