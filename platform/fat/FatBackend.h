// FatBackend.h --- opening a real FAT12/16/32 volume (image file or unmounted device) as a VolumeBackend.
#pragma once

#include <memory>
#include <string>

#include "platform/blockio/BlockDevice.h"
#include "platform/core/VolumeBackend.h"

namespace tarvo::platform {

// True when the device starts with a FAT boot sector (for choosing a backend).
bool IsFatVolume(BlockDevice& device);

// Reads and validates the whole volume and answers its backend, or null with a
// message in `error` (damaged volume, dirty flag or disagreeing FAT copies with
// no record of ours to explain them, I/O error). When our record of an
// interrupted move is found, a writable device is repaired before this returns;
// a read-only one is shown as it will be after the repair. Nothing is written
// before the whole volume has been validated. The device's name keys the move
// record under $TARVO_HOME/fat-intent.
std::unique_ptr<VolumeBackend> OpenFatBackend(std::unique_ptr<BlockDevice> device, std::string& error);

// Validates the volume without opening it for use (a repair pending in our
// record is taken into account but not written). Answers true when consistent;
// the report says what was checked or found.
bool CheckFatVolume(BlockDevice& device, std::string& report);

}  // namespace tarvo::platform
