// NtfsBackend.h --- opens a real NTFS volume (image file or unmounted device) as a VolumeBackend.
#pragma once

#include <memory>
#include <string>

#include "platform/blockio/BlockDevice.h"
#include "platform/core/VolumeBackend.h"

namespace tarvo::platform {

// Answers true when the first sector holds an NTFS boot sector (OEM id "NTFS",
// sane sector and cluster sizes, the 0x55AA signature). Reads nothing else.
bool IsNtfsBootSector(const void* sector, size_t length);

// Reads the first sector of `device` and applies IsNtfsBootSector.
bool DeviceHoldsNtfs(BlockDevice& device);

// Opens the NTFS volume on `device` through libntfs-3g. A writable device is
// first repaired from the intent record a crashed run of ours left (torn MFT
// records restored, leaked clusters freed, our dirty flag cleared); a volume
// the library will not mount read-write (unclean journal, hibernated Windows)
// or marked dirty by someone else is refused with a message saying what to do.
// Nothing is written before these checks. On failure answers null and sets
// `error`. Any thread; calls into the library are serialised process-wide.
std::unique_ptr<VolumeBackend> OpenNtfsBackend(std::unique_ptr<BlockDevice> device, std::string& error);

// Opens the image or device at `path` (OpenBlockDevice) and then as above. A
// ReadWrite open of a file that may only be read fails; callers may retry ReadOnly.
std::unique_ptr<VolumeBackend> OpenNtfsBackend(const std::string& path, DeviceAccess access, std::string& error);

}  // namespace tarvo::platform
