// Consolidation.h --- pulls large pieces of heavily fragmented files together in the upper half of the volume.
//
// For every fragmented file of more than 10 extents, free runs of at least a
// tenth of the file are looked for downward from the end of the volume (never
// below its middle), and the file's pieces, from its front, are moved into
// them with the extents that follow. Ends SPACE and COMPLETE alike.
#pragma once

#include "engine/PassEnd.h"
#include "engine/WorkingFile.h"
#include "volume/DefragJob.h"

namespace tarvo::engine {

// Runs the consolidation over the job's table, sending 98 percent and
// "Searching..." with the file's number. Worker thread only.
PassEnd ConsolidateFragmentedFiles(volume::CDefragJob& job, WorkingFile& working, RunPercent& percent);

// The first VCN above current at which a piece of the file begins (an extent
// whose LCN does not follow the end of the previous real extent; virtual
// extents are passed over). False when no piece begins above current.
bool NextPieceStart(const volume::FileRecord& file, volume::Vcn current, volume::Vcn& out);

}  // namespace tarvo::engine
