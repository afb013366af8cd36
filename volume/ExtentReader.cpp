// ExtentReader.cpp --- the extent reading loop and its three entries.
#include "volume/ExtentReader.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/MessageIds.h"
#include "volume/VolumeOps.h"

namespace tarvo::volume {

using namespace tarvo::platform;

namespace {

// The program's one retrieval-pointer buffer, and the lock that keeps one read at a time.
struct SharedBuffer {
    std::mutex lock;
    alignas(8) BYTE bytes[kRetrievalBufferSize];
};
SharedBuffer& Buffer() {
    static SharedBuffer* buffer = new SharedBuffer();
    return *buffer;
}

enum class ReadOutcome { Read, Failed };

// Reads the extents of the open file into map. overflowed is set when the
// volume delivered more pairs than the map was sized for.
ReadOutcome ReadPairs(HANDLE file, PairMap& map, bool& overflowed) {
    SharedBuffer& shared = Buffer();
    std::lock_guard lock(shared.lock);
    auto* buffer = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(shared.bytes);
    const auto* extents = reinterpret_cast<const RETRIEVAL_POINTERS_EXTENT*>(shared.bytes + kRetrievalPointersHeaderSize);
    overflowed = false;
    Vcn vcn = 0;
    uint32_t index = 0;
    uint32_t expected = 1;
    bool first = true;
    bool callAgain = false;
    map = PairMap{};  // sized by the first answer; an empty map of no pairs when none comes
    // After a pending answer the next call follows at once; otherwise the count decides.
    while (callAgain || index != expected) {
        callAgain = false;
        std::memset(shared.bytes, 0, kRetrievalPointersHeaderSize);
        const RetrievalAnswer answer = ReadRetrievalPointers(file, vcn, shared.bytes, kRetrievalBufferSize);
        const bool pending = answer.status == STATUS_PENDING;
        if (answer.status != STATUS_SUCCESS && !pending && answer.status != STATUS_BUFFER_OVERFLOW) break;
        // A pending answer is read only once it has completed.
        if (pending && answer.ioStatus != STATUS_SUCCESS && answer.ioStatus != STATUS_BUFFER_OVERFLOW)
            return ReadOutcome::Failed;
        const uint32_t delivered = std::min<uint32_t>(buffer->ExtentCount, kRetrievalBufferExtents);
        if (first) {
            first = false;
            if (answer.bytesReturned == 0 && buffer->ExtentCount == 0) {
                expected = 0;
                break;
            }
            const uint64_t calculated64 =
                answer.bytesReturned >= 32 ? answer.bytesReturned / 16 - 1 : 0;
            const uint32_t calculated = static_cast<uint32_t>(std::min<uint64_t>(calculated64, kRetrievalBufferExtents));
            if (calculated != buffer->ExtentCount)
                VolumeReport(kMsgDiagnostic, "Calculated paircount doesn't match paircount");
            expected = std::max(calculated, delivered);
            // Pair map sizes come from the volume; a count past the buffer is no real answer.
            map = PairMap::Sized(expected);
            if (expected == 0) break;
        } else if (answer.bytesReturned == 0) {
            VolumeReport(kMsgDiagnostic, "strange error in analyse");
            break;
        }
        if (answer.status == STATUS_BUFFER_OVERFLOW) return ReadOutcome::Failed;
        if (static_cast<Vcn>(buffer->StartingVcn.QuadPart) != vcn)
            VolumeReport(kMsgDiagnostic, "Different startVcn's");
        for (uint32_t i = 0; i < delivered; ++i) {
            if (index >= map.count) {
                // The volume changed between calls: keep what fits and stop.
                overflowed = true;
                return ReadOutcome::Read;
            }
            map.nextVcn[index] = static_cast<Vcn>(extents[i].NextVcn.QuadPart);
            map.lcn[index] = static_cast<Lcn>(extents[i].Lcn.QuadPart);
            vcn = map.nextVcn[index];
            ++index;
        }
        callAgain = pending;
    }
    if (map.nextVcn.empty()) map = PairMap::Sized(0);
    return ReadOutcome::Read;
}

enum class BitmapUpdate { Register, Refresh, None };

int ReadWith(CDefragJob& job, FileRecord& file, HANDLE handle, BitmapUpdate update) {
    PairMap map;
    bool overflowed = false;
    const ReadOutcome outcome = ReadPairs(handle, map, overflowed);
    CloseHandle(handle);
    if (outcome == ReadOutcome::Failed) return 0;
    CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (bitmap) {
        auto lock = bitmap->LockForChange();
        file.AdoptPairMap(std::move(map));
    } else {
        file.AdoptPairMap(std::move(map));
    }
    if (overflowed) {
        // The record holds only part of the file: list it and leave it alone.
        job.m_systemUsedFiles.push_back(file.Path());
        file.SetDone(true);
    }
    bool indexSound = true;
    if (bitmap && update == BitmapUpdate::Register) indexSound = bitmap->RegisterFile(file);
    if (bitmap && update == BitmapUpdate::Refresh) indexSound = bitmap->RegisterMovedFile(file);
    // A corrupt index ends the analysis; it checks the job's mark after each read.
    if (!indexSound) job.m_indexCorrupt = true;
    return 1;
}

}  // namespace

int ReadExtents(CDefragJob& job, FileRecord& file) {
    HANDLE handle = OpenFileForExtents(file.Path(), ExtentOpenForm::Device);
    if (handle == INVALID_HANDLE_VALUE) {
        VolumeReport(kMsgCannotReadExtents, file.Path().c_str());
        handle = OpenFileForExtents(file.Path(), ExtentOpenForm::PlainShareRead);
        if (handle == INVALID_HANDLE_VALUE) return 0;
    }
    return ReadWith(job, file, handle, BitmapUpdate::Register);
}

static int RereadWith(CDefragJob& job, FileRecord& file, BitmapUpdate update) {
    HANDLE handle = OpenFileForExtents(file.Path(), ExtentOpenForm::PlainShareReadWrite);
    if (handle == INVALID_HANDLE_VALUE) {
        VolumeReport(kMsgCannotReadExtents, file.Path().c_str());
        job.m_systemUsedFiles.push_back(file.Path());
        return 0;
    }
    return ReadWith(job, file, handle, update);
}

int RefreshExtents(CDefragJob& job, FileRecord& file) {
    if (job.m_clusterBitmap) job.m_clusterBitmap->UnregisterFile(file);
    return RereadWith(job, file, BitmapUpdate::Refresh);
}

int RereadExtents(CDefragJob& job, FileRecord& file) { return RereadWith(job, file, BitmapUpdate::None); }

}  // namespace tarvo::volume
