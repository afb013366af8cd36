// FatImageMaker.h --- real FAT test volumes: formatted by mkfs.fat, filled by mtools, fragmented on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::platform {

// What to make. Sizes in bytes; fatBits 0 lets mkfs.fat choose; clusterBytes 0 its default.
struct FatImageRecipe {
    std::string path;
    uint64_t sizeBytes = 64ull << 20;
    int fatBits = 0;
    uint32_t clusterBytes = 0;
    uint32_t files = 40;
    bool fragment = false;
    // With fragment: the share of the volume's files with data (filler files
    // included) to leave fragmented, in percent. 0 keeps every other filler file,
    // which leaves about 18%; a higher share deletes kept filler files (all
    // contiguous) once the files are in place, up to about 35%.
    uint32_t fragmentPercent = 0;
    uint64_t seed = 1;
};

// One file of a volume: path from the root with '/' separators, size, SHA-256.
struct FatManifestEntry {
    std::string path;
    uint64_t size = 0;
    std::string sha256;
    bool operator==(const FatManifestEntry&) const = default;
};

// Formats a new image (an existing file is refused, never overwritten), fills it
// with files of seed-derived content and times in nested folders with long and
// 8.3 names, and, with fragment set, interleaves them with filler files of
// which every other one is deleted so that the files land in the holes. Answers
// the manifest of every file on the volume, sorted by path.
bool MakeFatImage(const FatImageRecipe& recipe, std::vector<FatManifestEntry>& manifest, std::string& error);

// Reads every file back with mcopy (an independent reader) and answers its manifest, sorted by path.
bool ManifestWithMtools(const std::string& image, std::vector<FatManifestEntry>& manifest, std::string& error);

// "sha256  size  path" lines, as sha256sum prints them with the size between.
std::string FormatFatManifest(const std::vector<FatManifestEntry>& manifest);

}  // namespace tarvo::platform
