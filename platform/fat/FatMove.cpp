// FatMove.cpp --- moves of file clusters on a FAT volume: checks, the data copy, the batch, flushing.
//
// The data of a move is copied into free clusters that nothing points at, and
// the move joins the batch that FatCommit.cpp writes to the FAT in its safe
// order. A move into clusters that a move of the batch leaves keeps its data
// in memory until those clusters are no longer pointed at on the medium. The
// volume carries the dirty flag from the first write until Flush, and our
// record of the moves lets the next open finish or undo them.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/fat/FatVolumeBackend.h"

namespace tarvo::platform {

namespace {

// Largest read or write of a data copy.
constexpr size_t kCopyChunk = 4 << 20;
// A batch is committed when it holds this much data or this many moves.
constexpr uint64_t kBatchBytes = 64ull << 20;
constexpr size_t kBatchMoves = 2048;
// A move larger than this never waits in memory: the batch is committed first.
constexpr uint64_t kMostStagedBytes = 16ull << 20;

}  // namespace

NTSTATUS FatVolumeBackend::Fail(int error, const std::string& what) {
    m_lastError = what + " on " + m_device->Name() + ": " +
                  (m_recordError.empty() ? std::string(std::strerror(error)) : m_recordError);
    m_recordError.clear();
    RecoverAfterFailure();
    return error == ENOSPC ? STATUS_DISK_FULL : STATUS_IO_DEVICE_ERROR;
}

int FatVolumeBackend::ReadClusters(const std::vector<uint32_t>& from, std::vector<uint8_t>& out, FatDataHash& hash) {
    const FatGeometry& g = m_volume.geometry;
    out.resize(from.size() * g.bytesPerCluster);
    for (size_t i = 0; i < from.size();) {
        size_t run = 1;
        while (i + run < from.size() && from[i + run] == from[i] + run) {
            ++run;
        }
        if (int e = m_device->Read(g.ClusterOffset(from[i]), out.data() + i * g.bytesPerCluster, run * g.bytesPerCluster);
            e != 0) {
            return e;
        }
        i += run;
    }
    hash.Add(out.data(), out.size());
    return 0;
}

int FatVolumeBackend::CopyClusters(const std::vector<uint32_t>& from, uint32_t target, FatDataHash& hash) {
    const FatGeometry& g = m_volume.geometry;
    const size_t perChunk = std::max<size_t>(1, kCopyChunk / g.bytesPerCluster);
    std::vector<uint8_t> buffer(std::min(perChunk, from.size()) * g.bytesPerCluster);
    // The target is one run: gather the source runs into the buffer, then write it in one piece.
    for (size_t done = 0; done < from.size();) {
        const size_t chunk = std::min(perChunk, from.size() - done);
        for (size_t i = 0; i < chunk;) {
            size_t run = 1;
            while (i + run < chunk && from[done + i + run] == from[done + i] + run) {
                ++run;
            }
            if (int e = m_device->Read(g.ClusterOffset(from[done + i]), buffer.data() + i * g.bytesPerCluster,
                                       run * g.bytesPerCluster);
                e != 0) {
                return e;
            }
            i += run;
        }
        hash.Add(buffer.data(), chunk * g.bytesPerCluster);
        if (int e = m_device->Write(g.ClusterOffset(target + static_cast<uint32_t>(done)), buffer.data(),
                                    chunk * g.bytesPerCluster);
            e != 0) {
            return e;
        }
        done += chunk;
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
    FatMoveRecord move;
    move.fromEntry = v == 0;
    move.entryOffset = node.entryOffset;
    move.previousCluster = v == 0 ? 0 : node.chain[v - 1];
    move.target = target;
    move.oldClusters.assign(node.chain.begin() + static_cast<long>(v), node.chain.begin() + static_cast<long>(v + n));
    move.successor = table.Get(move.oldClusters.back());

    if (!m_sessionDirty) {
        if (int e = BeginSession(); e != 0) {
            return Fail(e, "cannot mark the volume as in use");
        }
    }
    // A target that a pending move leaves takes the new data only after that move's
    // switch is durable: the move waits in memory for its generation.
    const uint64_t bytes = uint64_t{n} * m_volume.geometry.bytesPerCluster;
    if (ConflictsWithBatch(id, move)) {
        if (int e = CommitBatch(); e != 0) {
            return Fail(e, "cannot write the moves to the FAT");
        }
    }
    move.generation = GenerationInBatch(move);
    if (move.generation != 0 && bytes > kMostStagedBytes) {
        if (int e = CommitBatch(); e != 0) {
            return Fail(e, "cannot write the moves to the FAT");
        }
        move.generation = 0;
    }
    FatDataHash hash;
    std::vector<uint8_t> staged;
    if (int e = move.generation == 0 ? CopyClusters(move.oldClusters, target, hash)
                                     : ReadClusters(move.oldClusters, staged, hash);
        e != 0) {
        // What the batch holds is still good: make it durable before recovering.
        CommitBatch();
        return Fail(e, "cannot copy the clusters");
    }
    move.hasDataHash = true;
    move.dataHash = hash.Value();
    // The end state in memory; the device gets it when the batch is committed.
    for (uint32_t i = 0; i < n; ++i) {
        table.Set(target + i, i + 1 < n ? target + i + 1 : move.successor);
        table.Set(move.oldClusters[i], 0);
        node.chain[v + i] = target + i;
    }
    if (!move.fromEntry) {
        table.Set(move.previousCluster, target);
        m_held[move.previousCluster] |= kHeldPrevious;
    }
    for (uint32_t i = 0; i < n; ++i) {
        m_held[move.oldClusters[i]] |= kHeldOld;
        m_leftBy[move.oldClusters[i]] = move.generation + 1;
        m_held[target + i] |= kHeldTarget;
    }
    m_generations = std::max(m_generations, move.generation + 1);
    m_batchNodes.insert(id);
    m_batchBytes += bytes;
    m_batch.push_back(std::move(move));
    m_staged.push_back(std::move(staged));
    if (m_batchBytes >= kBatchBytes || m_batch.size() >= kBatchMoves) {
        if (int e = CommitBatch(); e != 0) {
            return Fail(e, "cannot write the moves to the FAT");
        }
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
