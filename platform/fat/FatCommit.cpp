// FatCommit.cpp --- writing batches of moves to a FAT volume in a crash-safe order; sessions and repair.
//
// A move copies its data into free clusters at once and is answered from
// memory; its FAT and directory changes wait in a batch. CommitBatch writes a
// batch in four durable states, each made durable (flushed) before the next
// is written, because the kernel may write back anything we have written
// before a flush, in any order, sector by sector:
//   1. the copied data, then the record of every move of the batch (outside
//      the volume). The FAT is unchanged; the copies lie in free clusters.
//   2. the new chain links of every target range, in every FAT copy. Nothing
//      points at the targets yet: a cut leaves them as lost clusters, which the
//      next open gives back (or finishes, where a move's links are complete).
//   3. the one link into each range (the previous cluster's FAT entry, or the
//      directory entry), FAT copy by FAT copy, the directory entries with the
//      first copy. The targets' links and data are durable, so wherever the cut
//      falls each file leads to its own data, old or new, in every copy that
//      fsck.fat may choose; the copies differ only in the switched entries.
//   4. the old clusters freed, in every copy. They are unreferenced since 3,
//      so this write needs no flush of its own: the next batch's first flush,
//      or the end of the session, makes it durable before the record of this
//      batch is replaced or removed. Until then a cut leaves them to the
//      record, whose moves the next open finds finished and frees again.
// The moves of one batch are independent (no shared cluster, one move per
// file), so the next open judges each one alone: finished when its links are
// complete in every copy, undone otherwise (the undo never meets a switched
// link: links are complete before any switch is written). A batch's old
// clusters are not reused while it is pending: a move that needs any cluster
// or file the batch holds commits the batch first. Batching costs no safety
// and saves the flushes of every move but one in each batch.
#include <cerrno>
#include <cstring>

#include "platform/fat/FatEndian.h"
#include "platform/fat/FatVolumeBackend.h"

