// FatCommit.cpp --- writing batches of moves to a FAT volume in a crash-safe order; sessions and repair.
//
// A move is answered from memory; its FAT and directory changes wait in a
// batch. Each move has a generation: 0 when its target was free before the
// batch (its data is copied at once), otherwise one after the latest move of
// the batch whose old clusters its target takes (its data waits in memory).
// CommitBatch writes a batch in durable states, each made durable (flushed)
// before the next is written, because the kernel may write back anything we
// have written before a flush, in any order, sector by sector:
//   1. the data copied by generation 0, then the record of every move of the
//      batch with its generation and the fingerprint of its data (outside the
//      volume). The FAT is unchanged; the copies lie in free clusters.
//   Then for each generation in turn:
//   2. the data kept in memory for it, and the new chain links of its target
//      ranges in every FAT copy. Nothing points at these targets on the medium:
//      a cut leaves them as lost clusters, which the next open gives back, or
//      finishes where a move's links are complete and its data matches the
//      fingerprint.
//   3. the one link into each range (the previous cluster's FAT entry, or the
//      directory entry). The targets' links and data are durable, so wherever
//      the cut falls each file leads to its own data, old or new, in every copy
//      that fsck.fat may choose; the copies differ only in the switched entries.
//      From here on the old clusters of this generation belong to no file on
//      the medium, and the next generation may write into them.
//   4. after the last generation, the old clusters no move took go free, in
//      every copy. This write needs no flush of its own: the next batch's first
//      flush, or the end of the session, makes it durable before the record of
//      this batch is replaced or removed. Until then a cut leaves them to the
//      record, whose moves the next open finds finished and frees again.
// The next open judges the generations in order (see FatVolume.cpp): all moves
// before the first generation with a move that is not ready are finished, that
// generation's ready moves finished and the others undone, and the later ones
// never started. A move of a file the batch already moves, or of clusters it
// holds otherwise, commits the batch first.
#include <algorithm>
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
    return WriteTableSectors(m_volume.fat, sectors, copy);
}

int FatVolumeBackend::WriteTableSectors(const FatTable& table, const std::set<uint32_t>& sectors, int copy) {
    const FatGeometry& g = m_volume.geometry;
    const uint8_t* bytes = table.Bytes().data();
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
        if (m_held[move.oldClusters[i]] != 0 || (m_held[move.target + i] & ~kHeldOld) != 0) {
            return true;
        }
    }
    return false;
}

uint32_t FatVolumeBackend::GenerationInBatch(const FatMoveRecord& move) const {
    uint32_t generation = 0;
    for (size_t i = 0; i < move.oldClusters.size(); ++i) {
        generation = std::max(generation, m_leftBy[move.target + i]);
    }
    return generation;
}

void FatVolumeBackend::ForgetBatch() {
    for (const FatMoveRecord& move : m_batch) {
        if (!move.fromEntry) {
            m_held[move.previousCluster] = 0;
        }
        for (size_t i = 0; i < move.oldClusters.size(); ++i) {
            m_held[move.oldClusters[i]] = 0;
            m_leftBy[move.oldClusters[i]] = 0;
            m_held[move.target + i] = 0;
        }
    }
    m_batch.clear();
    m_staged.clear();
    m_generations = 0;
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
    // 1. The data copied by generation 0 (and the frees of the batch before), then the record.
    if (int e = m_device->Flush(); e != 0) {
        return e;
    }
    std::string error;
    if (!WriteFatIntent(m_intentPath, intent, error)) {
        m_recordError = error;
        return EIO;
    }
    // The table holds the batch's end state; it goes back to the state before the
    // batch (targets free, old chains whole, links into the old ranges) and forward
    // again generation by generation as the device follows.
    for (const FatMoveRecord& move : m_batch) {
        for (size_t i = 0; i < move.oldClusters.size(); ++i) {
            table.Set(move.target + static_cast<uint32_t>(i), 0);
        }
    }
    for (const FatMoveRecord& move : m_batch) {
        for (size_t i = 0; i < move.oldClusters.size(); ++i) {
            table.Set(move.oldClusters[i], ExpectedOld(move, i));
        }
        if (!move.fromEntry) {
            table.Set(move.previousCluster, move.oldClusters[0]);
        }
    }
    for (uint32_t generation = 0; generation < m_generations; ++generation) {
        if (int e = CommitGeneration(generation); e != 0) {
            return e;
        }
    }
    // 4. The old clusters that no move took go free.
    std::set<uint32_t> oldSectors;
    for (const FatMoveRecord& move : m_batch) {
        for (uint32_t c : move.oldClusters) {
            if ((m_held[c] & kHeldTarget) == 0) {
                table.Set(c, 0);
                table.AddSectorsOf(c, oldSectors);
            }
        }
    }
    if (int e = WriteFatSectors(oldSectors, -1); e != 0) {
        return e;
    }
    table.ClearChanged();
    ForgetBatch();
    return 0;
}

