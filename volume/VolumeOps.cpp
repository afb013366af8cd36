// VolumeOps.cpp --- drive probes, OpenDrive, NTFS data, volume bitmap, retrieval pointers, moves.
#include "volume/VolumeOps.h"

#include <cctype>
#include <cstring>

#include "app/Settings.h"
#include "platform/drives/Win32Files.h"
#include "volume/DefragJob.h"
#include "volume/MessageIds.h"
#include "volume/ViewSink.h"

namespace tarvo::volume {

using namespace tarvo::platform;

namespace {

constexpr DWORD kPendingWaitMs = 10000;
constexpr const char* kRootSuffix = ":\\";  // string 33208

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

char NormalisedLetter(char letter) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

RemovableDrives RemovableFromSettings() {
    return app::Settings().RemovableDrives() ? RemovableDrives::Included : RemovableDrives::Excluded;
}

bool ProbeDrive(char letter, DWORD flags, RemovableDrives removable) {
    if (letter < 'A') return false;
    letter = NormalisedLetter(letter);
    if (letter < 'A' || letter > 'Z') return false;
    HANDLE volume = CreateFileA(VolumePath(letter).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, flags, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return false;
    CloseHandle(volume);
    const std::string root = std::string(1, letter) + kRootSuffix;
    switch (GetDriveTypeA(root.c_str())) {
    case DRIVE_FIXED:
        return true;
    case DRIVE_REMOVABLE:
        return removable == RemovableDrives::Included;
    default:
        return false;
    }
}

const char* BitmapStatusName(NTSTATUS status) {
    switch (status) {
    case STATUS_PENDING: return "STATUS_PENDING";
    case STATUS_BUFFER_OVERFLOW: return "STATUS_BUFFER_OVERFLOW";
    case STATUS_BUFFER_TOO_SMALL: return "STATUS_BUFFER_TOO_SMALL";
    case STATUS_INVALID_PARAMETER: return "STATUS_INVALID_PARAMETER";
    default: return nullptr;
    }
}

// Completes a pending control call on file: the I/O status after the wait, or
// STATUS_PENDING when it did not complete in time.
NTSTATUS CompletePending(HANDLE file, const IO_STATUS_BLOCK& io) {
    if (WaitForSingleObject(file, kPendingWaitMs) != WAIT_OBJECT_0) return STATUS_PENDING;
    return io.Status;
}

}  // namespace

bool IsDriveEligible(char letter) {
    if (letter < 'A') return false;
    return IsDriveEligible(letter, RemovableFromSettings());
}

bool IsDriveEligible(char letter, RemovableDrives removable) {
    return ProbeDrive(letter, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_BACKUP_SEMANTICS,
                      removable);
}

bool IsDriveIndexEligible(int driveIndex) {
    if (driveIndex < 0 || driveIndex > 25) return false;
    return IsDriveIndexEligible(driveIndex, RemovableFromSettings());
}

bool IsDriveIndexEligible(int driveIndex, RemovableDrives removable) {
    if (driveIndex < 0 || driveIndex > 25) return false;
    return ProbeDrive(static_cast<char>('A' + driveIndex), FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL,
                      removable);
}

int OpenDrive(CDefragJob& job, ViewSink* view, const std::string& drive, int blockSize) {
    if (view == nullptr) {
        VolumeReport(kMsgDiagnostic, "Error: No View available.");
        return 0;
    }
    view->SetDriveFlag(0);
    if (drive.empty() || !std::isalpha(static_cast<unsigned char>(drive[0]))) return 0;
    const char letter = NormalisedLetter(drive[0]);
    const std::string root = std::string(1, letter) + kRootSuffix;

    char volumeName[256] = {};
    char fileSystemName[256] = {};
    DWORD serial = 0, maxComponent = 0, fsFlags = 0;
    if (!GetVolumeInformationA(root.c_str(), volumeName, 255, &serial, &maxComponent, &fsFlags, fileSystemName,
                               255))
        return 0;

    job.m_rootPath = root;
    job.m_volumeName = volumeName;
    job.m_serialNumber = serial;
    job.m_maximumComponentLength = maxComponent;
    job.m_fileSystemFlags = fsFlags;
    job.m_fileSystemName = fileSystemName;
    job.m_drive = std::string(1, letter);
    job.m_view = view;
    job.m_blockSize = blockSize;
    job.m_workerActive = false;

    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        NTFS_VOLUME_DATA_BUFFER data{};
        if (!QueryNtfsVolumeData(letter - 'A', data)) return 0;
        // A volume data answer without clusters cannot give a geometry.
        if (data.TotalClusters.QuadPart <= 0) return 0;
        sectorsPerCluster = static_cast<DWORD>(data.NumberSectors.QuadPart / data.TotalClusters.QuadPart);
        bytesPerSector = data.BytesPerSector;
        freeClusters = data.FreeClusters.u.LowPart;
        totalClusters = data.TotalClusters.u.LowPart;
    }
    job.m_sectorsPerCluster = sectorsPerCluster;
    job.m_bytesPerSector = bytesPerSector;
    job.m_freeClusters = freeClusters;
    job.m_totalClusters = totalClusters;
    job.m_bytesPerCluster = static_cast<uint32_t>(sectorsPerCluster * bytesPerSector);

