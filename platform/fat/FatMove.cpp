// FatMove.cpp --- crash-safe moves of file clusters on a FAT volume, sessions, repair and flushing.
//
// A move never leaves a moment at which a file's chain leads anywhere but to
// its own data: the data is copied to free clusters and flushed; the new links
// are written into every FAT copy (the new clusters are then merely lost, if
// the power fails) and flushed; then the one link that points at the range
// (the previous cluster's entry, one FAT copy at a time, or the directory
// entry) is switched and flushed; only then are the old clusters freed. The
// volume carries the dirty flag from the first write until Flush, and our
// record of the move lets the next open finish or undo it.
#include <cerrno>
#include <cstring>

#include "platform/fat/FatEndian.h"
#include "platform/fat/FatVolumeBackend.h"

namespace tarvo::platform {

namespace {

constexpr size_t kCopyChunk = 1 << 20;

}  // namespace

NTSTATUS FatVolumeBackend::Fail(int error, const std::string& what) {
    m_lastError = what + " on " + m_device->Name() + ": " + std::strerror(error);
    RecoverAfterFailure();
    return error == ENOSPC ? STATUS_DISK_FULL : STATUS_IO_DEVICE_ERROR;
}

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
        m_lastError = error;
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

int FatVolumeBackend::EndSession() {
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
        m_lastError = error;
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
    const bool haveMove = ReadFatIntent(m_intentPath, intent, readError) && intent.moveActive &&
                          m_volume.info.repaired;
    const FatGeometry& g = m_volume.geometry;
    int e = 0;
    if (haveMove && m_volume.info.rolledForward) {
        // Same order as the move itself: first what points at the new clusters, then free the old ones.
        if (intent.fromEntry) {
            for (const auto& [offset, bytes] : m_volume.info.patchedSectors) {
                e = e != 0 ? e : m_device->Write(offset, bytes.data(), bytes.size());
            }
            e = e != 0 ? e : m_device->Flush();
        } else {
            std::set<uint32_t> sectors;
            m_volume.fat.AddSectorsOf(intent.previousCluster, sectors);
            for (uint32_t k = 0; k < g.numberOfFats && e == 0; ++k) {
                e = WriteFatSectors(sectors, static_cast<int>(k));
                e = e != 0 ? e : m_device->Flush();
            }
        }
        std::set<uint32_t> sectors;
        for (uint32_t c : intent.oldClusters) {
            m_volume.fat.AddSectorsOf(c, sectors);
        }
        e = e != 0 ? e : WriteFatSectors(sectors, -1);
    } else if (haveMove) {
        std::set<uint32_t> sectors;
        for (size_t i = 0; i < intent.oldClusters.size(); ++i) {
            m_volume.fat.AddSectorsOf(intent.target + static_cast<uint32_t>(i), sectors);
        }
        e = WriteFatSectors(sectors, -1);
    }
    e = e != 0 ? e : m_device->Flush();
    m_sessionDirty = true;
    e = e != 0 ? e : EndSession();
    if (e != 0) {
        error = m_device->Name() + ": cannot write the repair of an interrupted move: " +
                (m_lastError.empty() ? std::string(std::strerror(e)) : m_lastError);
        m_broken = true;
        return false;
    }
    m_volume.info.repaired = false;
    m_volume.info.patchedSectors.clear();
    m_volume.fat.ClearChanged();
    return true;
}

void FatVolumeBackend::RecoverAfterFailure() {
    FatVolume fresh;
    bool haveIntent = false;
    std::string error;
    if (!LoadFatVolumeChecked(*m_device, fresh, haveIntent, error)) {
        m_broken = true;
        return;
    }
    m_volume = std::move(fresh);
    m_freeClusters = m_volume.CountFreeClusters();
    m_sessionDirty = false;
    if (haveIntent && m_volume.info.dirty) {
        m_broken = !WriteRepairLocked(error);
    } else if (haveIntent) {
        RemoveFatIntent(m_intentPath, error);
    }
}

int FatVolumeBackend::CopyClusters(const std::vector<uint32_t>& from, uint32_t target) {
    const FatGeometry& g = m_volume.geometry;
    const size_t perChunk = std::max<size_t>(1, kCopyChunk / g.bytesPerCluster);
    std::vector<uint8_t> buffer(perChunk * g.bytesPerCluster);
    for (size_t i = 0; i < from.size();) {
        size_t run = 1;
        while (i + run < from.size() && run < perChunk && from[i + run] == from[i] + run) {
            ++run;
        }
        size_t bytes = run * g.bytesPerCluster;
        if (int e = m_device->Read(g.ClusterOffset(from[i]), buffer.data(), bytes); e != 0) {
            return e;
        }
        if (int e = m_device->Write(g.ClusterOffset(target + static_cast<uint32_t>(i)), buffer.data(), bytes);
            e != 0) {
            return e;
        }
        i += run;
    }
    return 0;
}

FsctlResult FatVolumeBackend::MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) {
    std::lock_guard lock(m_mutex);
    auto answer = [](NTSTATUS s) { return FsctlResult{s, 0, s}; };
    if (m_broken) {
        return answer(STATUS_IO_DEVICE_ERROR);
    }
    if (file >= m_volume.nodes.size()) {
        return answer(STATUS_INVALID_PARAMETER);
    }
    const FatNode& node = m_volume.nodes[file];
    if (node.isDirectory) {
        return answer(STATUS_ACCESS_DENIED);
    }
    if (m_device->IsReadOnly()) {
        return answer(STATUS_MEDIA_WRITE_PROTECTED);
    }
    const uint64_t length = node.chain.size();
    const uint64_t total = m_volume.geometry.clusterCount;
    if (clusterCount == 0 || startingVcn >= length || clusterCount > length - startingVcn || targetLcn >= total ||
        clusterCount > total - targetLcn) {
        return answer(STATUS_INVALID_PARAMETER);
    }
    for (uint64_t i = 0; i < clusterCount; ++i) {
        if (!m_volume.fat.IsFree(static_cast<uint32_t>(targetLcn + 2 + i))) {
            return answer(STATUS_ALREADY_COMMITTED);
        }
    }
    return answer(DoMove(file, startingVcn, static_cast<uint32_t>(targetLcn + 2), clusterCount));
}

