// ClusterBitmap.h --- CClusterBitmap: the job's picture of the volume's clusters.
//
// Four one-bit-per-cluster maps in the VOLUME_BITMAP_BUFFER layout:
//   allocation map  allocated as far as our bookkeeping knows (register calls)
//   volume map      allocated as the volume reported at the last Refresh
//   start map       first cluster of an extent of a registered file
//   system map      allocated at analysis time and owned by no registered file
// plus the extent start index (first LCN of an extent -> owning FileRecord);
// a key is in the index exactly when its start-map bit is set.
//
// On NTFS every free-space search skips the MFT zone, and a search for a file
// that moves in whole compression units rounds the wanted length up to a
// multiple of 16 clusters; on FAT neither applies.
//
// Threads: the worker changes the maps and the index; the view calls
// ClusterState, VolumeClusterState and FindFileAt at the same time. A
// reader-writer lock keeps those readers off a half-made change.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

#include "platform/core/FsctlBuffers.h"
#include "volume/ExtentIndex.h"
#include "volume/StateCache.h"
#include "volume/VolumeTypes.h"

namespace tarvo::volume {

class CDefragJob;
class FileRecord;

// Cluster state codes answered by ClusterState beyond the file state codes 1..4, 50..100.
constexpr int kClusterFree = 0;
constexpr int kClusterAllocated = 1;  // VolumeClusterState only
constexpr int kClusterTempSystem = 97;
constexpr int kClusterMftZone = 98;
constexpr int kClusterSystem = 99;

// Which map a raw bit question is about (tests and the view's inspector).
enum class ClusterMap { Allocation, Volume, Start, System };

// How an NTFS search counts the wanted length. Compressed and sparse data move
// in whole compression units: the length is rounded up to a multiple of 16
// clusters, and FindLastFit answers 16-aligned clusters only. Any other file
// moves cluster by cluster and is searched for at its own length. FAT
// searches always count clusters.
enum class SearchUnit { CompressionUnit, Cluster };

class CClusterBitmap {
public:
    CClusterBitmap();
    ~CClusterBitmap();
    CClusterBitmap(const CClusterBitmap&) = delete;
    CClusterBitmap& operator=(const CClusterBitmap&) = delete;

    // Sizes the maps from the job and reads the volume bitmap into each of the
    // four (the start map then cleared). 1 on success; 0 after logging which
    // read failed ("CClusterBitmap::Init (1)".."(4)"); the caller then destroys
    // the object. The job must outlive the bitmap.
    int Init(CDefragJob& job);
    bool IsReady() const { return m_ready; }

    // Reads the volume map again and clears the state cache. Always 1.
    int Refresh();

    // Replaces the index's bucket array by one of n buckets (at least one); keeps its entries.
    void SetIndexSize(size_t n);

    // Registers a file whose extents were read: clears its clusters in the system
    // map and enters each extent start not yet in the start map. False when the
    // index is corrupt (the registration is abandoned; the analysis reports it).
    [[nodiscard]] bool RegisterFile(FileRecord& file);
    // As RegisterFile, and sets the file's clusters in the allocation map.
    [[nodiscard]] bool RegisterMovedFile(FileRecord& file);
    // Before a re-read: clears the file's clusters in the allocation map and
    // removes its extent starts from the start map and the index.
    void UnregisterFile(FileRecord& file);

    // The file owning lcn, or none (free, system, or no extent covers it).
    FileRecord* FindFileAt(Lcn lcn);
    // Allocated in the allocation map and not a system cluster.
    bool IsFileCluster(Lcn lcn) const;

    // The state code of a cluster for the map; runEnd is the last cluster of a
    // run sharing that code, or 0 when no run is given.
    int ClusterState(Lcn lcn, Lcn& runEnd);
    // 1 allocated, 98 free in the MFT zone, 0 free, from the volume map alone.
    int VolumeClusterState(Lcn lcn, Lcn& runEnd);

