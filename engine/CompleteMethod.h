// CompleteMethod.h --- COMPLETE: rebuilds the layout of the whole volume in the chosen file order.
//
// The files are sorted by name or by last modification and given planned places
// packed from the start of the volume; each planned range is then cleared and
// its file moved there. Files that cannot be placed now are retried from the
// deferred list; the run ends with the deferred pass and the consolidation of
// heavily fragmented files that SPACE also uses.
#pragma once

#include "volume/DefragJob.h"

namespace tarvo::engine {

// The COMPLETE worker entry. Runs the whole method on the calling (worker)
// thread and answers 1 when it has completed, was stopped or failed (in
// all-drives mode with the file system's option set to SPACE, SPACE's answer).
// A completed run posts UM_RUN_FINISHED as its last action.
int RunCompleteMethod(volume::CDefragJob& job);

}  // namespace tarvo::engine
