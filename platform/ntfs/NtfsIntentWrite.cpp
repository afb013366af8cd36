// NtfsIntentWrite.cpp --- what a run of moves records outside the volume: the intent record of each
// batch (touched runs, pre-images of the records it rewrites) and the dirty flag around a run.
#include <algorithm>

#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

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
    // The last batch's frees may not be on the medium yet: listed once more,
    // they become durable with the flag's flush.
    NTSTATUS status = SaveIntent(m_unflushedFrees, {FILE_Volume});
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
