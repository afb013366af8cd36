// CommandDrive.cpp --- tarvoctl drive map|unmap|list: the letters of $TARVO_HOME/dosdevices.
#include <cstdio>

#include "platform/drives/BackendFactory.h"
#include "platform/drives/Drives.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

namespace {
using namespace platform;

const char* DriveTypeName(UINT type) {
    switch (type) {
        case DRIVE_REMOVABLE:
            return "removable";
        case DRIVE_FIXED:
            return "fixed";
        case DRIVE_REMOTE:
            return "network";
        case DRIVE_CDROM:
            return "cdrom";
        case DRIVE_RAMDISK:
            return "ramdisk";
        default:
            return "unknown";
    }
}

int Map(const Arguments& args) {
    char letter = args.size() == 2 ? ParseDriveLetter(args[0]) : 0;
    if (letter == 0) {
        std::fprintf(stderr, "usage: tarvoctl drive map D: PATH\n");
        return 2;
    }
    std::string error;
    if (!MapDrive(letter, args[1], error)) {
        std::fprintf(stderr, "tarvoctl drive map: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int Unmap(const Arguments& args) {
    char letter = args.size() == 1 ? ParseDriveLetter(args[0]) : 0;
    if (letter == 0) {
        std::fprintf(stderr, "usage: tarvoctl drive unmap D:\n");
        return 2;
    }
    std::string error;
    if (!UnmapDrive(letter, error)) {
        std::fprintf(stderr, "tarvoctl drive unmap: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int List(const Arguments& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: tarvoctl drive list\n");
        return 2;
    }
    std::printf("%-6s %-10s %-6s %16s  %s\n", "DRIVE", "TYPE", "FS", "SIZE", "BACKING PATH");
    for (const DriveMapping& drive : ListDriveMappings()) {
        NTSTATUS status = STATUS_SUCCESS;
        std::string error;
        auto backend = OpenVolumeBackend(drive.target, status, error, BackendAccess::ReadOnly);
        std::string type = "-", fs = "-", size = "-";
        if (backend) {
            type = DriveTypeName(backend->GetDriveType());
            VolumeInformation info;
            if (backend->GetVolumeInformation(info) == STATUS_SUCCESS) {
                fs = info.fileSystemName;
            }
            NTFS_VOLUME_DATA_BUFFER ntfs{};
            DiskFreeSpace space;
            if (backend->GetNtfsVolumeData(ntfs).status == STATUS_SUCCESS) {
                size = std::to_string(static_cast<uint64_t>(ntfs.TotalClusters.QuadPart) * ntfs.BytesPerCluster);
            } else if (backend->GetDiskFreeSpace(space) == STATUS_SUCCESS) {
                size = std::to_string(uint64_t{space.totalNumberOfClusters} * space.sectorsPerCluster * space.bytesPerSector);
            }
        } else {
            type = "missing";
        }
        std::printf("%c:     %-10s %-6s %16s  %s\n", drive.letter, type.c_str(), fs.c_str(), size.c_str(),
                    drive.target.c_str());
    }
    return 0;
}

CommandRegistration g_map{{"drive map", "drive map D: PATH", "map a drive letter to an image, device or simulated volume", Map}};
CommandRegistration g_unmap{{"drive unmap", "drive unmap D:", "remove a drive letter", Unmap}};
CommandRegistration g_list{{"drive list", "drive list", "list the drive letters with type, file system, size and path", List}};
}  // namespace

}  // namespace tarvo::tools
