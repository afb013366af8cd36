// SimTypes.h --- the data model of a simulated volume: geometry, nodes, runs and faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/VolumeBackend.h"

namespace tarvo::platform {

// The file system a simulated volume pretends to be.
enum class SimFileSystem : uint8_t { Ntfs = 0, Fat = 1, Fat32 = 2 };

// "NTFS", "FAT" or "FAT32".
const char* SimFileSystemName(SimFileSystem fileSystem);

// One extent in the shape the retrieval pointers deliver: it covers the VCNs from
// the previous run's nextVcn (0 for the first) up to nextVcn; lcn is kVirtualLcn
// for a virtual run.
struct SimRun {
    Vcn nextVcn = 0;
    Lcn lcn = 0;
    bool operator==(const SimRun&) const = default;
};

// What kind of node a file is, which decides how the volume treats it.
enum class SimFileKind : uint8_t {
    Normal = 0,
    Compressed = 1,  // NTFS: runs in 16-cluster units, moved only in whole units
    Sparse = 2,      // NTFS: may have virtual runs
    PageFile = 3,    // listed, but refuses every open (in use by the system)
};

// Node flags.
constexpr uint16_t kSimDirectory = 0x0001;
constexpr uint16_t kSimCompressed = 0x0002;
constexpr uint16_t kSimSparse = 0x0004;
constexpr uint16_t kSimPageFile = 0x0008;  // listed, never opens
constexpr uint16_t kSimMetadata = 0x0010;  // unlisted system area (MFT, FAT, another program's clusters)
constexpr uint16_t kSimForeign = 0x0020;   // the clusters "another program" allocated

constexpr uint32_t kSimNoNode = 0xFFFFFFFFu;

// One file, directory or system area. Names live in the volume's name pool.
struct SimNode {
    uint32_t parent = kSimNoNode;
    uint32_t firstChild = kSimNoNode;
    uint32_t lastChild = kSimNoNode;
    uint32_t nextSibling = kSimNoNode;
    uint32_t nameOffset = 0;
    uint32_t shortOffset = 0;
    uint16_t nameLength = 0;
    uint16_t shortLength = 0;
    uint16_t flags = 0;
    uint32_t attributes = 0;
    uint64_t lastWrite = 0;  // FILETIME as one 64-bit count
    uint64_t size = 0;       // bytes
    std::vector<SimRun> runs;

    bool IsDirectory() const { return (flags & kSimDirectory) != 0; }
    Vcn VirtualLength() const { return runs.empty() ? 0 : runs.back().nextVcn; }
};

// A concurrent writer: after the n-th completed move, "another program" allocates
// the given runs (those of their clusters that are still free).
struct SimRace {
    uint64_t afterMove = 0;
    Lcn lcn = 0;
    uint64_t count = 0;
    bool fired = false;
};

// Faults injected into one volume; stored with it.
struct SimFaults {
    bool writeProtected = false;          // every move answers STATUS_MEDIA_WRITE_PROTECTED
    std::vector<std::string> unopenable;  // paths (volume-relative) whose open answers STATUS_SHARING_VIOLATION
    std::vector<SimRace> races;
    uint32_t pendingEvery = 0;       // every n-th retrieval or move call answers STATUS_PENDING (0 = never)
    uint32_t bitmapOverflowReads = 0;  // this many bitmap reads answer STATUS_BUFFER_OVERFLOW (~0u = all)
    bool freeSpaceFails = false;     // GetDiskFreeSpace answers STATUS_UNSUCCESSFUL
};

// How a new volume is laid out.
struct SimVolumeShape {
    SimFileSystem fileSystem = SimFileSystem::Ntfs;
    uint64_t totalClusters = 0;
    uint32_t bytesPerSector = 512;
    uint32_t bytesPerCluster = 4096;
    UINT driveType = DRIVE_FIXED;
    std::string volumeName = "SIMULATED";
    DWORD serialNumber = 0x5EED0001;
    double mftZonePercent = 12.5;  // NTFS: share of the volume reserved for the MFT after it
    uint64_t mftClusters = 0;      // NTFS: 0 derives a size from the volume size
};

// The figures of an NTFS personality (all 0 on FAT).
struct SimNtfsLayout {
    Lcn mftStart = 0;
    Lcn mft2Start = 0;
    Lcn mftZoneStart = 0;
    Lcn mftZoneEnd = 0;  // inclusive, as the NTFS volume data reports it
    uint64_t mftValidDataLength = 0;
};

}  // namespace tarvo::platform
