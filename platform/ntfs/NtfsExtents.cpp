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
    auto extentEnd = [&runs](size_t i) {
        size_t next = i + 1;
        while (runs[i].lcn < 0 && next < runs.size() && runs[next].lcn < 0) {
            ++next;
        }
        return next;
    };
    size_t first = 0;
    while (first < runs.size()) {
        const size_t next = extentEnd(first);
        if (static_cast<uint64_t>(runs[next - 1].vcn + runs[next - 1].length) > startingVcn) {
            break;
        }
        first = next;
    }
    if (first == runs.size()) {
        return {STATUS_END_OF_FILE, 0, STATUS_END_OF_FILE};
    }
    const size_t room = (outLength - kRetrievalPointersHeaderSize) / sizeof(RETRIEVAL_POINTERS_EXTENT);
    auto* bytes = static_cast<uint8_t*>(out);
    size_t count = 0;
    size_t i = first;
    while (i < runs.size() && count < room) {
        const size_t next = extentEnd(i);
        RETRIEVAL_POINTERS_EXTENT extent;
        extent.NextVcn.QuadPart = runs[next - 1].vcn + runs[next - 1].length;
        extent.Lcn.QuadPart = runs[i].lcn < 0 ? static_cast<LONGLONG>(kVirtualLcn) : runs[i].lcn;
        std::memcpy(bytes + kRetrievalPointersHeaderSize + count * sizeof(extent), &extent, sizeof(extent));
        ++count;
        i = next;
    }
    DWORD extentCount = static_cast<DWORD>(count);
    std::memset(bytes, 0, kRetrievalPointersHeaderSize);
    std::memcpy(bytes, &extentCount, sizeof(extentCount));
    LARGE_INTEGER startVcn;
    startVcn.QuadPart = runs[first].vcn;
    std::memcpy(bytes + 8, &startVcn, sizeof(startVcn));
    status = i < runs.size() ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, kRetrievalPointersHeaderSize + count * sizeof(RETRIEVAL_POINTERS_EXTENT), status};
}

}  // namespace tarvo::platform
