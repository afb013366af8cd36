// FsctlBuffers.h --- the published buffer layouts of the file-system control calls.
#pragma once

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

// An open object of our platform layer (volume, file, search, mutex, process).
// Opaque to callers; INVALID_HANDLE_VALUE marks a failed open.
struct HandleObject;
using HANDLE = HandleObject*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    uintptr_t Information;  // bytes returned
};

// FSCTL_GET_NTFS_VOLUME_DATA output: 96 bytes.
struct NTFS_VOLUME_DATA_BUFFER {
    LARGE_INTEGER VolumeSerialNumber;
    LARGE_INTEGER NumberSectors;
    LARGE_INTEGER TotalClusters;
    LARGE_INTEGER FreeClusters;
    LARGE_INTEGER TotalReserved;
    DWORD BytesPerSector;
    DWORD BytesPerCluster;
    DWORD BytesPerFileRecordSegment;
    DWORD ClustersPerFileRecordSegment;
    LARGE_INTEGER MftValidDataLength;
    LARGE_INTEGER MftStartLcn;
    LARGE_INTEGER Mft2StartLcn;
    LARGE_INTEGER MftZoneStart;
    LARGE_INTEGER MftZoneEnd;
};
static_assert(sizeof(NTFS_VOLUME_DATA_BUFFER) == 96);

// FSCTL_GET_VOLUME_BITMAP input and output. Bit n of Buffer[n / 8] (counted
// from StartingLcn) is set when cluster n is allocated.
struct STARTING_LCN_INPUT_BUFFER {
    LARGE_INTEGER StartingLcn;
};
struct VOLUME_BITMAP_BUFFER {
    LARGE_INTEGER StartingLcn;
    LARGE_INTEGER BitmapSize;  // clusters from StartingLcn to the end of the volume
    BYTE Buffer[1];
};
constexpr size_t kVolumeBitmapHeaderSize = 16;

// FSCTL_GET_RETRIEVAL_POINTERS input and output. Extent i covers the VCNs from
// the previous NextVcn (StartingVcn for i = 0) up to its own NextVcn; an Lcn of
// -1 marks a virtual run (sparse, or the unallocated tail of a compression unit).
struct STARTING_VCN_INPUT_BUFFER {
    LARGE_INTEGER StartingVcn;
};
struct RETRIEVAL_POINTERS_EXTENT {
    LARGE_INTEGER NextVcn;
    LARGE_INTEGER Lcn;
};
struct RETRIEVAL_POINTERS_BUFFER {
    DWORD ExtentCount;
    LARGE_INTEGER StartingVcn;
    RETRIEVAL_POINTERS_EXTENT Extents[1];
};
constexpr size_t kRetrievalPointersHeaderSize = 16;
static_assert(offsetof(RETRIEVAL_POINTERS_BUFFER, Extents) == kRetrievalPointersHeaderSize);

// FSCTL_MOVE_FILE input: 32 bytes.
struct MOVE_FILE_DATA {
    HANDLE FileHandle;
    LARGE_INTEGER StartingVcn;
    LARGE_INTEGER StartingLcn;
    DWORD ClusterCount;
};
static_assert(sizeof(MOVE_FILE_DATA) == 32);

}  // namespace tarvo::platform