namespace tarvo::platform {

namespace {

uint32_t ExpectedOld(const FatMoveRecord& move, size_t i) {
    return i + 1 < move.oldClusters.size() ? move.oldClusters[i + 1] : move.successor;
}

}  // namespace

int FatVolumeBackend::WriteFatSectors(const std::set<uint32_t>& sectors, int copy) {
    const FatGeometry& g = m_volume.geometry;
    const uint8_t* bytes = m_volume.fat.Bytes().data();
    for (uint32_t k = 0; k < g.numberOfFats; ++k) {
        if (copy >= 0 && k != static_cast<uint32_t>(copy)) {
            continue;
        }
        for (auto it = sectors.begin(); it != sectors.end();) {
            uint32_t first = *it, last = *it;
            for (++it; it != sectors.end() && *it == last + 1; ++it) {
                last = *it;
            }
            uint64_t offset = uint64_t{first} * g.bytesPerSector;
            size_t length = size_t{last - first + 1} * g.bytesPerSector;
            if (int e = m_device->Write(g.FatOffset(k) + offset, bytes + offset, length); e != 0) {
                return e;
            }
        }
    }
    return 0;
}

int FatVolumeBackend::RestoreUnknownFreeCount() {
    std::lock_guard lock(m_mutex);
    const FatGeometry& g = m_volume.geometry;
    if (!m_fsInfoValid) {
        return 0;
    }
    std::vector<uint8_t> sector(g.bytesPerSector);
    if (int e = m_device->Read(uint64_t{g.fsInfoSector} * g.bytesPerSector, sector.data(), sector.size()); e != 0) {
        return e;
    }
    if (fat::Le32(sector.data() + 488) != 0xFFFFFFFF) {
        return 0;
    }
    if (int e = WriteFsInfoFreeCount(m_freeClusters); e != 0) {
        return e;
    }
    return m_device->Flush();
}

int FatVolumeBackend::WriteFsInfoFreeCount(uint32_t freeCount) {
    const FatGeometry& g = m_volume.geometry;
    std::vector<uint8_t> sector(g.bytesPerSector);
    const uint64_t offset = uint64_t{g.fsInfoSector} * g.bytesPerSector;
    if (int e = m_device->Read(offset, sector.data(), sector.size()); e != 0) {
        return e;
    }
    fat::Put32(sector.data() + 488, freeCount);
    return m_device->Write(offset, sector.data(), sector.size());
}

int FatVolumeBackend::BeginSession() {
    const FatGeometry& g = m_volume.geometry;
    FatIntent idle;
    idle.volumeSerial = g.volumeSerial;
    idle.totalSectors = g.totalSectors;
    idle.clusterCount = g.clusterCount;
    std::string error;
    if (!WriteFatIntent(m_intentPath, idle, error)) {
        m_recordError = error;
        return EIO;
    }
    m_sessionDirty = true;
    m_volume.bootSector[g.dirtyFlagOffset] |= 0x01;
    if (int e = m_device->Write(0, m_volume.bootSector.data(), m_volume.bootSector.size()); e != 0) {
        return e;
    }
    // "Unknown" until the session ends, so that a cut leaves no wrong count behind.
    if (m_fsInfoValid) {
        if (int e = WriteFsInfoFreeCount(0xFFFFFFFF); e != 0) {
            return e;
        }
    }
    return m_device->Flush();
}

bool FatVolumeBackend::ConflictsWithBatch(uint64_t node, const FatMoveRecord& move) const {
    if (m_batch.empty()) {
        return false;
    }
    if (m_batchNodes.count(node) != 0 || (!move.fromEntry && m_held[move.previousCluster] != 0)) {
        return true;
    }
    for (size_t i = 0; i < move.oldClusters.size(); ++i) {
        if (m_held[move.oldClusters[i]] != 0 || m_held[move.target + i] != 0) {
            return true;
        }
    }
    return false;
}

void FatVolumeBackend::ForgetBatch() {
    for (const FatMoveRecord& move : m_batch) {
        if (!move.fromEntry) {
            m_held[move.previousCluster] = 0;
        }
        for (size_t i = 0; i < move.oldClusters.size(); ++i) {
            m_held[move.oldClusters[i]] = 0;
            m_held[move.target + i] = 0;
        }
    }
    m_batch.clear();
    m_batchNodes.clear();
    m_batchBytes = 0;
}

int FatVolumeBackend::CommitBatch() {
    if (m_batch.empty()) {
        return 0;
    }
    const FatGeometry& g = m_volume.geometry;
    FatTable& table = m_volume.fat;
    FatIntent intent;
    intent.volumeSerial = g.volumeSerial;
    intent.totalSectors = g.totalSectors;
    intent.clusterCount = g.clusterCount;
    intent.moves = m_batch;
    // 1. The copied data (and the frees of the batch before), then the record.
    if (int e = m_device->Flush(); e != 0) {
        return e;
    }
    std::string error;
    if (!WriteFatIntent(m_intentPath, intent, error)) {
        m_recordError = error;
        return EIO;
    }
    // 2. The new links. The table holds the batch's end state; it goes back to
    // the old links and switches for this write and forward again step by step.
    std::set<uint32_t> linkSectors, switchSectors, oldSectors;
    for (const FatMoveRecord& move : m_batch) {
        for (size_t i = 0; i < move.oldClusters.size(); ++i) {
            table.Set(move.oldClusters[i], ExpectedOld(move, i));
            table.AddSectorsOf(move.oldClusters[i], oldSectors);
            table.AddSectorsOf(move.target + static_cast<uint32_t>(i), linkSectors);
        }
        if (!move.fromEntry) {
            table.Set(move.previousCluster, move.oldClusters[0]);
            table.AddSectorsOf(move.previousCluster, switchSectors);
        }
    }
    if (int e = WriteFatSectors(linkSectors, -1); e != 0 || (e = m_device->Flush()) != 0) {
        return e;
    }
    // 3. The links into the ranges, one FAT copy at a time; the directory entries with the first.
    for (const FatMoveRecord& move : m_batch) {
        if (!move.fromEntry) {
            table.Set(move.previousCluster, move.target);
        }
    }
    std::vector<uint8_t> sector(g.bytesPerSector);
    for (uint32_t k = 0; k < g.numberOfFats; ++k) {
        int e = WriteFatSectors(switchSectors, static_cast<int>(k));
        for (size_t m = 0; k == 0 && e == 0 && m < m_batch.size(); ++m) {
            const FatMoveRecord& move = m_batch[m];
            if (!move.fromEntry) {
                continue;
            }
            const uint64_t offset = move.entryOffset / g.bytesPerSector * g.bytesPerSector;
            uint8_t* entry = sector.data() + (move.entryOffset - offset);
            e = m_device->Read(offset, sector.data(), sector.size());
            if (e == 0) {
                fat::Put16(entry + 26, static_cast<uint16_t>(move.target));
                if (g.type == FatType::Fat32) {
                    fat::Put16(entry + 20, static_cast<uint16_t>(move.target >> 16));
                }
                e = m_device->Write(offset, sector.data(), sector.size());
            }
        }
        if (e != 0 || (e = m_device->Flush()) != 0) {
            return e;
        }
    }
    // 4. The old clusters go free.
    for (const FatMoveRecord& move : m_batch) {
        for (uint32_t c : move.oldClusters) {
            table.Set(c, 0);
        }
    }
    if (int e = WriteFatSectors(oldSectors, -1); e != 0) {
        return e;
    }
    table.ClearChanged();
    ForgetBatch();
    return 0;
}

int FatVolumeBackend::EndSession() {
    if (int e = CommitBatch(); e != 0) {
        return e;
    }
    const FatGeometry& g = m_volume.geometry;
    if (m_fsInfoValid) {
        if (int e = WriteFsInfoFreeCount(m_freeClusters); e != 0) {
            return e;
        }
    }
    const uint32_t cleanBit = g.type == FatType::Fat16 ? 0x8000 : g.type == FatType::Fat32 ? 0x08000000 : 0;
    if (cleanBit != 0 && (m_volume.fat.Get(1) & cleanBit) == 0) {
        m_volume.fat.Set(1, m_volume.fat.Get(1) | cleanBit);
        std::set<uint32_t> sectors;
        m_volume.fat.AddSectorsOf(1, sectors);
        if (int e = WriteFatSectors(sectors, -1); e != 0) {
            return e;
        }
    }
    if (int e = m_device->Flush(); e != 0) {
        return e;
    }
    m_volume.bootSector[g.dirtyFlagOffset] &= static_cast<uint8_t>(~0x01);
    if (int e = m_device->Write(0, m_volume.bootSector.data(), m_volume.bootSector.size()); e != 0) {
        return e;
    }
    if (int e = m_device->Flush(); e != 0) {
        return e;
    }
    std::string error;
    if (!RemoveFatIntent(m_intentPath, error)) {
        m_recordError = error;
        return EIO;
    }
    m_sessionDirty = false;
    m_volume.info.dirty = false;
    return 0;
}

bool FatVolumeBackend::WriteRepair(std::string& error) {
    std::lock_guard lock(m_mutex);
    return WriteRepairLocked(error);
}

bool FatVolumeBackend::WriteRepairLocked(std::string& error) {
    FatIntent intent;
    std::string readError;
    const bool haveMoves = ReadFatIntent(m_intentPath, intent, readError) && !intent.moves.empty() &&
                           m_volume.info.repaired && m_volume.info.finished.size() == intent.moves.size();
    const FatGeometry& g = m_volume.geometry;
    FatTable& table = m_volume.fat;
    int e = 0;
    if (haveMoves) {
        // Loading finished or undid each move in memory. The same order as a
        // commit: the switches copy by copy (the old chains still whole), then the frees.
        std::set<uint32_t> switchSectors, freeSectors;
        for (size_t m = 0; m < intent.moves.size(); ++m) {
            const FatMoveRecord& move = intent.moves[m];
            for (size_t i = 0; i < move.oldClusters.size(); ++i) {
                if (m_volume.info.finished[m]) {
                    table.Set(move.oldClusters[i], ExpectedOld(move, i));
                    table.AddSectorsOf(move.oldClusters[i], freeSectors);
                } else {
                    table.AddSectorsOf(move.target + static_cast<uint32_t>(i), freeSectors);
                }
            }
            if (m_volume.info.finished[m] && !move.fromEntry) {
                table.AddSectorsOf(move.previousCluster, switchSectors);
            }
        }
        for (uint32_t k = 0; k < g.numberOfFats && e == 0; ++k) {
            e = WriteFatSectors(switchSectors, static_cast<int>(k));
            for (auto it = m_volume.info.patchedSectors.begin(); k == 0 && e == 0 && it != m_volume.info.patchedSectors.end(); ++it) {
                e = m_device->Write(it->first, it->second.data(), it->second.size());
            }
            e = e != 0 ? e : m_device->Flush();
        }
        for (size_t m = 0; m < intent.moves.size(); ++m) {
            for (uint32_t c : intent.moves[m].oldClusters) {
                if (m_volume.info.finished[m]) {
                    table.Set(c, 0);
                }
            }
        }
        e = e != 0 ? e : WriteFatSectors(freeSectors, -1);
    }
    e = e != 0 ? e : m_device->Flush();
    m_sessionDirty = true;
    e = e != 0 ? e : EndSession();
    if (e != 0) {
        error = m_device->Name() + ": cannot write the repair of an interrupted move: " +
                (m_recordError.empty() ? std::string(std::strerror(e)) : m_recordError);
        m_recordError.clear();
        m_broken = true;
        return false;
    }
    m_volume.info.repaired = false;
    m_volume.info.finished.clear();
    m_volume.info.patchedSectors.clear();
    table.ClearChanged();
    return true;
}

void FatVolumeBackend::RecoverAfterFailure() {
    ForgetBatch();
    FatVolume fresh;
    bool haveIntent = false;
    std::string error;
    if (!LoadFatVolumeChecked(*m_device, fresh, haveIntent, error)) {
        m_broken = true;
        return;
    }
    m_volume = std::move(fresh);
    m_held.assign(size_t{m_volume.geometry.clusterCount} + 2, 0);
    m_freeClusters = m_volume.CountFreeClusters();
    m_sessionDirty = false;
    if (haveIntent && m_volume.info.dirty) {
        m_broken = !WriteRepairLocked(error);
    } else if (haveIntent) {
        RemoveFatIntent(m_intentPath, error);
    }
}

}  // namespace tarvo::platform
