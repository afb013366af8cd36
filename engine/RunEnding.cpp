// RunEnding.cpp --- reporting the end of a run on a write-protected or failing volume; the closing flush.
#include "engine/RunEnding.h"

#include "engine/EngineReport.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

void ReportRunEnding(const volume::CDefragJob& job, MoveResult result) {
    if (result == kMoveWriteProtected) {
        EngineReport(app::MSG_ERR_WRITE_PROTECTED, job.m_rootPath.c_str());
        return;
    }
    const auto status = static_cast<platform::NTSTATUS>(result);
    EngineReport(app::MSG_ERR_DEVICE_FAILED, job.m_rootPath.c_str(), platform::NtStatusName(status),
                 platform::Win32ErrorText(platform::NtStatusToWin32Error(status)));
}

MoveResult FlushMoves(volume::CDefragJob& job) {
    const platform::NTSTATUS status = volume::FlushVolume(job);
    if (status == platform::STATUS_SUCCESS) return kMoved;
    const auto result = static_cast<MoveResult>(status);
    // Whatever else a flush answers, the moves did not reach the device.
    return IsDeviceFailure(result) ? result : kMoveDeviceError;
}

}  // namespace tarvo::engine
