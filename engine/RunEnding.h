// RunEnding.h --- the move results that end a whole run, their report, and the flush before a run completes.
#pragma once

#include "engine/MoveResult.h"
#include "volume/DefragJob.h"

namespace tarvo::engine {

// Reports why the run on the job's drive ends, for a result where EndsRun holds:
// write protection as 0xC002001F with the root path; a failing device as
// MSG_ERR_DEVICE_FAILED with the root path, the status name and its text.
// Worker thread only.
void ReportRunEnding(const volume::CDefragJob& job, MoveResult result);

// Makes every move of the run durable, so that a method reports completion only
// for moves that reached the device. kMoved, or the device failure the flush met
// (not reported here; the caller reports it as the end of the run).
MoveResult FlushMoves(volume::CDefragJob& job);

}  // namespace tarvo::engine
