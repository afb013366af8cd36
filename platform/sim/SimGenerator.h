// SimGenerator.h --- makes a realistic simulated volume from a few figures and a seed.
#pragma once

#include <memory>
#include <string>

#include "platform/sim/SimVolume.h"

namespace tarvo::platform {

struct SimGenerateOptions {
    SimFileSystem fileSystem = SimFileSystem::Ntfs;
    uint64_t clusters = 262144;
    uint32_t bytesPerCluster = 4096;
    uint64_t files = 1000;
    uint64_t dirs = 0;             // 0: one directory per 20 files
    double fragmented = 0.3;       // share of files in pieces
    uint32_t maxFragments = 40;
    double compressed = 0.02;      // NTFS: share of compressed files
    double free = 0.25;            // share of the volume left free
    double mftZonePercent = 12.5;  // NTFS
    UINT driveType = DRIVE_FIXED;
    uint64_t seed = 1;
    uint64_t manyExtents = 0;      // > 0: one more file, "Many Extents.dat", with this many extents
    bool pageFile = true;          // an unmovable "pagefile.sys" in the root
};

// What the generator made (it may make fewer files than asked when the volume is full).
struct SimGenerateSummary {
    uint64_t files = 0;
    uint64_t directories = 0;
    uint64_t fragmentedFiles = 0;
    uint64_t compressedFiles = 0;
};

// The same options and seed always give the same volume. Null with a message
// when the options do not describe a volume.
std::shared_ptr<SimVolume> GenerateSimVolume(const SimGenerateOptions& options, SimGenerateSummary& summary,
                                             std::string& error);

}  // namespace tarvo::platform
