// FatGeometry.h --- the boot sector of a FAT volume: BPB validation and the layout it gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

enum class FatType { Fat12, Fat16, Fat32 };

// Where everything of a FAT volume lies, in bytes and clusters, from a validated boot sector.
struct FatGeometry {
    FatType type = FatType::Fat12;
    uint32_t bytesPerSector = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t bytesPerCluster = 0;
    uint32_t reservedSectors = 0;
    uint32_t numberOfFats = 0;
    uint32_t rootEntryCount = 0;  // FAT12/16 fixed root directory entries; 0 on FAT32
    uint64_t totalSectors = 0;
    uint32_t sectorsPerFat = 0;
    uint32_t rootCluster = 0;    // FAT32 only
    uint32_t fsInfoSector = 0;   // FAT32 only; 0 when the volume has none
    uint64_t rootDirOffset = 0;  // FAT12/16: byte offset of the fixed root directory
    uint64_t rootDirBytes = 0;
    uint64_t dataOffset = 0;     // byte offset of cluster 2
    uint32_t clusterCount = 0;   // data clusters, numbered 2 .. clusterCount + 1
    uint32_t volumeSerial = 0;
    std::string volumeLabel;     // from the boot sector, trailing blanks removed
    uint32_t dirtyFlagOffset = 0;  // the boot-sector byte whose bit 0 marks an unclean volume

    uint64_t FatOffset(uint32_t copy) const {
        return (uint64_t{reservedSectors} + uint64_t{copy} * sectorsPerFat) * bytesPerSector;
    }
    uint64_t FatBytes() const { return uint64_t{sectorsPerFat} * bytesPerSector; }
    uint64_t ClusterOffset(uint32_t cluster) const {
        return dataOffset + uint64_t{cluster - 2} * bytesPerCluster;
    }
    bool IsDataCluster(uint32_t cluster) const { return cluster >= 2 && cluster <= clusterCount + 1; }
    // The first value that marks a bad cluster (0xFF7, 0xFFF7, 0x0FFFFFF7); end-of-chain values lie above it.
    uint32_t BadMark() const;
    // "FAT" for FAT12 and FAT16, "FAT32" for FAT32.
    const char* FileSystemName() const { return type == FatType::Fat32 ? "FAT32" : "FAT"; }
};

// Parses and validates the boot sector (at least 512 bytes) of a device of
// deviceSize bytes. Impossible or unsupported values answer false with a
// message that names the field.
bool ParseFatBootSector(const uint8_t* sector, size_t length, uint64_t deviceSize, FatGeometry& out,
                        std::string& error);

// True when the sector looks like a FAT boot sector (signature, jump, sane BPB),
// without judging every field: for choosing a backend.
bool LooksLikeFatBootSector(const uint8_t* sector, size_t length);

}  // namespace tarvo::platform
