// NtfsMove.cpp --- FSCTL_MOVE_FILE on NTFS, in the order that never loses a byte.
//
// One move copies the clusters to the free target and reads them back, then
// changes the file's MFT record and the bitmap in memory; the commit of the
// batch (NtfsCommit.cpp) writes them: intent record saved (outside the
// volume); targets marked in $Bitmap, flush (the copied data with it); the new
// mapping pairs written into the MFT records, flush; only then the old
// clusters freed.
// A move into clusters a record on the medium still points at is staged: its
// data is read now and written in the commit, after the record's successor.
// The volume's dirty flag is set before the first move of a run and cleared
// when the run ends (NtfsIntentWrite.cpp). A cut anywhere leaves every file
// readable, at worst with clusters marked that no file owns, which the next
// open reclaims from the intent record.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/ntfs/NtfsRunlist.h"
#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

namespace {

FsctlResult Answer(NTSTATUS status) { return {status, 0, status}; }

// The runs as the library's runlist array, ending in the terminator it expects.
std::vector<runlist_element> ToRunlist(const std::vector<NtfsRun>& runs) {
    std::vector<runlist_element> rl;
    for (const NtfsRun& run : runs) {
        rl.push_back({run.vcn, run.lcn < 0 ? static_cast<LCN>(LCN_HOLE) : run.lcn, run.length});
    }
    int64_t end = runs.empty() ? 0 : runs.back().vcn + runs.back().length;
    rl.push_back({end, static_cast<LCN>(LCN_ENOENT), 0});
    return rl;
}

// The runs of one attribute record (the file has no attribute list).
bool DecodeRuns(ntfs_volume* vol, ATTR_RECORD* a, std::vector<NtfsRun>& out) {
    runlist_element* rl = ntfs_mapping_pairs_decompress(vol, a, nullptr);
    if (rl == nullptr) {
        return false;
    }
    bool ok = true;
    int64_t expected = 0;
    for (runlist_element* r = rl; r->length != 0; ++r) {
        if (r->length < 0 || r->vcn != expected || (r->lcn < 0 && r->lcn != LCN_HOLE)) {
            ok = false;
            break;
        }
        out.push_back({r->vcn, r->lcn < 0 ? -1 : r->lcn, r->length});
        expected += r->length;
    }
    std::free(rl);
    return ok && expected == sle64_to_cpu(a->highest_vcn) + 1;
}

}  // namespace

FsctlResult CNtfsBackend::MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    if (m_readOnly) {
        return Answer(STATUS_MEDIA_WRITE_PROTECTED);
    }
    if (m_broken) {
        return Answer(STATUS_IO_DEVICE_ERROR);
    }
    if (m_copier != nullptr && m_copier->Failure() != 0) {
        // A copy of this batch failed: the batch never reaches the volume.
        m_broken = true;
        DropPending();
        return Answer(STATUS_IO_DEVICE_ERROR);
    }
    // Steps of the previous batch's commit whose flushes are done go first.
    if (NTSTATUS status = AdvanceCommit(false); status != STATUS_SUCCESS) {
        return Answer(status);
    }
    bool commitFirst = false;
    FsctlResult result = MoveOnce(file, startingVcn, targetLcn, clusterCount, commitFirst);
    if (commitFirst) {
        // The move cannot join this batch: it goes into the next one, while
        // this one's commit goes on (or after it, when it touches its records).
        NTSTATUS status = StartCommit();
        if (status != STATUS_SUCCESS) {
            return Answer(status);
        }
        result = MoveOnce(file, startingVcn, targetLcn, clusterCount, commitFirst);
        if (commitFirst) {
            return Answer(STATUS_UNSUCCESSFUL);  // cannot happen with an empty batch
        }
    }
    if (result.status == STATUS_SUCCESS && (m_pending.size() >= kMaxPendingRecords ||
                                            m_pendingBytes >= kMaxPendingBytes || m_deferredBytes >= kMaxDeferredBytes)) {
        // Its flushes go on while the next moves gather.
        NTSTATUS status = StartCommit();
        if (status != STATUS_SUCCESS) {
            return Answer(status);
        }
    }
    return result;
}

