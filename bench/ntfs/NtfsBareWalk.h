// NtfsBareWalk.h --- the floor for analysis: a plain tree walk through libntfs-3g with every runlist mapped.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo::bench {

struct BareWalkFigures {
    uint64_t files = 0;
    uint64_t directories = 0;
    uint64_t fragmentedFiles = 0;
    uint64_t bitmapBytes = 0;
};

// Mounts the image read-only with the library's own device, walks the whole
// directory tree, maps every file's unnamed $DATA runlist and reads $Bitmap.
// False with `error` set when the volume does not mount.
bool BareWalk(const std::string& image, BareWalkFigures& out, std::string& error);

}  // namespace tarvo::bench
