// NtfsExtentsOf.h --- reads all of a file's extents through the backend, as the extent reader does.
#pragma once

#include <cstring>
#include <vector>

#include "platform/core/VolumeBackend.h"

namespace tarvo::platform::testing {

struct Extent {
    uint64_t startVcn;
    uint64_t nextVcn;
    uint64_t lcn;
};

inline NTSTATUS ExtentsOf(VolumeBackend& backend, FileId id, std::vector<Extent>& out) {
    out.clear();
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 64 * sizeof(RETRIEVAL_POINTERS_EXTENT));
    uint64_t vcn = 0;
    while (true) {
        FsctlResult r = backend.GetRetrievalPointers(id, vcn, buffer.data(), buffer.size());
        if (r.status != STATUS_SUCCESS && r.status != STATUS_BUFFER_OVERFLOW) {
            return out.empty() ? r.status : STATUS_SUCCESS;
        }
        DWORD count;
        std::memcpy(&count, buffer.data(), sizeof(count));
        LARGE_INTEGER start;
        std::memcpy(&start, buffer.data() + 8, sizeof(start));
        uint64_t previous = static_cast<uint64_t>(start.QuadPart);
        for (DWORD i = 0; i < count; ++i) {
            RETRIEVAL_POINTERS_EXTENT x;
            std::memcpy(&x, buffer.data() + kRetrievalPointersHeaderSize + i * sizeof(x), sizeof(x));
            out.push_back({previous, static_cast<uint64_t>(x.NextVcn.QuadPart), static_cast<uint64_t>(x.Lcn.QuadPart)});
            previous = static_cast<uint64_t>(x.NextVcn.QuadPart);
        }
        if (r.status == STATUS_SUCCESS) {
            return STATUS_SUCCESS;
        }
        vcn = previous;
    }
}

}  // namespace tarvo::platform::testing
