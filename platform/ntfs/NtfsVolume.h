// NtfsVolume.h --- the NTFS backend's class: one mounted libntfs-3g volume behind VolumeBackend.
//
// Every public method takes NtfsLibraryMutex() for its whole duration, so the
// backend's own state (directory cache, bitmap, pending moves) needs no lock of
// its own. Two other threads work for it: the commit's flusher only calls the
// device's Flush, and the copier copies the data of moves on the medium
// beneath the read-ahead windows, never where the library reads or writes.
//
// Moves are made durable in batches: a move copies and verifies the data and
// changes the file's MFT record and the bitmap in memory only; a commit
// (NtfsCommit.cpp) then writes the whole batch in the safe order. Until then
// the volume on the medium is exactly as the last commit left it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/blockio/BackgroundCopier.h"
#include "platform/blockio/BackgroundFlusher.h"
#include "platform/blockio/ReadAheadDevice.h"
#include "platform/blockio/BlockDevice.h"
#include "platform/core/VolumeBackend.h"
#include "platform/ntfs/NtfsDevice.h"
#include "platform/ntfs/NtfsIntent.h"
#include "platform/ntfs/NtfsLib.h"
#include "platform/ntfs/NtfsRunlist.h"

namespace tarvo::platform {

// The first MFT record the backend lets anyone open; below it live the
// volume's own files ($MFT, $LogFile, $Bitmap, $Extend, reserved records).
constexpr uint64_t kFirstOpenableRecord = 24;

// Per-cluster ownership found by walking every MFT record.
struct ClusterAccounting {
    std::vector<uint8_t> owned;  // one bit per cluster
    uint64_t recordsWalked = 0;
    uint64_t usedTwice = 0;
    uint64_t ownedButFree = 0;   // owned by a record, clear in $Bitmap
    uint64_t markedUnowned = 0;  // set in $Bitmap, owned by nothing (leaked)
    uint64_t outsideVolume = 0;
    std::vector<std::string> problems;  // first few, for the report
};

// Names of one directory compare and hash without regard to ASCII case.
struct NameHash {
    size_t operator()(std::string_view name) const;
};
struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const;
};
// Upper-cased long and short names to their entry; the views point into the
// directory's cached listing, which never changes once made.
using NameIndex = std::unordered_map<std::string_view, size_t, NameHash, NameEqual>;

// A record changed in memory by the batch, and the stage of the commit that
// writes it (see NtfsCommit.cpp).
struct PendingRecord {
    ntfs_inode* ni = nullptr;
    int stage = 0;
};

// Clusters a pending move left whose record on the medium still points at
// them until the stage that writes the new record.
struct ReleasedRun {
    uint64_t lcn = 0;
    uint64_t length = 0;
    int stage = 0;
};

// A copy into clusters that are not safe to write yet: its data, read at the
// move, goes to the medium at its stage of the commit.
struct DeferredCopy {
    uint64_t target = 0;
    int stage = 0;
    std::vector<uint8_t> data;
};

// Bytes of $Bitmap from byte `first` on, as a step of the commit writes them.
struct BitmapBytes {
    uint64_t first = 0;
    std::vector<uint8_t> bytes;
};

// A batch whose commit is under way while the next batch gathers moves: its
// records, runs and deferred copies, the $Bitmap bytes it leaves behind, and
// the step of its commit that comes after the flush under way.
struct CommitInFlight {
    std::map<uint64_t, PendingRecord> pending;
    std::vector<ClusterRun> touched;  // merged
    std::vector<ReleasedRun> released;
    std::vector<DeferredCopy> deferred;
    std::vector<BitmapBytes> finalBitmap;
    int lastStage = 0;
    int stage = 0;               // the stage the next step works on
    bool recordsNext = true;     // its records come next, else its deferred copies
};

// What the backend remembers of one file record once it has looked at it.
struct CachedFile {
    NTSTATUS openable = STATUS_SUCCESS;  // Openable() of the record
    bool runsKnown = false;
    NTSTATUS runsStatus = STATUS_SUCCESS;  // ReadRuns() of the record
    std::vector<NtfsRun> runs;
};

class CNtfsBackend final : public VolumeBackend {
public:
    // Mounts the volume on `device` (see OpenNtfsBackend for the checks).
    static std::unique_ptr<CNtfsBackend> Open(std::unique_ptr<BlockDevice> device, std::string& error);
    ~CNtfsBackend() override;

