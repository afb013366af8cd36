// NtfsMove.cpp --- FSCTL_MOVE_FILE on NTFS, in the order that never loses a byte.
//
// Order of one move: intent record saved (outside the volume); clusters copied
// to the free target, read back and compared, and the target marked in
// $Bitmap, flush; the new mapping pairs written into the file's MFT record,
// flush; only then the old clusters freed, flush. The volume's dirty flag is set before
// the first move of a run and cleared when the run ends. A cut anywhere leaves
// every file readable, at worst with clusters marked that no file owns, which
// the next open reclaims from the intent record.
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
    const int64_t total = m_vol->nr_clusters;
    if (clusterCount == 0 || startingVcn > static_cast<uint64_t>(INT64_MAX / 2) ||
        targetLcn >= static_cast<uint64_t>(total)) {
        return Answer(STATUS_INVALID_PARAMETER);
    }
    ntfs_inode* ni = ntfs_inode_open(m_vol, file);
    if (ni == nullptr) {
        return Answer(STATUS_INVALID_HANDLE);
    }
    NTSTATUS status = Openable(ni);
    if (status == STATUS_SUCCESS && (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY)) {
        status = STATUS_INVALID_PARAMETER;  // directory indexes stay where they are
    }
    if (status != STATUS_SUCCESS) {
        ntfs_inode_close(ni);
        return Answer(status);
    }
    ntfs_attr_search_ctx* ctx = ntfs_attr_get_search_ctx(ni, nullptr);
    if (ctx == nullptr) {
        ntfs_inode_close(ni);
        return Answer(STATUS_NO_MEMORY);
    }
    auto finish = [&](NTSTATUS result) {
        ntfs_attr_put_search_ctx(ctx);
        ntfs_inode_close(ni);
        // Forget any cached copy, so the next open reads the record as it is on disk.
        ntfs_inode_invalidate(m_vol, file);
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
    for (int64_t lcn = static_cast<int64_t>(targetLcn); lcn < static_cast<int64_t>(targetLcn) + allocated; ++lcn) {
        bool used = true;
        if (!BitmapBit(static_cast<uint64_t>(lcn), used)) {
            return finish(STATUS_IO_DEVICE_ERROR);
        }
        if (used) {
            return finish(STATUS_ALREADY_COMMITTED);
        }
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

    std::vector<ClusterRun> touched{{targetLcn, static_cast<uint64_t>(allocated)}};
    for (const NtfsRun& piece : moved) {
        touched.push_back({static_cast<uint64_t>(piece.lcn), static_cast<uint64_t>(piece.length)});
    }
    if ((status = BeginRun()) != STATUS_SUCCESS || (status = SaveIntent(touched, {file})) != STATUS_SUCCESS) {
        return finish(status);
    }
    // 1. Copy, verify; mark the target used; flush. Neither write is referenced
    // yet, so they share one flush: a cut leaves at worst a marked target that
    // no file owns, which the intent record lists for the next open.
    int64_t next = static_cast<int64_t>(targetLcn);
    for (const NtfsRun& piece : moved) {
        if ((status = CopyClusters(static_cast<Lcn>(piece.lcn), static_cast<Lcn>(next), static_cast<uint64_t>(piece.length))) != STATUS_SUCCESS) {
            return finish(status);
        }
        next += piece.length;
    }
    if (ntfs_bitmap_set_run(m_vol->lcnbmp_na, static_cast<s64>(targetLcn), allocated) != 0 || FlushDevice() != 0) {
        m_broken = true;
        return finish(STATUS_IO_DEVICE_ERROR);
    }
    m_vol->free_clusters -= allocated;
    // 2. Point the file at its new clusters, flush.
    if (ntfs_attr_record_resize(m, a, newLength) != 0 ||
        ntfs_mapping_pairs_build(m_vol, reinterpret_cast<u8*>(a) + mpOffset, static_cast<int>(newLength - mpOffset),
                                 rl.data(), 0, nullptr) != 0 ||
        ntfs_mft_record_write(m_vol, ni->mft_no, ni->mrec) != 0 || FlushDevice() != 0) {
        m_broken = true;
        return finish(STATUS_IO_DEVICE_ERROR);
    }
    // 3. Only now free the old clusters, flush.
    for (const NtfsRun& piece : moved) {
        if (ntfs_bitmap_clear_run(m_vol->lcnbmp_na, piece.lcn, piece.length) != 0) {
            m_broken = true;
            return finish(STATUS_IO_DEVICE_ERROR);
        }
        m_vol->free_clusters += piece.length;
    }
    if (FlushDevice() != 0) {
        m_broken = true;
        return finish(STATUS_IO_DEVICE_ERROR);
    }
    // The intent record stays as it is until the next move or the end of the
    // run replaces it: after the last flush its record image is whole and its
    // clusters are owned or free as they should be, so the next open would
    // find nothing to repair in it. That saves a synchronous replace per move.
    return finish(STATUS_SUCCESS);
}

NTSTATUS CNtfsBackend::CopyClusters(Lcn from, Lcn to, uint64_t count) {
    const uint64_t clusterSize = m_vol->cluster_size;
    const uint64_t chunkClusters = std::max<uint64_t>(1, (1u << 20) / clusterSize);
    std::vector<uint8_t> data(chunkClusters * clusterSize), check(chunkClusters * clusterSize);
    for (uint64_t done = 0; done < count; done += chunkClusters) {
        uint64_t n = std::min(chunkClusters, count - done);
        size_t bytes = static_cast<size_t>(n * clusterSize);
        if (m_device->Read((from + done) * clusterSize, data.data(), bytes) != 0 ||
            m_device->Write((to + done) * clusterSize, data.data(), bytes) != 0 ||
            m_device->Read((to + done) * clusterSize, check.data(), bytes) != 0) {
            m_broken = true;
            return STATUS_IO_DEVICE_ERROR;
        }
        if (std::memcmp(data.data(), check.data(), bytes) != 0) {
            m_broken = true;
            return STATUS_IO_DEVICE_ERROR;
        }
    }
    return STATUS_SUCCESS;
}

int CNtfsBackend::RecordImageOf(uint64_t record, RecordImage& out) {
    out.pieces.clear();
    const uint64_t recordSize = m_vol->mft_record_size;
    const uint64_t clusterSize = m_vol->cluster_size;
    ntfs_attr* na = m_vol->mft_na;
    uint64_t offset = record * recordSize;
    // The $MFTMirr copy of the first records is a second image of its own.
    if (record >= 0x8000000000000000ULL) {
        na = m_vol->mftmirr_na;
        offset = (record - 0x8000000000000000ULL) * recordSize;
    }
    uint64_t done = 0;
    while (done < recordSize) {
        uint64_t position = offset + done;
        LCN lcn = ntfs_attr_vcn_to_lcn(na, static_cast<VCN>(position / clusterSize));
        if (lcn < 0) {
            return EIO;
        }
        uint64_t within = position % clusterSize;
        uint64_t length = std::min(recordSize - done, clusterSize - within);
        RecordPiece piece;
        piece.offset = static_cast<uint64_t>(lcn) * clusterSize + within;
        piece.bytes.resize(length);
        int rc = m_device->Read(piece.offset, piece.bytes.data(), length);
        if (rc != 0) {
            return rc;
        }
        out.pieces.push_back(std::move(piece));
        done += length;
    }
    return 0;
}

NTSTATUS CNtfsBackend::SaveIntent(const std::vector<ClusterRun>& runs, const std::vector<uint64_t>& records) {
    NtfsIntent intent;
    intent.serial = m_serial;
    intent.dirtySetByUs = true;
    intent.runs = runs;
    for (uint64_t record : records) {
        std::vector<uint64_t> copies{record};
        if (record < static_cast<uint64_t>(m_vol->mftmirr_size)) {
            copies.push_back(record + 0x8000000000000000ULL);
        }
        for (uint64_t copy : copies) {
            RecordImage image;
            if (RecordImageOf(copy, image) != 0) {
                m_broken = true;
                return STATUS_IO_DEVICE_ERROR;
            }
            intent.records.push_back(std::move(image));
        }
    }
    if (m_intent->Save(intent) != 0) {
        return STATUS_UNSUCCESSFUL;  // nothing was written to the volume for this step
    }
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::BeginRun() {
    if (m_runDirty) {
        return STATUS_SUCCESS;
    }
    NTSTATUS status = SaveIntent({}, {FILE_Volume});
    if (status != STATUS_SUCCESS) {
        return status;
    }
    m_runDirty = true;  // from here on our intent record says the flag may be set
    if (ntfs_volume_write_flags(m_vol, m_vol->flags | VOLUME_IS_DIRTY) != 0 || FlushDevice() != 0) {
        m_broken = true;
        return STATUS_IO_DEVICE_ERROR;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::EndRun() {
    NTSTATUS status = SaveIntent({}, {FILE_Volume});
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (ntfs_volume_write_flags(m_vol, m_vol->flags & ~VOLUME_IS_DIRTY) != 0 || FlushDevice() != 0) {
        m_broken = true;
        return STATUS_IO_DEVICE_ERROR;
    }
    if (m_intent->Remove() != 0) {
        return STATUS_UNSUCCESSFUL;
    }
    m_runDirty = false;
    return STATUS_SUCCESS;
}

}  // namespace tarvo::platform
