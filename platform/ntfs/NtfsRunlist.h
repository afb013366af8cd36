// NtfsRunlist.h --- a file's cluster runs as plain values, and the edit a move makes to them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/NtTypes.h"
#include "platform/ntfs/NtfsLib.h"

namespace tarvo::platform {

// One run of a file: VCNs [vcn, vcn + length) at LCN lcn, or a hole when lcn < 0.
struct NtfsRun {
    int64_t vcn = 0;
    int64_t lcn = -1;
    int64_t length = 0;
};

// Reads the runs of the attribute that holds a record's clusters: the unnamed
// $DATA of a file, the $I30 index allocation of a directory. A resident or
// absent attribute answers no runs. Fully maps the runlist first. Call under the lock.
NTSTATUS ReadRuns(ntfs_inode* ni, std::vector<NtfsRun>& out);

// Merges neighbours that continue each other (adjacent holes, or real runs
// back to back on the volume); drops empty runs.
std::vector<NtfsRun> MergeRuns(const std::vector<NtfsRun>& runs);

// The runs after the real clusters of VCNs [start, start + count) are placed,
// packed in VCN order, from `target` on; holes stay holes. Also lists the real
// runs that held those clusters before (`moved`). Answers false when the range
// leaves the runs.
bool RelocateRuns(const std::vector<NtfsRun>& runs, int64_t start, int64_t count, int64_t target,
                  std::vector<NtfsRun>& result, std::vector<NtfsRun>& moved);

}  // namespace tarvo::platform
