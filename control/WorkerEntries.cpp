// WorkerEntries.cpp --- binds the job modes to the engine's worker entries.
#include "control/WorkerEntries.h"

#include "engine/Analysis.h"
#if __has_include("engine/SpaceMethod.h")
#include "engine/SpaceMethod.h"
#define TARVO_HAVE_SPACE_METHOD 1
#endif
#if __has_include("engine/CompleteMethod.h")
#include "engine/CompleteMethod.h"
#define TARVO_HAVE_COMPLETE_METHOD 1
#endif

namespace tarvo::control {

WorkerEntries EngineWorkerEntries() {
    WorkerEntries entries;
    entries.analysis = [](volume::CDefragJob& job) { return engine::RunAnalysis(job); };
#ifdef TARVO_HAVE_SPACE_METHOD
    entries.space = [](volume::CDefragJob& job) { return engine::RunSpaceMethod(job); };
#endif
#ifdef TARVO_HAVE_COMPLETE_METHOD
    entries.complete = [](volume::CDefragJob& job) { return engine::RunCompleteMethod(job); };
#endif
    return entries;
}

}  // namespace tarvo::control
