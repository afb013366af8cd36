// WorkerEntries.h --- the worker entry of each job mode: 1 analysis, 2 SPACE, 3 COMPLETE.
#pragma once

#include "volume/DefragJob.h"

namespace tarvo::control {

// A worker entry runs one job on the worker thread and answers 1, or 0 on an
// internal failure. It clears the job's worker mark as its last step.
using WorkerEntry = int (*)(volume::CDefragJob& job);

struct WorkerEntries {
    WorkerEntry analysis = nullptr;
    WorkerEntry space = nullptr;
    WorkerEntry complete = nullptr;

    // The entry of a mode, null for another mode or one not available.
    WorkerEntry ForMode(int mode) const {
        return mode == 1 ? analysis : mode == 2 ? space : mode == 3 ? complete : nullptr;
    }
};

// The engine's entries: RunAnalysis, RunSpaceMethod, RunCompleteMethod.
WorkerEntries EngineWorkerEntries();

}  // namespace tarvo::control
