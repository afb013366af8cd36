// NtfsCommit.cpp --- the in-memory $Bitmap and the commit that writes a batch of moves in the safe order.
//
// A batch is written in stages. Stage 0 holds the moves whose targets nothing
// on the medium points at; their data was copied at the move. A move into
// clusters that a pending record on the medium still points at belongs to the
// stage after that record's, and its data is written only once that record's
// successor is on the medium. The order of a commit:
//   intent record (every touched run and the runs the previous batch freed,
//   the pre-image of every record); targets marked in $Bitmap and the stage-0
//   copies that waited for the previous batch, flush (the stage-0 copies made
//   at the moves reach the medium with it);
//   for each stage: its deferred copies written and read back, flush; its
//   MFT records, flush;
//   old clusters freed in $Bitmap (durable with the next flush; until then
//   the intent record lists them, and the next one lists them again).
// The flushes after the intent record run on the flusher's thread: the batch
// is handed over and each next step is taken when a later move (or a wait)
// finds its flush done, so that the next batch's copies go on meanwhile. One
// batch is in flight at most; a move into clusters it releases is written
// with the next batch, and a move of a file it holds waits for its end.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

namespace {

// Sorts the runs and joins those that overlap or touch.
std::vector<ClusterRun> Merged(std::vector<ClusterRun> runs) {
    std::sort(runs.begin(), runs.end(), [](const ClusterRun& a, const ClusterRun& b) { return a.lcn < b.lcn; });
    std::vector<ClusterRun> merged;
    for (const ClusterRun& run : runs) {
        if (run.length == 0) {
            continue;
        }
        if (!merged.empty() && run.lcn <= merged.back().lcn + merged.back().length) {
            ClusterRun& last = merged.back();
            last.length = std::max(last.lcn + last.length, run.lcn + run.length) - last.lcn;
        } else {
            merged.push_back(run);
        }
    }
    return merged;
}

}  // namespace

bool CNtfsBackend::LoadBitmap() {
    const uint64_t clusters = static_cast<uint64_t>(m_vol->nr_clusters);
    const s64 bytes = static_cast<s64>((clusters + 7) / 8);
    m_diskBitmap.assign(static_cast<size_t>(bytes), 0);
    if (bytes > 0 && ntfs_attr_pread(m_vol->lcnbmp_na, 0, bytes, m_diskBitmap.data()) != bytes) {
        return false;
    }
    m_bitmap = m_diskBitmap;
    uint64_t used = 0;
    for (uint64_t i = 0; i < clusters / 8; ++i) {
        used += static_cast<uint64_t>(std::popcount(m_bitmap[i]));
    }
    for (uint64_t lcn = clusters & ~uint64_t{7}; lcn < clusters; ++lcn) {
        used += ViewBit(lcn) ? 1 : 0;
    }
    m_freeClusters = static_cast<int64_t>(clusters - used);
    m_vol->free_clusters = m_freeClusters;
    return true;
}

void CNtfsBackend::SetViewRun(uint64_t lcn, uint64_t length, bool used) {
    for (uint64_t i = lcn; i < lcn + length; ++i) {
        const uint8_t mask = static_cast<uint8_t>(1u << (i % 8));
        const bool was = (m_bitmap[i / 8] & mask) != 0;
        if (was == used) {
            continue;
        }
        m_bitmap[i / 8] = static_cast<uint8_t>(used ? m_bitmap[i / 8] | mask : m_bitmap[i / 8] & ~mask);
        m_freeClusters += used ? -1 : 1;
    }
}

bool CNtfsBackend::AnyViewBit(uint64_t lcn, uint64_t length) const {
    for (uint64_t i = lcn; i < lcn + length; ++i) {
        if (ViewBit(i)) {
            return true;
        }
    }
    return false;
}

bool CNtfsBackend::OverlapsPendingFree(uint64_t lcn, uint64_t length) const {
    for (uint64_t i = lcn; i < lcn + length; ++i) {
        if ((m_diskBitmap[i / 8] >> (i % 8)) & 1 && !ViewBit(i)) {
            return true;
        }
    }
    return false;
}

std::vector<BitmapBytes> CNtfsBackend::BitmapBytesOver(const std::vector<ClusterRun>& touched, bool marksOnly) const {
    // Outside the touched runs the two bitmaps agree, so the bytes between
    // runs close together are written unchanged: one write covers them all.
    constexpr uint64_t kJoinGapBytes = 64 * 1024;
    std::vector<BitmapBytes> ranges;
    size_t i = 0;
    while (i < touched.size()) {
        const uint64_t first = touched[i].lcn / 8;
        uint64_t end = (touched[i].lcn + touched[i].length + 7) / 8;
        for (++i; i < touched.size() && touched[i].lcn / 8 <= end + kJoinGapBytes; ++i) {
            end = std::max(end, (touched[i].lcn + touched[i].length + 7) / 8);
        }
        BitmapBytes range{first, std::vector<uint8_t>(static_cast<size_t>(end - first))};
        for (uint64_t b = first; b < end; ++b) {
            range.bytes[b - first] = marksOnly ? static_cast<uint8_t>(m_diskBitmap[b] | m_bitmap[b]) : m_bitmap[b];
        }
        ranges.push_back(std::move(range));
    }
    return ranges;
}