    job.CloseVolume();
    job.m_volume = CreateFileA(VolumePath(letter).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (job.m_volume == INVALID_HANDLE_VALUE) {
        VolumeReport(kMsgInternalError, "INVALID_HANDLE_VALUE");
        return 0;
    }
    return 1;
}

bool QueryNtfsVolumeData(int driveIndex, NTFS_VOLUME_DATA_BUFFER& out) {
    if (driveIndex < 0 || driveIndex > 25) return false;
    HANDLE volume = CreateFileA(VolumePath(static_cast<char>('A' + driveIndex)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        VolumeReport(kMsgDiagnostic, Win32ErrorText(GetLastError()));
        return false;
    }
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_NTFS_VOLUME_DATA,
                                            nullptr, 0, &out, sizeof(NTFS_VOLUME_DATA_BUFFER));
    CloseHandle(volume);
    return status == STATUS_SUCCESS;
}

NTSTATUS ReadMftFigures(CDefragJob& job) {
    LARGE_INTEGER input{};
    input.QuadPart = 0;
    alignas(8) BYTE output[168] = {};
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtFsControlFile(job.m_volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_NTFS_VOLUME_DATA,
                                            &input, sizeof(input), output, sizeof(output));
    NTFS_VOLUME_DATA_BUFFER data{};
    if (status == STATUS_SUCCESS) std::memcpy(&data, output, sizeof(data));
    job.m_mftValidDataLength = static_cast<uint64_t>(data.MftValidDataLength.QuadPart);
    job.m_mftClusters = job.m_bytesPerCluster ? job.m_mftValidDataLength / job.m_bytesPerCluster : 0;
    job.m_mftStart = static_cast<uint64_t>(data.MftStartLcn.QuadPart);
    job.m_mftReservedStart = static_cast<uint64_t>(data.MftZoneStart.QuadPart);
    job.m_mftReservedEnd = static_cast<uint64_t>(data.MftZoneEnd.QuadPart);
    return status;
}

size_t VolumeBitmapBufferSize(uint64_t totalClusters) {
    return kVolumeBitmapHeaderSize + static_cast<size_t>((totalClusters + 7) / 8);
}

int ReadVolumeBitmap(CDefragJob& job, void* buffer, size_t length) {
    LARGE_INTEGER start{};
    start.QuadPart = 0;
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtFsControlFile(job.m_volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP,
                                            &start, sizeof(start), buffer, static_cast<ULONG>(length));
    if (status == STATUS_SUCCESS) return 1;
    if (const char* name = BitmapStatusName(status)) VolumeReport(kMsgInternalError, name);
    return 0;
}

HANDLE OpenFileForExtents(const std::string& path, ExtentOpenForm form) {
    constexpr DWORD flags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_BACKUP_SEMANTICS;
    switch (form) {
    case ExtentOpenForm::Device:
        return CreateFileA(("\\\\.\\" + path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    case ExtentOpenForm::PlainShareRead:
        return CreateFileA(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
    case ExtentOpenForm::PlainShareReadWrite:
        return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    }
    return INVALID_HANDLE_VALUE;
}

RetrievalAnswer ReadRetrievalPointers(HANDLE file, Vcn startingVcn, void* buffer, size_t length) {
    STARTING_VCN_INPUT_BUFFER input{};
    input.StartingVcn.QuadPart = static_cast<LONGLONG>(startingVcn);
    IO_STATUS_BLOCK io{};
    RetrievalAnswer answer;
    answer.status = NtFsControlFile(file, nullptr, nullptr, nullptr, &io, FSCTL_GET_RETRIEVAL_POINTERS, &input,
                                    sizeof(input), buffer, static_cast<ULONG>(length));
    answer.ioStatus = answer.status;
    if (answer.status == STATUS_PENDING) answer.ioStatus = CompletePending(file, io);
    answer.bytesReturned = io.Information;
    return answer;
}

MoveAnswer MoveClusters(CDefragJob& job, HANDLE file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) {
    MOVE_FILE_DATA data{};
    data.FileHandle = file;
    data.StartingVcn.QuadPart = static_cast<LONGLONG>(startingVcn);
    data.StartingLcn.QuadPart = static_cast<LONGLONG>(targetLcn);
    data.ClusterCount = clusterCount;
    IO_STATUS_BLOCK io{};
    MoveAnswer answer;
    answer.status = NtFsControlFile(job.m_volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &data,
                                    sizeof(data), nullptr, 0);
    answer.ioStatus = io.Status;
    if (answer.status == STATUS_PENDING) answer.ioStatus = CompletePending(file, io);
    return answer;
}

NTSTATUS FlushVolume(CDefragJob& job) {
    IO_STATUS_BLOCK io{};
    return NtFlushBuffersFile(job.m_volume, &io);
}

bool ClusterSizeSupported(const CDefragJob& job) { return !(job.IsNtfs() && job.m_bytesPerCluster > 4096); }

}  // namespace tarvo::volume