    NTSTATUS GetVolumeInformation(VolumeInformation& out) override;
    NTSTATUS GetDiskFreeSpace(DiskFreeSpace& out) override;
    UINT GetDriveType() override;
    FsctlResult GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) override;
    FsctlResult GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) override;
    NTSTATUS ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) override;
    NTSTATUS ListDirectoryShared(std::string_view directoryPath,
                                 std::shared_ptr<const std::vector<DirectoryEntry>>& out) override;
    NTSTATUS StatFile(std::string_view path, DirectoryEntry& out) override;
    NTSTATUS OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) override;
    FsctlResult GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) override;
    FsctlResult MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) override;
    NTSTATUS Flush() override;
    bool CheckConsistency(std::string& report) override;

private:
    CNtfsBackend() = default;

    // Directory tree (NtfsDirectory.cpp).
    NTSTATUS ListRecord(uint64_t directoryRecord, const std::vector<DirectoryEntry>*& out);
    // The cached entry of a path; valid until the next call (the root's entry is refreshed each time).
    NTSTATUS Resolve(std::string_view path, const DirectoryEntry*& out);
    NTSTATUS EntryForRecord(uint64_t record, DirectoryEntry& out);

    // Why a record may not be opened for extents or moves; STATUS_SUCCESS when it may.
    NTSTATUS Openable(ntfs_inode* ni) const;

    // Inodes: a record with a pending change is served from the inode that
    // holds the change (the library must never open one record twice).
    ntfs_inode* OpenInode(uint64_t record);
    void CloseInode(ntfs_inode* ni);
    // The cached facts of a record, read through `ni` (opened here when null) on first use.
    CachedFile* FileFacts(uint64_t record, ntfs_inode* ni, bool wantRuns);

    // Moves (NtfsMove.cpp).
    FsctlResult MoveOnce(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount, bool& commitFirst);
    // Asks the copier for the clusters of `pieces`, in order, at the consecutive clusters from `to`.
    NTSTATUS CopyPieces(const std::vector<NtfsRun>& pieces, Lcn to);
    // Waits until every copy asked for is on the device and read back.
    NTSTATUS DrainCopies();
    bool OverlapsCopyTarget(uint64_t lcn, uint64_t length) const;
    // Reads the clusters of `pieces` now, to be written from `to` at `stage` of the commit.
    NTSTATUS ReadDeferred(const std::vector<NtfsRun>& pieces, Lcn to, int stage);
    int FlushDevice();

    // The intent record and the dirty flag around a run (NtfsIntentWrite.cpp).
    NTSTATUS BeginRun();
    NTSTATUS EndRun();
    NTSTATUS SaveIntent(const std::vector<ClusterRun>& runs, const std::vector<uint64_t>& records);
    int RecordImageOf(uint64_t record, RecordImage& out);

    // The in-memory $Bitmap and the batch of pending moves (NtfsCommit.cpp).
    bool LoadBitmap();
    bool ViewBit(uint64_t lcn) const { return (m_bitmap[lcn / 8] >> (lcn % 8)) & 1; }
    void SetViewRun(uint64_t lcn, uint64_t length, bool used);
    bool AnyViewBit(uint64_t lcn, uint64_t length) const;
    // True when some cluster of the run is free for callers but still marked on
    // the medium: a pending move left it, and a record on the medium still points there.
    bool OverlapsPendingFree(uint64_t lcn, uint64_t length) const;
    // The stage a move into [lcn, lcn + length) needs: one past the stages that
    // release clusters of the run, 0 when none of them is pending-free.
    int StageFor(uint64_t lcn, uint64_t length) const;
    bool OverlapsDeferred(uint64_t lcn, uint64_t length) const;
    // True when the run overlaps clusters the batch in flight releases.
    bool OverlapsInFlightRelease(uint64_t lcn, uint64_t length) const;
    // Writes every pending move to the volume (see NtfsCommit.cpp for the order)
    // and waits until it is all there.
    NTSTATUS Commit();
    // Hands the batch to a commit that goes on while later moves gather (one
    // batch in flight at most: a previous one is finished first).
    NTSTATUS StartCommit();
    // Takes the steps of the commit in flight whose flush is done; with `wait`,
    // every step until it is finished.
    NTSTATUS AdvanceCommit(bool wait);
    NTSTATUS StepCommit();
    void FinishInFlight();
    void StartFlush();
    NTSTATUS WriteDeferred(const std::vector<DeferredCopy>& copies, int stage, bool& wrote);
    // The bytes of $Bitmap over the touched runs: the targets marked on top of
    // the medium's bits, or every bit as callers see it.
    std::vector<BitmapBytes> BitmapBytesOver(const std::vector<ClusterRun>& touched, bool marksOnly) const;
    NTSTATUS WriteBitmapBytes(const std::vector<BitmapBytes>& ranges);
    // Empties the batch that gathers moves (its records are held elsewhere or closed).
    void ClearBatch();
    void DropPending();

    // Batch limits: a commit follows when one is reached.
    static constexpr size_t kMaxPendingRecords = 1024;
    static constexpr uint64_t kMaxPendingBytes = 256ull << 20;
    static constexpr uint64_t kMaxDeferredBytes = 64ull << 20;
    static constexpr int kMaxStages = 8;

    // Repair after a crash (NtfsRepair.cpp).
    static int RestoreTornRecords(BlockDevice& device, const NtfsIntent& intent);
    // For an intent record an earlier version left for a batch written at once:
    // repeats its writes when its stage-0 copies are in place, else restores
    // torn records. Answers an errno.
    static int RepairRecords(BlockDevice& device, const NtfsIntent& intent);
    NTSTATUS ReclaimLeakedClusters(const NtfsIntent& intent, std::string& error);

    // Cluster accounting (NtfsCheck.cpp).
    bool AccountClusters(ClusterAccounting& out);
    bool AccountClustersOrThrow(ClusterAccounting& out);
    bool BitmapBit(uint64_t lcn, bool& set);

    std::unique_ptr<BlockDevice> m_device;
    // The device under the read-ahead windows: data copies are read from it
    // directly, so that a copy read back is what the medium answers.
    BlockDevice* m_medium = nullptr;
    ReadAheadDevice* m_readAhead = nullptr;  // m_device
    NtfsDeviceState m_deviceState;
    ntfs_volume* m_vol = nullptr;
    bool m_readOnly = true;
    uint64_t m_serial = 0;
    uint64_t m_numberSectors = 0;
    std::unique_ptr<NtfsIntentStore> m_intent;
    bool m_runDirty = false;  // we set the dirty flag and have not cleared it yet
    bool m_broken = false;    // a write failed; no further moves
    // $Bitmap as callers see it (the medium plus pending moves), and as the medium holds it.
    std::vector<uint8_t> m_bitmap;
    std::vector<uint8_t> m_diskBitmap;
    int64_t m_freeClusters = 0;  // free in m_bitmap
    std::vector<ClusterRun> m_touched;  // where the two bitmaps may differ
    std::map<uint64_t, PendingRecord> m_pending;  // records changed in memory only
    std::vector<ReleasedRun> m_released;
    std::vector<DeferredCopy> m_deferred;
    // The clusters of each deferred copy's target, by first cluster (targets
    // never overlap: each is marked used in m_bitmap until the commit).
    std::map<uint64_t, uint64_t> m_deferredTargets;
    uint64_t m_pendingBytes = 0;
    uint64_t m_deferredBytes = 0;
    std::unique_ptr<CommitInFlight> m_inFlight;
    std::unique_ptr<BackgroundFlusher> m_flusher;  // made at the first commit
    bool m_unflushedData = false;  // written to the device past the library since the last flush
    // The runs the last commit freed in $Bitmap, until a flush makes the frees durable.
    std::vector<ClusterRun> m_unflushedFrees;
    std::vector<uint8_t> m_checkBuffer;
    std::unique_ptr<BackgroundCopier> m_copier;  // made at the first copy
    // The clusters of each copy asked for since the copier was last drained, by first cluster.
    std::map<uint64_t, uint64_t> m_copyTargets;
    std::unordered_map<uint64_t, CachedFile> m_files;
    std::map<uint64_t, std::shared_ptr<const std::vector<DirectoryEntry>>> m_directories;
    // Per listed directory: upper-cased long and short names to their index in
    // m_directories, so that a path lookup costs no scan of a large directory.
    std::map<uint64_t, NameIndex> m_directoryIndex;
    DirectoryEntry m_rootEntry;
    // The directory part of the last path Resolve found, with its listing and
    // name index (both kept unchanged for the backend's life).
    std::string m_lastDirectoryPath;
    const std::vector<DirectoryEntry>* m_lastDirectoryEntries = nullptr;
    const NameIndex* m_lastDirectoryIndex = nullptr;
};

}  // namespace tarvo::platform
