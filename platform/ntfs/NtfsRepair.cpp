// NtfsRepair.cpp --- what the next open does after a run of ours was cut: torn records, leaked clusters.
#include <cerrno>
#include <cstring>

#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

// A record and its $MFTMirr copy are saved as neighbouring images with equal
// bytes. When any image is torn, or two copies that were equal now differ (one
// write reached the medium, the other not), every image that changed goes
// back to its pre-image: the library refuses a volume whose $MFT and $MFTMirr
// disagree, and the pre-images are consistent with the rest of the volume.
int CNtfsBackend::RestoreTornRecords(BlockDevice& device, const NtfsIntent& intent) {
    std::vector<std::vector<uint8_t>> current, saved;
    bool restore = false;
    for (const RecordImage& image : intent.records) {
        std::vector<uint8_t> now, before;
        for (const RecordPiece& piece : image.pieces) {
            std::vector<uint8_t> bytes(piece.bytes.size());
            int rc = device.Read(piece.offset, bytes.data(), bytes.size());
            if (rc != 0) {
                return rc;
            }
            now.insert(now.end(), bytes.begin(), bytes.end());
            before.insert(before.end(), piece.bytes.begin(), piece.bytes.end());
        }
        restore = restore || !MftRecordIsWhole(now);
        if (!saved.empty() && saved.back() == before && current.back() != now) {
            restore = true;
        }
        current.push_back(std::move(now));
        saved.push_back(std::move(before));
    }
    if (!restore) {
        return 0;  // every write reached the medium whole, or not at all
    }
    for (size_t i = 0; i < intent.records.size(); ++i) {
        if (current[i] == saved[i]) {
            continue;
        }
        for (const RecordPiece& piece : intent.records[i].pieces) {
            int rc = device.Write(piece.offset, piece.bytes.data(), piece.bytes.size());
            if (rc != 0) {
                return rc;
            }
        }
    }
    return device.Flush();
}

NTSTATUS CNtfsBackend::ReclaimLeakedClusters(const NtfsIntent& intent, std::string& error) {
    const std::string name = m_device->Name();
    ClusterAccounting accounting;
    if (!AccountClusters(accounting)) {
        error = name + ": cannot account the clusters to repair an interrupted run.";
        return STATUS_DISK_CORRUPT_ERROR;
    }
    const uint64_t clusters = static_cast<uint64_t>(m_vol->nr_clusters);
    for (const ClusterRun& run : intent.runs) {
        for (uint64_t lcn = run.lcn; lcn < run.lcn + run.length && lcn < clusters; ++lcn) {
            bool set = false;
            if (!BitmapBit(lcn, set)) {
                error = name + ": cannot read $Bitmap.";
                return STATUS_IO_DEVICE_ERROR;
            }
            bool owned = (accounting.owned[lcn / 8] >> (lcn % 8)) & 1;
            int rc = 0;
            if (set && !owned) {
                rc = ntfs_bitmap_clear_run(m_vol->lcnbmp_na, static_cast<s64>(lcn), 1);
                m_vol->free_clusters++;
            } else if (!set && owned) {
                rc = ntfs_bitmap_set_run(m_vol->lcnbmp_na, static_cast<s64>(lcn), 1);
                m_vol->free_clusters--;
            }
            if (rc != 0) {
                error = name + ": cannot write $Bitmap: " + std::strerror(errno) + ".";
                return STATUS_IO_DEVICE_ERROR;
            }
        }
    }
    if (FlushDevice() != 0) {
        error = name + ": cannot flush the repair.";
        return STATUS_IO_DEVICE_ERROR;
    }
    if (intent.dirtySetByUs) {
        m_runDirty = true;
        if (EndRun() != STATUS_SUCCESS) {
            error = name + ": cannot clear the dirty flag an interrupted run set.";
            return STATUS_IO_DEVICE_ERROR;
        }
    } else if (m_intent->Remove() != 0) {
        error = name + ": cannot remove " + m_intent->Path() + ".";
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

}  // namespace tarvo::platform