NTSTATUS CNtfsBackend::WriteBitmapBytes(const std::vector<BitmapBytes>& ranges) {
    for (const BitmapBytes& range : ranges) {
        const s64 n = static_cast<s64>(range.bytes.size());
        if (ntfs_attr_pwrite(m_vol->lcnbmp_na, static_cast<s64>(range.first), n, range.bytes.data()) != n) {
            return STATUS_IO_DEVICE_ERROR;
        }
        std::copy(range.bytes.begin(), range.bytes.end(), m_diskBitmap.begin() + static_cast<long>(range.first));
    }
    return STATUS_SUCCESS;
}

int CNtfsBackend::StageFor(uint64_t lcn, uint64_t length) const {
    if (!OverlapsPendingFree(lcn, length)) {
        return 0;
    }
    int stage = 0;
    for (const ReleasedRun& run : m_released) {
        if (run.lcn < lcn + length && lcn < run.lcn + run.length) {
            stage = std::max(stage, run.stage + 1);
        }
    }
    return stage;
}

bool CNtfsBackend::OverlapsDeferred(uint64_t lcn, uint64_t length) const {
    // Of targets that never overlap, only the last one starting before the
    // range's end can reach into it.
    auto next = m_deferredTargets.lower_bound(lcn + length);
    if (next == m_deferredTargets.begin()) {
        return false;
    }
    --next;
    return next->first + next->second > lcn;
}

bool CNtfsBackend::OverlapsInFlightRelease(uint64_t lcn, uint64_t length) const {
    if (m_inFlight == nullptr) {
        return false;
    }
    for (const ReleasedRun& run : m_inFlight->released) {
        if (run.lcn < lcn + length && lcn < run.lcn + run.length) {
            return true;
        }
    }
    return false;
}

NTSTATUS CNtfsBackend::WriteDeferred(const std::vector<DeferredCopy>& copies, int stage, bool& wrote) {
    const uint64_t clusterSize = m_vol->cluster_size;
    for (const DeferredCopy& copy : copies) {
        if (copy.stage != stage) {
            continue;
        }
        if (m_checkBuffer.size() < copy.data.size()) {
            m_checkBuffer.resize(copy.data.size());
        }
        if (m_device->Write(copy.target * clusterSize, copy.data.data(), copy.data.size()) != 0 ||
            m_medium->Read(copy.target * clusterSize, m_checkBuffer.data(), copy.data.size()) != 0 ||
            std::memcmp(copy.data.data(), m_checkBuffer.data(), copy.data.size()) != 0) {
            return STATUS_IO_DEVICE_ERROR;
        }
        wrote = true;
        m_unflushedData = true;
    }
    return STATUS_SUCCESS;
}

void CNtfsBackend::StartFlush() {
    if (m_flusher == nullptr) {
        m_flusher = std::make_unique<BackgroundFlusher>(*m_device);
    }
    m_flusher->Start();
}

NTSTATUS CNtfsBackend::Commit() {
    NTSTATUS status = StartCommit();
    return status == STATUS_SUCCESS ? AdvanceCommit(true) : status;
}

