// VolTarget.h --- the volume a vol subcommand names: a drive letter ("D:") or a volume file.
#pragma once

#include <memory>
#include <string>

#include "platform/core/VolumeBackend.h"

namespace tarvo::tools {

struct VolTarget {
    std::shared_ptr<platform::VolumeBackend> backend;
    std::string pathPrefix;  // "D:" for a drive, "" for a file
};

enum class VolAccess { ReadWrite, ReadOnly };

// Opens "D:" through the drive mapping, anything else as a volume file. False
// with a message when it cannot be opened.
bool OpenVolTarget(const std::string& name, VolAccess access, VolTarget& out, std::string& error);

}  // namespace tarvo::tools
