// SplitFileRebuild.h --- putting back together the files a run left in more pieces than it found them in.
//
// Clearing ranges pushes blocking files up piece by piece; a file that moves
// in compression units goes up one unit at a time. When its own placement
// then fails (its place taken, a time limit, a stop of the pass), the run
// would end with the file in more pieces than it started with. Before the run
// ends, each such file is moved whole into a free run of its size: its planned
// place when that is free, else the lowest run that takes it. Worker thread only.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "engine/PassEnd.h"
#include "engine/WorkingFile.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

// The number of pieces of each file of the job's table when the run started.
using PieceCounts = std::unordered_map<const volume::FileRecord*, uint32_t>;

// Takes the piece count of every file of the job's table.
PieceCounts CountPieces(volume::CDefragJob& job);

// Moves every file now in more pieces than in before into a free run of its
// size, where one exists. Done when the pass went through; VolumeFailed
// (reported) on a write-protected or failing volume; Stopped when the
// keep-going flag was cleared.
PassEnd RebuildSplitFiles(volume::CDefragJob& job, WorkingFile& working, const PieceCounts& before);

}  // namespace tarvo::engine