NTSTATUS CNtfsBackend::StartCommit() {
    if (NTSTATUS status = AdvanceCommit(true); status != STATUS_SUCCESS) {
        return status;
    }
    if (m_broken) {
        return STATUS_IO_DEVICE_ERROR;
    }
    if (m_pending.empty() && m_touched.empty()) {
        return STATUS_SUCCESS;
    }
    auto fail = [&](NTSTATUS status) {
        m_broken = true;
        DropPending();
        return status;
    };
    m_touched = Merged(std::move(m_touched));
    std::vector<uint64_t> records;
    int lastStage = 0;
    for (const auto& [record, pending] : m_pending) {
        records.push_back(record);
        lastStage = std::max(lastStage, pending.stage);
    }
    // The previous batch's frees may not be on the medium yet: this intent
    // record lists their runs too, so that the next open reclaims them if a
    // cut loses them.
    std::vector<ClusterRun> listed = m_touched;
    listed.insert(listed.end(), m_unflushedFrees.begin(), m_unflushedFrees.end());
    NTSTATUS status = SaveIntent(Merged(std::move(listed)), records);
    if (status != STATUS_SUCCESS) {
        return fail(status);
    }
    // The copies made at the moves are written and read back before the flush
    // that takes them to the medium, and before the deferred copies below
    // write over clusters they may read.
    if (DrainCopies() != STATUS_SUCCESS) {
        return fail(STATUS_IO_DEVICE_ERROR);
    }
    // The targets marked in $Bitmap, and the stage-0 copies that waited for the
    // previous batch's records (which are on the medium now); the flush after
    // them takes the stage-0 copies made at the moves along too, before any
    // record that points at them is written.
    bool wrote = false;
    if (WriteBitmapBytes(BitmapBytesOver(m_touched, true)) != STATUS_SUCCESS ||
        WriteDeferred(m_deferred, 0, wrote) != STATUS_SUCCESS) {
        return fail(STATUS_IO_DEVICE_ERROR);
    }
    auto batch = std::make_unique<CommitInFlight>();
    batch->finalBitmap = BitmapBytesOver(m_touched, false);
    batch->pending = std::move(m_pending);
    batch->touched = std::move(m_touched);
    batch->released = std::move(m_released);
    batch->deferred = std::move(m_deferred);
    batch->lastStage = lastStage;
    ClearBatch();
    m_inFlight = std::move(batch);
    StartFlush();
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::AdvanceCommit(bool wait) {
    while (m_inFlight != nullptr) {
        if (!wait && !m_flusher->Done()) {
            return STATUS_SUCCESS;
        }
        const int flushed = m_flusher->Wait();
        NTSTATUS status = flushed == 0 ? StepCommit() : STATUS_IO_DEVICE_ERROR;
        if (status != STATUS_SUCCESS) {
            m_broken = true;
            DropPending();
            return status;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::StepCommit() {
    // Called with the previous step's flush done. Each stage: its deferred
    // copies (where only records already rewritten pointed), flush; its MFT
    // records, flush.
    CommitInFlight& batch = *m_inFlight;
    while (batch.stage <= batch.lastStage) {
        bool wrote = false;
        if (batch.recordsNext) {
            for (const auto& [record, pending] : batch.pending) {
                if (pending.stage != batch.stage) {
                    continue;
                }
                if (ntfs_mft_record_write(m_vol, record, pending.ni->mrec) != 0) {
                    return STATUS_IO_DEVICE_ERROR;
                }
                wrote = true;
            }
            batch.recordsNext = false;
            ++batch.stage;
        } else {
            if (WriteDeferred(batch.deferred, batch.stage, wrote) != STATUS_SUCCESS) {
                return STATUS_IO_DEVICE_ERROR;
            }
            batch.recordsNext = true;
        }
        if (wrote) {
            StartFlush();
            return STATUS_SUCCESS;
        }
    }
    // Only now the old clusters freed. They become durable with the next
    // flush, which comes before any later intent record; until then this
    // batch's intent record lists them for the next open.
    if (WriteBitmapBytes(batch.finalBitmap) != STATUS_SUCCESS) {
        return STATUS_IO_DEVICE_ERROR;
    }
    m_unflushedData = true;
    m_unflushedFrees = batch.touched;
    FinishInFlight();
    m_vol->free_clusters = m_freeClusters;
    return STATUS_SUCCESS;
}

void CNtfsBackend::FinishInFlight() {
    for (const auto& entry : m_inFlight->pending) {
        ntfs_inode_close(entry.second.ni);  // the record equals the medium now
    }
    m_inFlight.reset();
}

void CNtfsBackend::ClearBatch() {
    m_pending.clear();
    m_touched.clear();
    m_released.clear();
    m_deferred.clear();
    m_deferredTargets.clear();
    m_pendingBytes = 0;
    m_deferredBytes = 0;
}

void CNtfsBackend::DropPending() {
    DrainCopies();  // into clusters that stay free: nothing points at them
    auto drop = [this](const std::map<uint64_t, PendingRecord>& records) {
        for (const auto& [record, pending] : records) {
            // The in-memory record is not what the medium holds: never cache it.
            ntfs_inode_real_close(pending.ni);
            m_files.erase(record);
        }
    };
    if (m_inFlight != nullptr) {
        if (m_flusher != nullptr) {
            m_flusher->Wait();
        }
        drop(m_inFlight->pending);
        m_inFlight.reset();
    }
    drop(m_pending);
    ClearBatch();
    if (!m_diskBitmap.empty()) {
        m_bitmap = m_diskBitmap;
        const uint64_t clusters = static_cast<uint64_t>(m_vol->nr_clusters);
        int64_t free = 0;
        for (uint64_t lcn = 0; lcn < clusters; ++lcn) {
            free += ViewBit(lcn) ? 0 : 1;
        }
        m_freeClusters = free;
    }
}

}  // namespace tarvo::platform
