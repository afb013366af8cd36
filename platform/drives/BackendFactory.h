// BackendFactory.h --- opens the right backend for a volume file or device by looking at its first sectors.
#pragma once

#include <memory>
#include <string>

#include "platform/core/VolumeBackend.h"

namespace tarvo::platform {

// A simulated volume file, a FAT or an NTFS image or block device. Opens
// read-write when possible, else read-only (moves then answer
// STATUS_MEDIA_WRITE_PROTECTED). Null with a status and a message otherwise
// ("unrecognised volume format" for anything else).
// ReadOnly never writes (for reports and checks).
enum class BackendAccess { ReadWrite, ReadOnly };
std::shared_ptr<VolumeBackend> OpenVolumeBackend(const std::string& path, NTSTATUS& status, std::string& error,
                                                 BackendAccess access = BackendAccess::ReadWrite);

}  // namespace tarvo::platform