int FatVolumeBackend::CommitGeneration(uint32_t generation) {
    const FatGeometry& g = m_volume.geometry;
    FatTable& table = m_volume.fat;
    // 2. The data kept in memory (its target is pointed at by nothing on the medium
    // since the generation before), and the new links of every target range.
    std::set<uint32_t> linkSectors, switchSectors;
    for (size_t m = 0; m < m_batch.size(); ++m) {
        const FatMoveRecord& move = m_batch[m];
        if (move.generation != generation) {
            continue;
        }
        if (!m_staged[m].empty()) {
            if (int e = m_device->Write(g.ClusterOffset(move.target), m_staged[m].data(), m_staged[m].size()); e != 0) {
                return e;
            }
            std::vector<uint8_t>().swap(m_staged[m]);
        }
        const size_t n = move.oldClusters.size();
        for (size_t i = 0; i < n; ++i) {
            const uint32_t t = move.target + static_cast<uint32_t>(i);
            table.Set(t, i + 1 < n ? t + 1 : move.successor);
            table.AddSectorsOf(t, linkSectors);
        }
        if (!move.fromEntry) {
            table.AddSectorsOf(move.previousCluster, switchSectors);
        }
    }
    if (int e = WriteFatSectors(linkSectors, -1); e != 0 || (e = m_device->Flush()) != 0) {
        return e;
    }
    // 3. The links into the ranges and the directory entries. A 12-bit entry may
    // straddle two sectors, so FAT12 switches copy by copy, each copy durable
    // before the next; 16- and 32-bit entries never tear, and all copies go at once.
    for (const FatMoveRecord& move : m_batch) {
        if (move.generation == generation && !move.fromEntry) {
            table.Set(move.previousCluster, move.target);
        }
    }
    const bool copyByCopy = g.type == FatType::Fat12;
    std::vector<uint8_t> sector(g.bytesPerSector);
    for (uint32_t k = 0; k < g.numberOfFats; ++k) {
        int e = WriteFatSectors(switchSectors, copyByCopy ? static_cast<int>(k) : -1);
        for (size_t m = 0; k == 0 && e == 0 && m < m_batch.size(); ++m) {
            const FatMoveRecord& move = m_batch[m];
            if (!move.fromEntry || move.generation != generation) {
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
        if (!copyByCopy) {
            break;
        }
    }
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
        // commit: first the switches of the finished moves, copy by copy, into
        // each copy as the device holds it (the old chains still whole); then
        // everything else the repair changed (frees, targets given back), in every copy.
        for (uint32_t k = 0; k < g.numberOfFats && e == 0; ++k) {
            std::vector<uint8_t> bytes(g.FatBytes());
            e = m_device->Read(g.FatOffset(k), bytes.data(), bytes.size());
            FatTable onDevice(g, std::move(bytes));
            for (size_t m = 0; e == 0 && m < intent.moves.size(); ++m) {
                const FatMoveRecord& move = intent.moves[m];
                if (m_volume.info.finished[m] && !move.fromEntry) {
                    onDevice.Set(move.previousCluster, move.target);
                }
            }
            e = e != 0 ? e : WriteTableSectors(onDevice, onDevice.ChangedSectors(), static_cast<int>(k));
            for (auto it = m_volume.info.patchedSectors.begin(); k == 0 && e == 0 && it != m_volume.info.patchedSectors.end(); ++it) {
                e = m_device->Write(it->first, it->second.data(), it->second.size());
            }
            e = e != 0 ? e : m_device->Flush();
        }
        e = e != 0 ? e : WriteFatSectors(table.ChangedSectors(), -1);
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
    m_leftBy.assign(m_held.size(), 0);
    m_freeClusters = m_volume.CountFreeClusters();
    m_sessionDirty = false;
    if (haveIntent && m_volume.info.dirty) {
        m_broken = !WriteRepairLocked(error);
    } else if (haveIntent) {
        RemoveFatIntent(m_intentPath, error);
    }
}

}  // namespace tarvo::platform