    // --- free-space searches (answers are lowest clusters of runs) ---
    // Walking down from start, no lower than total / 2: the first free run met,
    // whole when it reaches length (length then the rounded length), else as
    // found (length then its shorter length).
    std::optional<Lcn> FindFreeRunDown(Lcn start, uint64_t& length);
    // Whether length free clusters follow start (a start in the MFT zone moves
    // to its end + 1, the answer is that start).
    std::optional<Lcn> IsFreeRunAt(Lcn start, uint64_t length, SearchUnit unit = SearchUnit::CompressionUnit);
    // The lowest free run of at least length at or above start.
    std::optional<Lcn> FindFirstFit(Lcn start, uint64_t length, SearchUnit unit = SearchUnit::CompressionUnit);
    // As FindFirstFit over the system map: clusters not held by the system count as free.
    std::optional<Lcn> FindFirstFitNonSystem(Lcn start, uint64_t length,
                                             SearchUnit unit = SearchUnit::CompressionUnit);
    // Walking down from the last cluster to lowerLimit: the highest run of
    // length free clusters whose first cluster is 16-aligned on NTFS (in
    // compression units).
    std::optional<Lcn> FindLastFit(Lcn lowerLimit, uint64_t length, SearchUnit unit = SearchUnit::CompressionUnit);
    // As FindLastFit from cursor down; the cursor is set to the cluster found.
    std::optional<Lcn> FindLastFitFrom(Lcn lowerLimit, uint64_t length, Lcn& cursor,
                                       SearchUnit unit = SearchUnit::CompressionUnit);
    // The first maximal run of non-system clusters at or above start that a
    // system cluster ends: its first cluster and length. A run reaching the
    // volume's end is not reported.
    std::optional<Lcn> FindNonSystemRun(Lcn start, uint64_t& length);
    // Walking down from start to cluster 1: the first cluster allocated in the
    // volume map and not a system cluster.
    std::optional<Lcn> FindHighestFileCluster(Lcn start);
    // The lowest free run of length between start and end (inclusive); when none
    // fits, longest is the longest free run met.
    std::optional<Lcn> FindFirstFitInRange(Lcn start, Lcn end, uint64_t length, uint64_t& longest,
                                           SearchUnit unit = SearchUnit::CompressionUnit);

    // --- raw access ---
    uint64_t TotalClusters() const { return m_total; }
    uint64_t ByteCount() const { return m_byteCount; }
    bool Bit(ClusterMap map, Lcn lcn) const;
    // The file the index holds for an extent start, or none.
    FileRecord* IndexLookup(Lcn start) const;
    size_t IndexSize() const;
    size_t IndexBuckets() const;
    // The lock the extent reader holds while it swaps a record's pair map.
    std::unique_lock<std::shared_mutex> LockForChange() { return std::unique_lock(m_lock); }

private:
    bool Register(FileRecord& file, bool moved);
    int ClusterStateLocked(Lcn lcn, Lcn& runEnd);
    FileRecord* FindFileAtLocked(Lcn lcn, uint64_t* extentLength) const;
    uint64_t* Words(ClusterMap map);
    const uint64_t* Words(ClusterMap map) const;
    // NTFS search rules: the MFT zone (empty when none) and the length in the unit's terms.
    bool ZoneOf(Lcn& first, Lcn& last) const;
    uint64_t RoundedLength(uint64_t length, SearchUnit unit = SearchUnit::CompressionUnit) const;

    CDefragJob* m_job = nullptr;
    uint64_t m_total = 0;
    uint64_t m_byteCount = 0;
    // Each map: two header words (StartingLcn, BitmapSize), then the bits.
    std::vector<uint64_t> m_maps[4];
    ExtentIndex m_index;
    size_t m_buckets = 17;
    StateCache m_cache;
    bool m_ready = false;
    mutable std::shared_mutex m_lock;
};

}  // namespace tarvo::volume
