// MftZoneRelief.h --- room for the plan inside the MFT zone when the space outside it is too small.
//
// NTFS keeps its MFT zone free for the MFT to grow, and every free-space
// search passes over it. On a nearly full volume most of the free space may
// lie in the zone, so the plan finds no room outside it and COMPLETE could do
// nothing. The file system itself hands out zone clusters once the rest of
// the volume is full; the plan then does the same and counts the zone as
// usable. The whole zone is given up, not a part: a plan that only just fits
// leaves the moves too little room to work in, and they would split files.
#pragma once

#include "volume/DefragJob.h"

namespace tarvo::engine {

// Plans the job's files (PlanPlacement). When that finds no room on an NTFS
// volume with an MFT zone, the plans made are dropped, the job's zone is set
// to none (every later search of the run then may use its clusters; logged as
// a diagnostic) and the files are planned again. 1 when a plan was made; 0 as
// PlanPlacement answers otherwise (the zone then stays as it was). Worker
// thread only.
int PlanPlacementWithMftZone(volume::CDefragJob& job);

// Gives the job's MFT zone up for the rest of the run (logged as a
// diagnostic): the final passes of COMPLETE use it when files are still
// waiting after the main loop, as the file system itself hands the zone out
// once the rest of the volume is full. False when there is no zone to give up.
bool GiveUpMftZone(volume::CDefragJob& job, const char* why);

}  // namespace tarvo::engine
