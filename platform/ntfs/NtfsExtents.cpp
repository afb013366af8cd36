// NtfsExtents.cpp --- FSCTL_GET_RETRIEVAL_POINTERS on NTFS: a file's runs as NextVcn/Lcn pairs.
#include <cstring>

#include "platform/ntfs/NtfsRunlist.h"
#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

FsctlResult CNtfsBackend::GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    if (out == nullptr || outLength < kRetrievalPointersHeaderSize) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    // The runs were read when the file was first met and are kept in step with our moves.
    const CachedFile* facts = FileFacts(file, nullptr, true);
    if (facts == nullptr) {
        return {STATUS_INVALID_HANDLE, 0, STATUS_INVALID_HANDLE};
    }
    NTSTATUS status = facts->openable != STATUS_SUCCESS ? facts->openable : facts->runsStatus;
    if (status != STATUS_SUCCESS) {
        return {status, 0, status};
    }
    const std::vector<NtfsRun>& runs = facts->runs;
    // Adjacent holes are one virtual run; real runs are delivered as recorded.
    std::vector<NtfsRun> extents;
    for (const NtfsRun& run : runs) {
        if (!extents.empty() && run.lcn < 0 && extents.back().lcn < 0) {
            extents.back().length += run.length;
        } else {
            extents.push_back(run);
        }
    }
    size_t first = 0;
    while (first < extents.size() && static_cast<uint64_t>(extents[first].vcn + extents[first].length) <= startingVcn) {
        ++first;
    }
    if (first == extents.size()) {
        return {STATUS_END_OF_FILE, 0, STATUS_END_OF_FILE};
    }
    const size_t room = (outLength - kRetrievalPointersHeaderSize) / sizeof(RETRIEVAL_POINTERS_EXTENT);
    const size_t count = std::min(room, extents.size() - first);
    auto* bytes = static_cast<uint8_t*>(out);
    DWORD extentCount = static_cast<DWORD>(count);
    std::memset(bytes, 0, kRetrievalPointersHeaderSize);
    std::memcpy(bytes, &extentCount, sizeof(extentCount));
    LARGE_INTEGER startVcn;
    startVcn.QuadPart = extents[first].vcn;
    std::memcpy(bytes + 8, &startVcn, sizeof(startVcn));
    for (size_t i = 0; i < count; ++i) {
        const NtfsRun& run = extents[first + i];
        RETRIEVAL_POINTERS_EXTENT extent;
        extent.NextVcn.QuadPart = run.vcn + run.length;
        extent.Lcn.QuadPart = run.lcn < 0 ? static_cast<LONGLONG>(kVirtualLcn) : run.lcn;
        std::memcpy(bytes + kRetrievalPointersHeaderSize + i * sizeof(extent), &extent, sizeof(extent));
    }
    status = count < extents.size() - first ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, kRetrievalPointersHeaderSize + count * sizeof(RETRIEVAL_POINTERS_EXTENT), status};
}

}  // namespace tarvo::platform
