// SpaceMethod.h --- SPACE: defragments with the free space the volume has, in four phases.
//
// Phase 1 makes fragmented files whole where a free run fits them; phase 2 walks
// from the end of the volume down and moves each file into the lowest free run
// below it; phase 3 retries the files put aside; phase 4 pulls large pieces of
// heavily fragmented files together in the upper half of the volume.
#pragma once

#include "volume/DefragJob.h"

namespace tarvo::engine {

// The SPACE worker entry. Runs the whole method on the calling (worker) thread
// and answers 1 when it has completed, was stopped or failed. A completed run
// posts UM_RUN_FINISHED as its last action.
int RunSpaceMethod(volume::CDefragJob& job);

}  // namespace tarvo::engine