FsctlResult CNtfsBackend::MoveOnce(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount, bool& commitFirst) {
    commitFirst = false;
    const int64_t total = m_vol->nr_clusters;
    if (clusterCount == 0 || startingVcn > static_cast<uint64_t>(INT64_MAX / 2) ||
        targetLcn >= static_cast<uint64_t>(total)) {
        return Answer(STATUS_INVALID_PARAMETER);
    }
    // (A file whose record the batch in flight holds waits there for its commit's end.)
    ntfs_inode* ni = OpenInode(file);
    if (ni == nullptr) {
        return Answer(m_broken ? STATUS_IO_DEVICE_ERROR : STATUS_INVALID_HANDLE);
    }
    if (m_broken) {
        CloseInode(ni);  // that commit failed
        return Answer(STATUS_IO_DEVICE_ERROR);
    }
    NTSTATUS status = Openable(ni);
    if (status == STATUS_SUCCESS && (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY)) {
        status = STATUS_INVALID_PARAMETER;  // directory indexes stay where they are
    }
    if (status != STATUS_SUCCESS) {
        CloseInode(ni);
        return Answer(status);
    }
    ntfs_attr_search_ctx* ctx = ntfs_attr_get_search_ctx(ni, nullptr);
    if (ctx == nullptr) {
        CloseInode(ni);
        return Answer(STATUS_NO_MEMORY);
    }
    auto finish = [&](NTSTATUS result) {
        ntfs_attr_put_search_ctx(ctx);
        CloseInode(ni);
        return Answer(result);
    };
    if (ntfs_attr_lookup(AT_DATA, AT_UNNAMED, 0, CASE_SENSITIVE, 0, nullptr, 0, ctx) != 0) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    ATTR_RECORD* a = ctx->attr;
    MFT_RECORD* m = ctx->mrec;
    if (!a->non_resident || sle64_to_cpu(a->lowest_vcn) != 0 || m != ni->mrec) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    std::vector<NtfsRun> runs;
    if (!DecodeRuns(m_vol, a, runs)) {
        return finish(STATUS_FILE_CORRUPT_ERROR);
    }
    const int64_t fileClusters = runs.empty() ? 0 : runs.back().vcn + runs.back().length;
    const int64_t start = static_cast<int64_t>(startingVcn);
    const int64_t count = clusterCount;
    if (start + count > fileClusters) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    // Compressed and sparse data move in whole compression units.
    if ((a->flags & (ATTR_IS_COMPRESSED | ATTR_IS_SPARSE)) && a->compression_unit != 0) {
        int64_t unit = int64_t{1} << a->compression_unit;
        if (start % unit != 0 || (count % unit != 0 && start + count != fileClusters)) {
            return finish(STATUS_INVALID_PARAMETER);
        }
    }
    std::vector<NtfsRun> relocated, moved;
    if (!RelocateRuns(runs, start, count, static_cast<int64_t>(targetLcn), relocated, moved)) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    int64_t allocated = 0;
    for (const NtfsRun& piece : moved) {
        allocated += piece.length;
    }
    if (allocated == 0) {
        return finish(STATUS_SUCCESS);  // only holes in the range: nothing to move
    }
    if (static_cast<int64_t>(targetLcn) + allocated > total) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    if (AnyViewBit(targetLcn, static_cast<uint64_t>(allocated))) {
        return finish(STATUS_ALREADY_COMMITTED);
    }
    // The new mapping pairs must fit in this one record.
    std::vector<runlist_element> rl = ToRunlist(relocated);
    int mpSize = ntfs_get_size_for_mapping_pairs(m_vol, rl.data(), 0, INT_MAX);
    const uint32_t mpOffset = le16_to_cpu(a->mapping_pairs_offset);
    if (mpSize <= 0) {
        return finish(STATUS_FILE_CORRUPT_ERROR);
    }
    const uint32_t newLength = (mpOffset + static_cast<uint32_t>(mpSize) + 7) & ~7u;
    const uint32_t room = le32_to_cpu(m->bytes_allocated) - le32_to_cpu(m->bytes_in_use) + le32_to_cpu(a->length);
    if (newLength > room) {
        return finish(STATUS_INVALID_PARAMETER);
    }
    // Clusters a record on the medium still points at are written only after
    // the stage of the commit that writes that record's successor.
    const int stage = StageFor(targetLcn, static_cast<uint64_t>(allocated));
    auto held = m_pending.find(ni->mft_no);
    bool sourceDeferred = false;
    for (const NtfsRun& piece : moved) {
        sourceDeferred = sourceDeferred || OverlapsDeferred(static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length));
    }
    if (stage >= kMaxStages || sourceDeferred || (held != m_pending.end() && stage > held->second.stage)) {
        commitFirst = true;
        return finish(STATUS_SUCCESS);
    }
    const int recordStage = held != m_pending.end() ? held->second.stage : stage;
    if ((status = BeginRun()) != STATUS_SUCCESS) {
        return finish(status);
    }
    // Copy and verify now (on the copier's thread, done before the commit's
    // first flush) when the target is safe to write: it is free on the medium
    // and nothing there points at it, so a cut before the commit leaves the
    // volume as it was. Otherwise read the data now and write it at its stage
    // of the commit; clusters the batch in flight releases are safe to write
    // once its records are on the medium, so that copy waits for the next commit.
    const bool copyNow = stage == 0 && !OverlapsInFlightRelease(targetLcn, static_cast<uint64_t>(allocated));
    status = copyNow ? CopyPieces(moved, targetLcn) : ReadDeferred(moved, targetLcn, stage);
    if (status != STATUS_SUCCESS) {
        ntfs_attr_put_search_ctx(ctx);
        CloseInode(ni);
        DropPending();
        return Answer(status);
    }
    // Point the file at its new clusters, in memory until the commit.
    if (ntfs_attr_record_resize(m, a, newLength) != 0 ||
        ntfs_mapping_pairs_build(m_vol, reinterpret_cast<u8*>(a) + mpOffset, static_cast<int>(newLength - mpOffset),
                                 rl.data(), 0, nullptr) != 0) {
        m_broken = true;
        ntfs_attr_put_search_ctx(ctx);
        m_pending.emplace(ni->mft_no, PendingRecord{ni, recordStage});  // dropped with the rest, never written
        DropPending();
        return Answer(STATUS_IO_DEVICE_ERROR);
    }
    ntfs_attr_put_search_ctx(ctx);
    m_pending.emplace(ni->mft_no, PendingRecord{ni, recordStage});
    SetViewRun(targetLcn, static_cast<uint64_t>(allocated), true);
    m_touched.push_back({targetLcn, static_cast<uint64_t>(allocated)});
    for (const NtfsRun& piece : moved) {
        SetViewRun(static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length), false);
        m_touched.push_back({static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length)});
        // The record on the medium may still point here until its stage is written.
        m_released.push_back({static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length), recordStage});
    }
    m_pendingBytes += static_cast<uint64_t>(allocated) * m_vol->cluster_size;
    CachedFile& facts = m_files[ni->mft_no];
    facts.openable = STATUS_SUCCESS;
    facts.runsKnown = true;
    facts.runsStatus = STATUS_SUCCESS;
    facts.runs = std::move(relocated);
    return Answer(STATUS_SUCCESS);
}

