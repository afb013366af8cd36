// MoveFile.h --- moving a file's clusters: one range, following extents, single clusters, a whole file, a push upward.
//
// The file system moves the clusters (FSCTL_MOVE_FILE); these operations decide
// how much one call moves, refresh the file's extents and bitmap marks after
// the calls, keep the job's fragmented-file count, and retry within limits.
// Worker thread only. Every file handle is closed before the operation returns.
#pragma once

#include <cstdint>

#include "engine/MoveResult.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

using volume::CDefragJob;
using volume::FileRecord;
using volume::Lcn;
using volume::Vcn;

// Whether a move keeps the job's fragmented-file count (and sends UM_SET_FRAG_COUNT).
enum class CountUpdate { No, Yes };

// The largest cluster count one MoveRange call carries for the file: on NTFS
// 5,000,000 bytes' worth (1,220 clusters of 4,096 bytes), in whole compression
// units for a file that moves in them (1,216), else count unchanged.
uint64_t CappedMoveCount(const CDefragJob& job, const FileRecord& file, uint64_t count);

// One move call: count clusters of the file from start to target (capped on
// NTFS, see CappedMoveCount), then the file is refreshed. 1 moved; 0 no file or
// job, no view (logged) or an I/O failure; 13 the file does not open;
// STATUS_ALREADY_COMMITTED, STATUS_INVALID_PARAMETER (also for all-ones
// arguments, without opening), STATUS_MEDIA_WRITE_PROTECTED, a device failure
// (STATUS_IO_DEVICE_ERROR, STATUS_DISK_FULL) or another status.
MoveResult MoveRange(CDefragJob& job, FileRecord* file, Vcn start, Lcn target, uint64_t count, CountUpdate update);

// Moves count clusters from start to target, then keeps moving count clusters
// of the following extents right after them while the calls succeed. No cap.
// Answers as MoveRange.
MoveResult MoveFollowingExtents(CDefragJob& job, FileRecord* file, Vcn start, Lcn target, uint64_t count,
                                CountUpdate update);

// Moves count clusters of the open file one cluster per call. 1 when the last
// call succeeded, else that call's status. All-ones arguments: STATUS_INVALID_PARAMETER.
MoveResult MoveClustersSingly(CDefragJob& job, platform::HANDLE file, Vcn start, Lcn target, uint64_t count);

// Places the whole file contiguously at target: first in one call, then piece
// by piece with retries (restart from the front after 20 stalls, at most 300
// passes without progress, SpaceMaxTryTime seconds after a taken target). 1
// placed (or nothing left to move), 10 stopped, 11 gave up, 13 cannot open, or
// a status; a result that ends the run (EndsRun) is never retried. A stop never
// leaves the file in more pieces than it had at the call.
MoveResult MoveFileTo(CDefragJob& job, FileRecord* file, Lcn target);

// Moves the file's lowest pieces into free space near the end of the volume,
// not above limit. 1 when a piece moved, 0 when none (also on volumes below
// 20,000,000 bytes), or the result of a move that ends the run (EndsRun).
MoveResult PushFileUp(CDefragJob& job, FileRecord* file, Lcn limit);

// Reads the volume map again; without a view logs "Error: No View available." instead.
void RefreshClusterBitmap(CDefragJob& job);

// The number of pieces the file lies in: 0 without clusters, else at least 1.
uint32_t PieceCount(FileRecord& file);

}  // namespace tarvo::engine
