// NtfsDevice.h --- a libntfs-3g device (struct ntfs_device_operations) on top of a BlockDevice.
//
// All library I/O goes through the BlockDevice, so the power-loss and
// fault-injecting wrappers sit underneath the library exactly as under our
// own code: a library "sync" is a BlockDevice Flush.
#pragma once

#include "platform/blockio/BlockDevice.h"
#include "platform/ntfs/NtfsLib.h"

namespace tarvo::platform {

// What one library device keeps: the BlockDevice and the position of the
// library's seek/read/write calls. Owned by the caller of NewNtfsDevice.
struct NtfsDeviceState {
    BlockDevice* device = nullptr;
    s64 position = 0;
};

// Allocates a library device over `state.device`; `state` and its device must
// outlive it. The library device is freed by ntfs_umount (or ntfs_device_free
// when the mount failed). Call under NtfsLibraryMutex(). Answers null with
// errno set on failure.
struct ntfs_device* NewNtfsDevice(NtfsDeviceState& state);

}  // namespace tarvo::platform
