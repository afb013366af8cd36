// BackendFactory.cpp --- sniffing a volume's format and opening its backend.
#include "platform/drives/BackendFactory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fat/FatBackend.h"
#include "platform/ntfs/NtfsBackend.h"
#include "platform/sim/SimVolume.h"

namespace tarvo::platform {

namespace {
enum class VolumeFormat { Sim, Fat, Ntfs, Unknown };

VolumeFormat Sniff(const unsigned char* sector, size_t length) {
    if (SimVolume::IsSimVolumeFile(sector, length)) {
        return VolumeFormat::Sim;
    }
    if (length < 512 || sector[510] != 0x55 || sector[511] != 0xAA) {
        return VolumeFormat::Unknown;
    }
    if (std::memcmp(sector + 3, "NTFS    ", 8) == 0) {
        return VolumeFormat::Ntfs;
    }
    uint16_t bytesPerSector = static_cast<uint16_t>(sector[11] | (sector[12] << 8));
    unsigned sectorsPerCluster = sector[13];
    bool jump = sector[0] == 0xEB || sector[0] == 0xE9;
    if (jump && bytesPerSector >= 512 && bytesPerSector <= 4096 && (bytesPerSector & (bytesPerSector - 1)) == 0 &&
        sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0 && sector[16] != 0) {
        return VolumeFormat::Fat;  // a BIOS parameter block with at least one FAT
    }
    return VolumeFormat::Unknown;
}
}  // namespace

std::shared_ptr<VolumeBackend> OpenVolumeBackend(const std::string& path, NTSTATUS& status, std::string& error,
                                                 BackendAccess access) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        status = errno == ENOENT ? STATUS_OBJECT_NAME_NOT_FOUND : STATUS_ACCESS_DENIED;
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    unsigned char sector[512] = {};
    ssize_t got = ::pread(fd, sector, sizeof sector, 0);
    ::close(fd);
    VolumeFormat format = Sniff(sector, got > 0 ? static_cast<size_t>(got) : 0);
    switch (format) {
        case VolumeFormat::Sim: {
            auto volume = SimVolume::Open(
                path, access == BackendAccess::ReadOnly ? SimAccess::ReadOnly : SimAccess::ReadWrite, error);
            status = volume ? STATUS_SUCCESS : STATUS_DISK_CORRUPT_ERROR;
            return volume;
        }
        case VolumeFormat::Fat: {
            // ---- FAT backend (platform/fat): a write-protected image opens read-only, its moves refused. ----
            auto device = OpenBlockDevice(
                path, access == BackendAccess::ReadOnly ? DeviceAccess::ReadOnly : DeviceAccess::ReadWrite, error);
            if (!device && access != BackendAccess::ReadOnly && (errno == EACCES || errno == EROFS || errno == EPERM)) {
                device = OpenBlockDevice(path, DeviceAccess::ReadOnly, error);
            }
            if (!device) {
                status = errno == EBUSY ? STATUS_SHARING_VIOLATION : STATUS_ACCESS_DENIED;
                return nullptr;
            }
            std::shared_ptr<VolumeBackend> backend = OpenFatBackend(std::move(device), error);
            status = backend ? STATUS_SUCCESS : STATUS_DISK_CORRUPT_ERROR;
            return backend;
        }  // ---- end of the FAT backend ----
        case VolumeFormat::Ntfs: {
            // ---- NTFS backend (platform/ntfs): a write-protected image opens read-only, its moves refused. ----
            auto device = OpenBlockDevice(
                path, access == BackendAccess::ReadOnly ? DeviceAccess::ReadOnly : DeviceAccess::ReadWrite, error);
            if (!device && access != BackendAccess::ReadOnly && (errno == EACCES || errno == EROFS || errno == EPERM)) {
                device = OpenBlockDevice(path, DeviceAccess::ReadOnly, error);
            }
            if (!device) {
                status = errno == EBUSY ? STATUS_SHARING_VIOLATION : STATUS_ACCESS_DENIED;
                return nullptr;
            }
            std::shared_ptr<VolumeBackend> backend = OpenNtfsBackend(std::move(device), error);
            status = backend ? STATUS_SUCCESS : STATUS_DISK_CORRUPT_ERROR;
            return backend;
        }  // ---- end of the NTFS backend ----
        case VolumeFormat::Unknown:
            break;
    }
    status = STATUS_UNRECOGNIZED_VOLUME;
    error = path + ": unrecognised volume format";
    return nullptr;
}

}  // namespace tarvo::platform
