// MethodHandOff.h --- how one method hands a run to the other in all-drives mode.
//
// In all-drives mode the file system's method setting decides which method runs
// a drive; a method asked for the other one hands the job over. The COMPLETE
// method registers its entry here so that SPACE can reach it without a link-time
// dependency on it.
#pragma once

#include "volume/DefragJob.h"

namespace tarvo::engine {

using MethodEntry = int (*)(volume::CDefragJob& job);

// Registers (or, with null, removes) the COMPLETE worker entry. Call before runs start.
void SetCompleteMethodEntry(MethodEntry entry);
// The registered COMPLETE entry, or null.
MethodEntry CompleteMethodEntry();

}  // namespace tarvo::engine
