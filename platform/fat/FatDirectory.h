// FatDirectory.h --- decoding the 32-byte entries of one FAT directory, long names included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

// One file or subdirectory found in a directory's bytes ("." , "..", volume
// labels and deleted entries are left out).
struct FatDirEntry {
    std::string longName;   // the long name, or the 8.3 name with its case flags applied
    std::string shortName;  // the 8.3 name ("README.TXT")
    bool hasLongName = false;
    uint8_t attributes = 0;
    uint16_t writeTime = 0, writeDate = 0;
    uint32_t size = 0;
    uint32_t firstCluster = 0;  // high word included only when fat32 is set
    size_t index = 0;           // entry number within the directory (byte position / 32)
};

enum class FatFlavor { Fat12Or16, Fat32 };

// Decodes the entries of a directory's bytes, stopping at the end marker.
// Long names whose checksum or sequence does not fit, or that hold characters
// a path cannot carry ('\\', '/', control characters), fall back to the 8.3 name.
std::vector<FatDirEntry> DecodeFatDirectory(const uint8_t* bytes, size_t length, FatFlavor flavor);

// The checksum long-name entries carry of their 11-byte 8.3 name.
uint8_t ShortNameChecksum(const uint8_t* name11);

// A FAT date and time (taken as UTC) as an NT file time.
FILETIME FatTimeToFileTime(uint16_t date, uint16_t time);

}  // namespace tarvo::platform
