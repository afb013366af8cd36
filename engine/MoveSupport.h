// MoveSupport.h --- pieces the move operations share: the answer mapping and the fragmented-file count rule.
#pragma once

#include "engine/MoveResult.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

// The MoveResult of one completed move call: 1 when both statuses are 0; the
// three statuses the callers tell apart and the device failures
// (STATUS_IO_DEVICE_ERROR, STATUS_DISK_FULL) as they are; 0 for another failure
// in the I/O status block; else the call's status.
MoveResult MapMoveAnswer(const volume::MoveAnswer& answer);

// Takes the file's fragmented test before the moves; Apply takes it again and
// moves the job's fragmented-file count by one when it changed, sending the new count.
class FragmentedCountRule {
public:
    explicit FragmentedCountRule(volume::FileRecord& file) : m_before(file.IsFragmented()) {}
    void Apply(volume::CDefragJob& job, volume::FileRecord& file) const;
    bool Before() const { return m_before; }

private:
    bool m_before;
};

}  // namespace tarvo::engine
