// VolumeOps.h --- the volume and file operations of a job: drive probe, open, control calls.
//
// All operations run on the job's worker thread except the drive probes, which
// the UI thread calls. None keeps a file handle past its return; the volume
// handle opened by OpenDrive lives as long as the job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/FsctlBuffers.h"
#include "volume/VolumeTypes.h"

namespace tarvo::volume {

class CDefragJob;
class ViewSink;

// Whether removable drives count as eligible (the RemovableDrives setting).
enum class RemovableDrives { Excluded, Included };

// The probe by letter: a letter below 'A' (or not a letter) is refused without
// touching the platform; otherwise the volume must open for reading and its
// type be fixed, or removable while removable drives are included. The
// one-argument form reads RemovableDrives from the settings.
bool IsDriveEligible(char letter);
bool IsDriveEligible(char letter, RemovableDrives removable);

// The probe by index (0 = A). Accepts and rejects exactly as the letter probe;
// an index outside 0..25 is refused.
bool IsDriveIndexEligible(int driveIndex);
bool IsDriveIndexEligible(int driveIndex, RemovableDrives removable);

// Fills the volume part of the job and opens its volume handle. Answers 1 or 0;
// reports as the failure table of the volume layer says (no view, volume does
// not open). blockSize is stored unchanged.
int OpenDrive(CDefragJob& job, ViewSink* view, const std::string& drive, int blockSize);

// Opens the drive's volume briefly and asks its NTFS volume data. False when the
// volume does not open (the system's text for the error is reported) or the
// query fails (quietly, e.g. a FAT volume).
bool QueryNtfsVolumeData(int driveIndex, platform::NTFS_VOLUME_DATA_BUFFER& out);

// Reads the MFT figures (valid data length, clusters, start, zone) into the job
// through its volume handle. Answers the call's status; on failure the figures
// are 0 (no MFT zone).
platform::NTSTATUS ReadMftFigures(CDefragJob& job);

// The size in bytes of a whole-volume bitmap buffer: header + one bit per cluster.
size_t VolumeBitmapBufferSize(uint64_t totalClusters);

// Reads the whole volume bitmap from LCN 0 into buffer (VOLUME_BITMAP_BUFFER
// layout) in one call. 1 when the status is 0; otherwise 0, and the four
// statuses STATUS_PENDING, STATUS_BUFFER_OVERFLOW, STATUS_BUFFER_TOO_SMALL and
// STATUS_INVALID_PARAMETER are logged by name. No retry.
int ReadVolumeBitmap(CDefragJob& job, void* buffer, size_t length);

// How a file is opened for extent reading or moving.
enum class ExtentOpenForm {
    Device,            // "\\.\" + path, read access, share read/write/delete
    PlainShareRead,    // path, no access, share read (analysis fallback)
    PlainShareReadWrite  // path, no access, share read and write (refresh, moves)
};

// Opens a file of the job's drive for its extents; INVALID_HANDLE_VALUE on failure
// (the last error says why).
platform::HANDLE OpenFileForExtents(const std::string& path, ExtentOpenForm form);

// The program's one retrieval-pointer buffer: 16-byte header + 32,768 extents.
constexpr size_t kRetrievalBufferSize = 0x80010;
constexpr uint32_t kRetrievalBufferExtents = 32768;

struct RetrievalAnswer {
    platform::NTSTATUS status = platform::STATUS_SUCCESS;    // the call's status
    platform::NTSTATUS ioStatus = platform::STATUS_SUCCESS;  // after completion of a pending call
    size_t bytesReturned = 0;  // of the completed call
};

// FSCTL_GET_RETRIEVAL_POINTERS from startingVcn into buffer (at least
// kRetrievalBufferSize bytes). A pending answer is completed by waiting on the
// file handle for at most 10,000 ms; ioStatus then holds its final status
// (STATUS_PENDING still when the wait timed out).
RetrievalAnswer ReadRetrievalPointers(platform::HANDLE file, Vcn startingVcn, void* buffer, size_t length);

struct MoveAnswer {
    platform::NTSTATUS status = platform::STATUS_SUCCESS;    // the call's status
    platform::NTSTATUS ioStatus = platform::STATUS_SUCCESS;  // the I/O status block after completion
};

// FSCTL_MOVE_FILE on the job's volume handle: clusterCount clusters of the open
// file from startingVcn to targetLcn. A pending answer is completed by waiting
// on the file handle for at most 10,000 ms.
MoveAnswer MoveClusters(CDefragJob& job, platform::HANDLE file, Vcn startingVcn, Lcn targetLcn,
                        platform::DWORD clusterCount);

// Makes the moves of the job's volume durable (NtFlushBuffersFile on its
// volume handle). Answers the flush's status.
platform::NTSTATUS FlushVolume(CDefragJob& job);

// The NTFS cluster-size rule: an NTFS volume with clusters above 4,096 bytes is
// neither analysed nor defragmented. FAT has no limit.
bool ClusterSizeSupported(const CDefragJob& job);

}  // namespace tarvo::volume
