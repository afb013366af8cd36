// VolTarget.cpp --- opening the volume a vol subcommand names.
#include "tools/tarvoctl/VolTarget.h"

#include "platform/drives/BackendFactory.h"
#include "platform/drives/Drives.h"

namespace tarvo::tools {

bool OpenVolTarget(const std::string& name, VolAccess access, VolTarget& out, std::string& error) {
    platform::NTSTATUS status = platform::STATUS_SUCCESS;
    char letter = name.size() == 2 || (name.size() == 3 && name[2] == '\\') ? platform::ParseDriveLetter(name) : 0;
    if (letter != 0) {
        out.backend = platform::OpenDriveBackend(letter, status, error);
        out.pathPrefix = std::string(1, letter) + ":";
    } else {
        out.backend = platform::OpenVolumeBackend(
            name, status, error,
            access == VolAccess::ReadOnly ? platform::BackendAccess::ReadOnly : platform::BackendAccess::ReadWrite);
        out.pathPrefix.clear();
    }
    return out.backend != nullptr;
}

}  // namespace tarvo::tools