NTSTATUS CNtfsBackend::CopyPieces(const std::vector<NtfsRun>& pieces, Lcn to) {
    const uint64_t clusterSize = m_vol->cluster_size;
    std::vector<DeviceRange> sources;
    uint64_t total = 0;
    for (const NtfsRun& piece : pieces) {
        sources.push_back({static_cast<uint64_t>(piece.lcn) * clusterSize, static_cast<uint64_t>(piece.length) * clusterSize});
        total += static_cast<uint64_t>(piece.length);
    }
    // A target an earlier copy of this batch wrote and a later move left
    // again: those copies are finished first, so that the targets listed never overlap.
    if (OverlapsCopyTarget(to, total) && DrainCopies() != STATUS_SUCCESS) {
        m_broken = true;
        return STATUS_IO_DEVICE_ERROR;
    }
    if (m_copier == nullptr) {
        m_copier = std::make_unique<BackgroundCopier>(*m_medium);
    }
    m_copier->Copy(std::move(sources), to * clusterSize);
    m_copyTargets.emplace(to, total);
    m_unflushedData = true;
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::DrainCopies() {
    if (m_copier == nullptr) {
        return STATUS_SUCCESS;
    }
    const int failure = m_copier->Drain();
    if (!m_copyTargets.empty()) {
        // A window read while a copy was under way may hold its target's old bytes.
        m_readAhead->Forget();
        m_copyTargets.clear();
    }
    return failure == 0 ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
}

bool CNtfsBackend::OverlapsCopyTarget(uint64_t lcn, uint64_t length) const {
    // Of targets that never overlap, only the last one starting before the
    // range's end can reach into it.
    auto next = m_copyTargets.lower_bound(lcn + length);
    if (next == m_copyTargets.begin()) {
        return false;
    }
    --next;
    return next->first + next->second > lcn;
}

NTSTATUS CNtfsBackend::ReadDeferred(const std::vector<NtfsRun>& pieces, Lcn to, int stage) {
    const uint64_t clusterSize = m_vol->cluster_size;
    uint64_t total = 0;
    bool copiedHere = false;
    for (const NtfsRun& piece : pieces) {
        total += static_cast<uint64_t>(piece.length);
        copiedHere = copiedHere || OverlapsCopyTarget(static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length));
    }
    // Data an earlier move of this batch copies here is read once it is there.
    if (copiedHere && DrainCopies() != STATUS_SUCCESS) {
        m_broken = true;
        return STATUS_IO_DEVICE_ERROR;
    }
    DeferredCopy copy{to, stage, {}};
    copy.data.resize(static_cast<size_t>(total * clusterSize));
    uint64_t filled = 0;
    for (const NtfsRun& piece : pieces) {
        const size_t bytes = static_cast<size_t>(static_cast<uint64_t>(piece.length) * clusterSize);
        if (m_medium->Read(static_cast<uint64_t>(piece.lcn) * clusterSize, copy.data.data() + filled, bytes) != 0) {
            m_broken = true;
            return STATUS_IO_DEVICE_ERROR;
        }
        filled += bytes;
    }
    m_deferredBytes += copy.data.size();
    m_deferredTargets.emplace(copy.target, total);
    m_deferred.push_back(std::move(copy));
    return STATUS_SUCCESS;
}

}  // namespace tarvo::platform
