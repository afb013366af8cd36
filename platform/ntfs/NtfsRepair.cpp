// NtfsRepair.cpp --- what the next open does after a run of ours was cut: torn records, leaked clusters.
#include <cerrno>
#include <cstring>

#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

// A torn record goes back to its pre-image, which is consistent with the
// clusters the next stages had not yet written. A whole record stays as it is,
// old or new: a record is written only after its data is on the medium. A
// record and its $MFTMirr copy are saved as neighbouring images with equal
// bytes; when either is torn, or the two now differ (one write reached the
// medium, the other not), both go back: the library refuses a volume whose
// $MFT and $MFTMirr disagree.
int CNtfsBackend::RestoreTornRecords(BlockDevice& device, const NtfsIntent& intent) {
    const size_t count = intent.records.size();
    std::vector<std::vector<uint8_t>> current(count), saved(count);
    std::vector<bool> restore(count, false);
    for (size_t i = 0; i < count; ++i) {
        for (const RecordPiece& piece : intent.records[i].pieces) {
            std::vector<uint8_t> bytes(piece.bytes.size());
            int rc = device.Read(piece.offset, bytes.data(), bytes.size());
            if (rc != 0) {
                return rc;
            }
            current[i].insert(current[i].end(), bytes.begin(), bytes.end());
            saved[i].insert(saved[i].end(), piece.bytes.begin(), piece.bytes.end());
        }
        restore[i] = !MftRecordIsWhole(current[i]);
    }
    for (size_t i = 1; i < count; ++i) {
        if (saved[i - 1] == saved[i] && (restore[i - 1] || restore[i] || current[i - 1] != current[i])) {
            restore[i - 1] = restore[i] = true;
        }
    }
    bool wrote = false;
    for (size_t i = 0; i < count; ++i) {
        if (!restore[i] || current[i] == saved[i]) {
            continue;
        }
        for (const RecordPiece& piece : intent.records[i].pieces) {
            int rc = device.Write(piece.offset, piece.bytes.data(), piece.bytes.size());
            if (rc != 0) {
                return rc;
            }
        }
        wrote = true;
    }
    return wrote ? device.Flush() : 0;
}

namespace {

// True when every copy the intent record fingerprinted holds its bytes.
int CopiesInPlace(BlockDevice& device, const NtfsIntent& intent, bool& inPlace) {
    constexpr uint64_t kMaxChunk = 64ULL << 20;  // ours are at most 4 MiB each
    inPlace = true;
    std::vector<uint8_t> bytes;
    for (const CopyFingerprint& copy : intent.copies) {
        if (copy.length > kMaxChunk || copy.offset > device.Size() || copy.length > device.Size() - copy.offset) {
            inPlace = false;
            return 0;
        }
        bytes.resize(static_cast<size_t>(copy.length));
        int rc = device.Read(copy.offset, bytes.data(), bytes.size());
        if (rc != 0) {
            return rc;
        }
        if (HashBytes(bytes.data(), bytes.size(), intent.fingerprintLanes) != copy.hash) {
            inPlace = false;
            return 0;
        }
    }
    return 0;
}

}  // namespace

// A batch an earlier version wrote at once is repeated when its stage-0
// copies are in place: they were flushed before any of its other writes, so
// the cut came after that flush, and repeating the staged copies and the
// records' new images finishes the batch. Otherwise none of those writes was
// issued. (Batches are now written stage by stage and keep pre-images only.)
int CNtfsBackend::RepairRecords(BlockDevice& device, const NtfsIntent& intent) {
    if (intent.redo.empty()) {
        return RestoreTornRecords(device, intent);
    }
    bool inPlace = false;
    int rc = CopiesInPlace(device, intent, inPlace);
    if (rc != 0) {
        return rc;
    }
    if (!inPlace) {
        return RestoreTornRecords(device, intent);
    }
    for (const DeviceWrite& write : intent.redo) {
        if (write.offset > device.Size() || write.bytes.size() > device.Size() - write.offset) {
            return EINVAL;
        }
        rc = device.Write(write.offset, write.bytes.data(), write.bytes.size());
        if (rc != 0) {
            return rc;
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
