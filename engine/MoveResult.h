// MoveResult.h --- what every move operation and the methods' own checks answer.
#pragma once

#include <cstdint>

#include "platform/core/NtTypes.h"

namespace tarvo::engine {

// 1 moved, 0 failed, 10 stopped, 11 gave up, 13 cannot open, 14 no free space,
// or an NT status of the move call passed through.
using MoveResult = uint32_t;

constexpr MoveResult kMoveFailed = 0;
constexpr MoveResult kMoved = 1;
constexpr MoveResult kMoveStopped = 10;
constexpr MoveResult kMoveGaveUp = 11;
constexpr MoveResult kMoveCannotOpen = 13;
constexpr MoveResult kMoveNoFreeSpace = 14;  // set by the methods only
constexpr MoveResult kMoveAlreadyCommitted = static_cast<MoveResult>(platform::STATUS_ALREADY_COMMITTED);
constexpr MoveResult kMoveInvalidParameter = static_cast<MoveResult>(platform::STATUS_INVALID_PARAMETER);
constexpr MoveResult kMoveWriteProtected = static_cast<MoveResult>(platform::STATUS_MEDIA_WRITE_PROTECTED);
// The device failed a read or a write, or had no room left for one.
constexpr MoveResult kMoveDeviceError = static_cast<MoveResult>(platform::STATUS_IO_DEVICE_ERROR);
constexpr MoveResult kMoveDiskFull = static_cast<MoveResult>(platform::STATUS_DISK_FULL);

constexpr bool IsDeviceFailure(MoveResult result) { return result == kMoveDeviceError || result == kMoveDiskFull; }

// Whether the result ends the whole run: no further move on this volume can be
// trusted to succeed, so going on would only report failures as files given up.
constexpr bool EndsRun(MoveResult result) { return result == kMoveWriteProtected || IsDeviceFailure(result); }

}  // namespace tarvo::engine
