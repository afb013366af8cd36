// VolReport.h --- the figures a user judges a volume by, read through the volume operations alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/VolumeBackend.h"

namespace tarvo::tools {

struct FileFigures {
    std::string path;
    uint64_t clusters = 0;   // allocated clusters
    uint64_t fragments = 0;  // pieces: 0 without clusters, 1 when contiguous
    int64_t firstLcn = -1;   // first real cluster, -1 for none
    int64_t mtime = 0;       // seconds since 1970
};

struct VolumeFigures {
    std::string fileSystem;
    uint64_t totalClusters = 0;
    uint64_t bytesPerCluster = 0;
    uint64_t freeClusters = 0;
    uint64_t files = 0;
    uint64_t fragmentedFiles = 0;
    uint64_t fragments = 0;
    uint64_t largestFreeRun = 0;  // MFT zone excluded
    uint64_t freeRuns = 0;        // maximal free runs, MFT zone excluded
    uint64_t unreadableFiles = 0; // files whose extents could not be read (counted in files)
    std::vector<FileFigures> fileList;
};

enum class FileListing { Without, With };

// Walks the directory tree, reads every file's extents and the volume bitmap.
// False with a message when the volume itself cannot be read.
bool MeasureVolume(platform::VolumeBackend& backend, const std::string& pathPrefix, FileListing listing,
                   VolumeFigures& out, std::string& error);

// The figures as JSON (names fixed: later checks read them) or as text lines.
std::string FiguresAsJson(const VolumeFigures& figures, FileListing listing);
std::string FiguresAsText(const VolumeFigures& figures, FileListing listing);

}  // namespace tarvo::tools