NTSTATUS FatVolumeBackend::DoMove(uint64_t id, Vcn v, uint32_t target, uint32_t n) {
    FatNode& node = m_volume.nodes[id];
    FatTable& table = m_volume.fat;
    const FatGeometry& g = m_volume.geometry;
    FatIntent intent;
    intent.volumeSerial = g.volumeSerial;
    intent.totalSectors = g.totalSectors;
    intent.clusterCount = g.clusterCount;
    intent.moveActive = true;
    intent.fromEntry = v == 0;
    intent.entryOffset = node.entryOffset;
    intent.previousCluster = v == 0 ? 0 : node.chain[v - 1];
    intent.target = target;
    intent.oldClusters.assign(node.chain.begin() + static_cast<long>(v), node.chain.begin() + static_cast<long>(v + n));
    intent.successor = table.Get(intent.oldClusters.back());

    if (!m_sessionDirty) {
        if (int e = BeginSession(); e != 0) {
            return Fail(e, "cannot mark the volume as in use");
        }
    }
    std::string error;
    if (!WriteFatIntent(m_intentPath, intent, error)) {
        m_lastError = error;
        return STATUS_UNSUCCESSFUL;  // nothing of this move touched the volume yet
    }
    // 1. The data, into clusters nothing points at yet.
    if (int e = CopyClusters(intent.oldClusters, target); e != 0 || (e = m_device->Flush()) != 0) {
        return Fail(e, "cannot copy the clusters");
    }
    // 2. The new links, in every copy: until something points at them, the new clusters are only lost.
    std::set<uint32_t> sectors;
    for (uint32_t i = 0; i < n; ++i) {
        table.Set(target + i, i + 1 < n ? target + i + 1 : intent.successor);
        table.AddSectorsOf(target + i, sectors);
    }
    if (int e = WriteFatSectors(sectors, -1); e != 0 || (e = m_device->Flush()) != 0) {
        return Fail(e, "cannot write the FAT");
    }
    // 3. The one link into the range: the directory entry, or the previous cluster's entry copy by copy.
    if (intent.fromEntry) {
        std::vector<uint8_t> sector(g.bytesPerSector);
        const uint64_t offset = node.entryOffset / g.bytesPerSector * g.bytesPerSector;
        uint8_t* entry = sector.data() + (node.entryOffset - offset);
        int e = m_device->Read(offset, sector.data(), sector.size());
        if (e == 0) {
            fat::Put16(entry + 26, static_cast<uint16_t>(target));
            if (g.type == FatType::Fat32) {
                fat::Put16(entry + 20, static_cast<uint16_t>(target >> 16));
            }
            e = m_device->Write(offset, sector.data(), sector.size());
        }
        if (e != 0 || (e = m_device->Flush()) != 0) {
            return Fail(e, "cannot write the directory entry");
        }
    } else {
        table.Set(intent.previousCluster, target);
        sectors.clear();
        table.AddSectorsOf(intent.previousCluster, sectors);
        for (uint32_t k = 0; k < g.numberOfFats; ++k) {
            if (int e = WriteFatSectors(sectors, static_cast<int>(k)); e != 0 || (e = m_device->Flush()) != 0) {
                return Fail(e, "cannot write the FAT");
            }
        }
    }
    // 4. Only now the old clusters go free.
    sectors.clear();
    for (uint32_t c : intent.oldClusters) {
        table.Set(c, 0);
        table.AddSectorsOf(c, sectors);
    }
    if (int e = WriteFatSectors(sectors, -1); e != 0 || (e = m_device->Flush()) != 0) {
        return Fail(e, "cannot write the FAT");
    }
    table.ClearChanged();
    for (uint32_t i = 0; i < n; ++i) {
        node.chain[v + i] = target + i;
    }
    return STATUS_SUCCESS;
}

NTSTATUS FatVolumeBackend::Flush() {
    std::lock_guard lock(m_mutex);
    if (m_broken) {
        return STATUS_IO_DEVICE_ERROR;
    }
    int e = m_sessionDirty ? EndSession() : m_device->Flush();
    if (e != 0) {
        Fail(e, "cannot mark the volume clean");
        return STATUS_IO_DEVICE_ERROR;
    }
    return STATUS_SUCCESS;
}

}  // namespace tarvo::platform
