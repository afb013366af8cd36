// FatGeometry.cpp --- boot sector parsing: every BPB field checked before it is used.
#include "platform/fat/FatGeometry.h"

#include "platform/fat/FatEndian.h"

namespace tarvo::platform {

using fat::Le16;
using fat::Le32;

namespace {

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string TrimmedField(const uint8_t* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) {
        s.pop_back();
    }
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            c = '_';
        }
    }
    return s;
}

}  // namespace

uint32_t FatGeometry::BadMark() const {
    switch (type) {
        case FatType::Fat12: return 0xFF7;
        case FatType::Fat16: return 0xFFF7;
        case FatType::Fat32: return 0x0FFFFFF7;
    }
    return 0x0FFFFFF7;
}

bool LooksLikeFatBootSector(const uint8_t* s, size_t length) {
    if (length < 512 || s[510] != 0x55 || s[511] != 0xAA) {
        return false;
    }
    if (s[0] != 0xEB && s[0] != 0xE9) {
        return false;
    }
    uint32_t bps = Le16(s + 11);
    return (bps == 512 || bps == 1024 || bps == 2048 || bps == 4096) && IsPowerOfTwo(s[13]) &&
           Le16(s + 14) >= 1 && s[16] >= 1 && s[21] >= 0xF0;
}

bool ParseFatBootSector(const uint8_t* s, size_t length, uint64_t deviceSize, FatGeometry& g, std::string& error) {
    g = FatGeometry{};
    if (length < 512) {
        error = "the boot sector is shorter than 512 bytes";
        return false;
    }
    if (s[510] != 0x55 || s[511] != 0xAA) {
        error = "no boot sector signature (55 AA at offset 510): not a FAT volume";
        return false;
    }
    g.bytesPerSector = Le16(s + 11);
    if (g.bytesPerSector != 512 && g.bytesPerSector != 1024 && g.bytesPerSector != 2048 &&
        g.bytesPerSector != 4096) {
        error = "impossible bytes per sector (" + std::to_string(g.bytesPerSector) + ")";
        return false;
    }
    g.sectorsPerCluster = s[13];
    if (!IsPowerOfTwo(g.sectorsPerCluster)) {
        error = "impossible sectors per cluster (" + std::to_string(g.sectorsPerCluster) + ")";
        return false;
    }
    g.bytesPerCluster = g.bytesPerSector * g.sectorsPerCluster;
    if (g.bytesPerCluster > 256 * 1024) {
        error = "cluster size of " + std::to_string(g.bytesPerCluster) + " bytes is not supported";
        return false;
    }
    g.reservedSectors = Le16(s + 14);
    g.numberOfFats = s[16];
    g.rootEntryCount = Le16(s + 17);
    uint32_t total16 = Le16(s + 19);
    uint32_t fat16Size = Le16(s + 22);
    uint32_t total32 = Le32(s + 32);
    if (g.reservedSectors == 0) {
        error = "impossible reserved sector count (0)";
        return false;
    }
    if (g.numberOfFats == 0 || g.numberOfFats > 4) {
        error = "impossible number of FATs (" + std::to_string(g.numberOfFats) + ")";
        return false;
    }
    g.totalSectors = total16 != 0 ? total16 : total32;
    if (g.totalSectors == 0) {
        error = "impossible total sector count (0)";
        return false;
    }
    if (g.totalSectors * g.bytesPerSector > deviceSize) {
        error = "the boot sector declares " + std::to_string(g.totalSectors * g.bytesPerSector) +
                " bytes but the device holds only " + std::to_string(deviceSize);
        return false;
    }
    const bool fat32Shape = fat16Size == 0;
    g.sectorsPerFat = fat32Shape ? Le32(s + 36) : fat16Size;
    if (g.sectorsPerFat == 0) {
        error = "impossible FAT size (0 sectors)";
        return false;
    }
    if (fat32Shape && g.rootEntryCount != 0) {
        error = "a FAT32 boot sector with a fixed root directory";
        return false;
    }
    if (!fat32Shape && g.rootEntryCount == 0) {
        error = "a FAT12/16 boot sector without root directory entries";
        return false;
    }
    uint64_t rootSectors = (uint64_t{g.rootEntryCount} * 32 + g.bytesPerSector - 1) / g.bytesPerSector;
    uint64_t firstDataSector = g.reservedSectors + uint64_t{g.numberOfFats} * g.sectorsPerFat + rootSectors;
    if (firstDataSector >= g.totalSectors) {
        error = "the FATs and root directory leave no room for data";
        return false;
    }
    uint64_t clusters = (g.totalSectors - firstDataSector) / g.sectorsPerCluster;
    if (clusters == 0) {
        error = "the volume has no data clusters";
        return false;
    }
    if (fat32Shape) {
        g.type = FatType::Fat32;
        if (clusters > 0x0FFFFFF5) {
            error = "too many clusters for FAT32";
            return false;
        }
        if (Le16(s + 42) != 0) {
            error = "unsupported FAT32 version " + std::to_string(Le16(s + 42));
            return false;
        }
        if ((Le16(s + 40) & 0x80) != 0) {
            error = "FAT mirroring is switched off on this volume (not supported)";
            return false;
        }
    } else if (clusters < 4083) {
        g.type = FatType::Fat12;
    } else if (clusters <= 4084) {
        // Tools disagree whether this many clusters make FAT12 or FAT16: touching it could corrupt it.
        error = "ambiguous cluster count " + std::to_string(clusters) + " (between FAT12 and FAT16)";
        return false;
    } else if (clusters <= 65524) {
        g.type = FatType::Fat16;
    } else {
        error = "too many clusters (" + std::to_string(clusters) + ") for FAT16";
        return false;
    }
    g.clusterCount = static_cast<uint32_t>(clusters);
    uint32_t bits = g.type == FatType::Fat12 ? 12 : g.type == FatType::Fat16 ? 16 : 32;
    if (uint64_t{g.sectorsPerFat} * g.bytesPerSector * 8 / bits < clusters + 2) {
        error = "the FAT (" + std::to_string(g.sectorsPerFat) + " sectors) is too small for " +
                std::to_string(clusters) + " clusters";
        return false;
    }
    g.rootDirOffset = (g.reservedSectors + uint64_t{g.numberOfFats} * g.sectorsPerFat) * g.bytesPerSector;
    g.rootDirBytes = uint64_t{g.rootEntryCount} * 32;
    g.dataOffset = firstDataSector * g.bytesPerSector;
    if (g.type == FatType::Fat32) {
        g.rootCluster = Le32(s + 44);
        if (!g.IsDataCluster(g.rootCluster)) {
            error = "the root directory cluster " + std::to_string(g.rootCluster) + " lies outside the volume";
            return false;
        }
        uint32_t info = Le16(s + 48);
        g.fsInfoSector = (info == 0 || info == 0xFFFF || info >= g.reservedSectors) ? 0 : info;
        g.dirtyFlagOffset = 65;
        if (s[66] == 0x29) {
            g.volumeSerial = Le32(s + 67);
            g.volumeLabel = TrimmedField(s + 71, 11);
        }
    } else {
        g.dirtyFlagOffset = 37;
        if (s[38] == 0x29) {
            g.volumeSerial = Le32(s + 39);
            g.volumeLabel = TrimmedField(s + 43, 11);
        }
    }
    if (g.volumeLabel == "NO NAME") {
        g.volumeLabel.clear();
    }
    return true;
}

}  // namespace tarvo::platform
