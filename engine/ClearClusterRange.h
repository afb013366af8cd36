// ClearClusterRange.h --- moving the files that occupy a range of clusters out of it.
//
// COMPLETE clears a file's planned range before it moves the file there. Each
// file met in the range goes to its own planned place when that is free, else
// to the highest free run above the range. Worker thread only.
#pragma once

#include <cstdint>

#include "engine/MoveResult.h"
#include "engine/WorkingFile.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

// Moves blocker, which owns cluster k of a range ending at e, out of the range:
// to its planned LCN when that run is free (marking it done when it then lies
// there whole), and, if k is still the blocker's, into the highest free run
// above e. Opens the working frame for the blocker and leaves it open for the
// caller. Answers the last move's result, or 14 when no run above e fits.
MoveResult MoveBlockerOut(volume::CDefragJob& job, WorkingFile& working, volume::FileRecord& blocker, volume::Lcn k,
                          volume::Lcn e);

// Moves the files (other than done ones) that own clusters from start to start
// + length - 1 out of that range, cluster by cluster. 1 when every cluster was
// examined (a start beyond the volume answers 1 at once); 0 when it stopped
// early: the flag was cleared, or a move was stopped, given up, found no room,
// could not open its file (the file is then dropped: done, unregistered and off
// the deferred list), or failed. lastResult, when given, receives the last
// move's result, so that the caller sees write protection.
int ClearClusterRange(volume::CDefragJob& job, volume::Lcn start, uint64_t length, MoveResult* lastResult = nullptr);

// Drops a file that cannot be opened from the rest of the run: its marks leave
// the cluster bitmap, its state is cleared, it is done and off the deferred list.
void DropUnopenableFile(volume::CDefragJob& job, volume::FileRecord& file);

}  // namespace tarvo::engine
