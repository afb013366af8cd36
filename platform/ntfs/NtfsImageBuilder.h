// NtfsImageBuilder.h --- makes a real NTFS image (mkntfs, then files through libntfs-3g) with known content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::platform {

enum class Fragmentation { None, Deliberate };

struct NtfsImageRecipe {
    std::string path;
    uint64_t size = 128ULL << 20;
    uint32_t clusterSize = 4096;
    uint32_t files = 64;          // ordinary files (a tenth of them small enough to stay resident)
    Fragmentation fragmentation = Fragmentation::None;
    uint32_t compressed = 0;      // compressed files, in \PACKED
    uint32_t sparse = 0;          // sparse files with holes between their data
    uint64_t seed = 1;
    // With Deliberate fragmentation, the share of ordinary files (in percent)
    // written in turn; below 100 each of them is at least two clusters long
    // and written in two or more pieces, so that it comes out fragmented.
    uint32_t fragmentedPercent = 100;
};

// One file of the image: its volume path ("\DATA\F0001.BIN"), size and SHA-256.
struct ManifestEntry {
    std::string path;
    uint64_t size = 0;
    std::string sha256;
};

// Formats `recipe.path` (created or truncated to the size) with mkntfs and fills
// it. With Deliberate fragmentation the volume is first filled with small
// files, every other one is deleted, and the files are then written into the
// holes. Content is a function of the seed. Answers false with `error` set.
bool BuildNtfsImage(const NtfsImageRecipe& recipe, std::vector<ManifestEntry>& manifest, std::string& error);

// One line per file: "<sha256>  <size>  <path>".
std::string FormatManifest(const std::vector<ManifestEntry>& manifest);

}  // namespace tarvo::platform
