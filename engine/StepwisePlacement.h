// StepwisePlacement.h --- placing a file whose planned range cannot be cleared in one go.
//
// When the free space outside a planned range is too small to take every file
// that occupies the range (a file larger than the free space, or a range full
// of files), the file is built into its range front first: each free stretch
// at the next position receives the file's next clusters, and each cluster
// that stands in the way is moved out of the range, whole files where a free
// run takes them, else piece by piece. Every cluster the file vacates is room
// for the next file to move out. Worker thread only.
#pragma once

#include "engine/MoveResult.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

// Builds file into planned .. planned + its planned size - 1. 1 when it lies
// there whole; 14 when the range holds clusters that cannot be moved (system,
// another program's, a done file's) or no room is left; 10 stopped (never
// while the file, whole before, is in pieces and can still be completed);
// 13, STATUS_MEDIA_WRITE_PROTECTED as the moves answer. Each step moves at
// least one cluster for good, and 20 failed moves in a row end it, so it is
// bounded even when the volume keeps answering STATUS_ALREADY_COMMITTED.
MoveResult PlaceInSteps(volume::CDefragJob& job, volume::FileRecord& file, volume::Lcn planned);

// The first VCN of the file that does not lie at planned + VCN: the length of
// the part of the file, from its front, that already sits in its place.
volume::Vcn PlacedPrefix(const volume::FileRecord& file, volume::Lcn planned);

}  // namespace tarvo::engine
