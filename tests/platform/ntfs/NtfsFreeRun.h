// NtfsFreeRun.h --- finds a free run on a backend's bitmap, outside the MFT zone, for move targets.
#pragma once

#include <vector>

#include "platform/core/VolumeBackend.h"

namespace tarvo::platform::testing {

// The lowest free run of `length` clusters at or above `from` and outside the
// MFT zone, aligned to `align`; kVirtualLcn when there is none.
inline Lcn FindFreeRun(VolumeBackend& backend, uint64_t length, Lcn from = 0, uint64_t align = 1) {
    NTFS_VOLUME_DATA_BUFFER data;
    backend.GetNtfsVolumeData(data);
    const uint64_t total = static_cast<uint64_t>(data.TotalClusters.QuadPart);
    std::vector<uint8_t> bitmap(16 + (total + 7) / 8);
    if (backend.GetVolumeBitmap(0, bitmap.data(), bitmap.size()).status != STATUS_SUCCESS) {
        return kVirtualLcn;
    }
    auto used = [&](uint64_t lcn) {
        return lcn >= static_cast<uint64_t>(data.MftZoneStart.QuadPart) &&
                       lcn < static_cast<uint64_t>(data.MftZoneEnd.QuadPart)
                   ? true
                   : ((bitmap[16 + lcn / 8] >> (lcn % 8)) & 1) != 0;
    };
    for (uint64_t start = (from + align - 1) / align * align; start + length <= total; start += align) {
        uint64_t i = 0;
        while (i < length && !used(start + i)) {
            ++i;
        }
        if (i == length) {
            return start;
        }
    }
    return kVirtualLcn;
}

}  // namespace tarvo::platform::testing
