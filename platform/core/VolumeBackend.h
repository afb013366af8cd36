// VolumeBackend.h --- the file-system control operations one volume answers, in NT shapes.
//
// Every volume the program can work on (a simulated volume, a real FAT or NTFS
// image or device) is one VolumeBackend. The Win32-shaped calls of the drives
// layer (CreateFileA, NtFsControlFile, FindFirstFileA, ...) resolve a drive
// letter to its backend and forward here, so the code above never knows which
// backend it talks to.
//
// Contract for implementers:
// - Every method may be called from any thread; a backend serialises its own
//   state (the UI thread lists directories while a worker moves files).
// - Paths are relative to the volume root, backslash-separated, without a
//   leading backslash ("" is the root, "DOCS\A.TXT" a file). Names compare
//   case-insensitively; a component may be given by its long or its 8.3 name.
// - Nothing throws across this interface: failures answer an NT status.
// - A backend opened read-only answers STATUS_MEDIA_WRITE_PROTECTED to moves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/FsctlBuffers.h"
#include "platform/core/NtTypes.h"

namespace tarvo::platform {

using Lcn = uint64_t;
using Vcn = uint64_t;
// The LCN of a virtual run (sparse range or unallocated compression-unit tail).
constexpr Lcn kVirtualLcn = ~uint64_t{0};

// A backend's stable identity of a file for the lifetime of the backend
// (an MFT record number, a directory-entry position, a simulated file index).
using FileId = uint64_t;

// GetVolumeInformationA fields.
struct VolumeInformation {
    std::string volumeName;
    DWORD serialNumber = 0;
    DWORD maximumComponentLength = 255;
    DWORD fileSystemFlags = 0;
    std::string fileSystemName;  // "NTFS", "FAT", "FAT32"
};

// GetDiskFreeSpaceA fields (32-bit, as the call delivers them).
struct DiskFreeSpace {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD numberOfFreeClusters = 0;
    DWORD totalNumberOfClusters = 0;
};

// One directory entry, as FindFirstFileA/FindNextFileA deliver it.
struct DirectoryEntry {
    std::string name;       // long name
    std::string shortName;  // 8.3 alternate name; empty when the long name is already 8.3
    DWORD attributes = 0;   // FILE_ATTRIBUTE_*
    FILETIME lastWriteTime{};
    uint64_t size = 0;      // bytes
    FileId id = 0;
};

// The answer of a control call. When status is STATUS_PENDING the operation
// completes when the caller waits on the file handle; completionStatus is what
// the I/O status block then holds.
struct FsctlResult {
    NTSTATUS status = STATUS_SUCCESS;
    size_t bytesReturned = 0;
    NTSTATUS completionStatus = STATUS_SUCCESS;
};

// What CreateFileA asked for when it opened a file on this volume.
struct FileOpenRequest {
    DWORD desiredAccess = 0;
    DWORD shareMode = 0;
    DWORD flagsAndAttributes = 0;
    bool deviceForm = false;  // opened as "\\.\C:\PATH" rather than "C:\PATH"
};

class VolumeBackend {
public:
    virtual ~VolumeBackend() = default;

    virtual NTSTATUS GetVolumeInformation(VolumeInformation& out) = 0;
    // May fail (a simulated fault); callers then use GetNtfsVolumeData.
    virtual NTSTATUS GetDiskFreeSpace(DiskFreeSpace& out) = 0;
    virtual UINT GetDriveType() = 0;  // DRIVE_FIXED, DRIVE_REMOVABLE, ...

    // FSCTL_GET_NTFS_VOLUME_DATA. Non-NTFS volumes answer STATUS_INVALID_DEVICE_REQUEST.
    virtual FsctlResult GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) = 0;

    // FSCTL_GET_VOLUME_BITMAP into the caller's buffer (VOLUME_BITMAP_BUFFER
    // layout). When the buffer holds fewer bits than the volume has clusters
    // from startingLcn on, as many whole bytes as fit are delivered with
    // STATUS_BUFFER_OVERFLOW; a buffer smaller than the header answers
    // STATUS_BUFFER_TOO_SMALL; a startingLcn past the end STATUS_INVALID_PARAMETER.
    virtual FsctlResult GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) = 0;

    // The entries of one directory ("." and ".." are not included).
    // STATUS_OBJECT_PATH_NOT_FOUND when the path is not a directory of the volume.
    virtual NTSTATUS ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) = 0;

    // ListDirectory's answer, shared: a backend that keeps its listings
    // unchanged answers its own without a copy; by default a fresh listing.
    virtual NTSTATUS ListDirectoryShared(std::string_view directoryPath,
                                         std::shared_ptr<const std::vector<DirectoryEntry>>& out) {
        auto listing = std::make_shared<std::vector<DirectoryEntry>>();
        const NTSTATUS status = ListDirectory(directoryPath, *listing);
        if (status == STATUS_SUCCESS) out = std::move(listing);
        return status;
    }

    // The entry of one file or directory.
    virtual NTSTATUS StatFile(std::string_view path, DirectoryEntry& out) = 0;

    // Opens a file for extent reading or moving. The backend refuses what its
    // file system refuses (system files, files in use, ...), answering the status
    // CreateFileA would turn into its last error.
    virtual NTSTATUS OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) = 0;

    // FSCTL_GET_RETRIEVAL_POINTERS from startingVcn into the caller's buffer
    // (RETRIEVAL_POINTERS_BUFFER layout). When more extents follow than fit,
    // the ones that fit are delivered with STATUS_BUFFER_OVERFLOW. A file with
    // no clusters answers STATUS_END_OF_FILE with no bytes; a startingVcn past
    // the end STATUS_END_OF_FILE too.
    virtual FsctlResult GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) = 0;

    // FSCTL_MOVE_FILE: moves clusterCount clusters of the file from startingVcn
    // to targetLcn, crash-safely for real volumes. Targets not free answer
    // STATUS_ALREADY_COMMITTED and move nothing; a range outside the file or the
    // volume STATUS_INVALID_PARAMETER; a read-only volume STATUS_MEDIA_WRITE_PROTECTED.
    virtual FsctlResult MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) = 0;

    // Makes every completed move durable (called when a volume handle closes).
    virtual NTSTATUS Flush() = 0;

    // The backend's own consistency check. Answers true when consistent; the
    // report lists what was found either way.
    virtual bool CheckConsistency(std::string& report) = 0;
};

}  // namespace tarvo::platform
