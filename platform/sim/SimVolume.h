// SimVolume.h --- a simulated NTFS or FAT volume stored in one file: allocation only, no file data.
//
// The volume keeps its geometry, the allocation of every cluster, a directory
// tree with long and short names, every file's runs and the system areas, and
// answers the VolumeBackend operations as its file system would. Every move is
// checked against the volume's invariants before it is made durable, and every
// completed move is appended to a journal in the volume file, so a process killed
// at any moment leaves the volume as it was after its last completed move.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/VolumeBackend.h"
#include "platform/sim/SimBitmap.h"
#include "platform/sim/SimTypes.h"

namespace tarvo::platform {

enum class SimAccess { ReadOnly, ReadWrite };
// How much of the volume is checked after every move: the clusters and file the
// move touched, or everything (slow on big volumes; for tests). Volumes opened
// from a file start in Full mode when TARVO_SIM_CHECK=full is set.
enum class SimCheckMode { Incremental, Full };

// Called with a description whenever an invariant is found violated (besides the
// report on stderr). Tests install one that fails the test. Process-wide.
void SetSimInvariantFailureHook(std::function<void(const std::string&)> hook);

class SimVolume final : public VolumeBackend {
public:
    static constexpr FileId kRootId = 0;

    // An empty volume in memory with its system areas laid out (NTFS: boot
    // sectors, MFT, MFT mirror, log file and the MFT zone; FAT32: the root
    // directory). Null with a message when the figures are unusable.
    static std::shared_ptr<SimVolume> Create(const SimVolumeShape& shape, std::string& error);

    // Opens a volume file: its last snapshot plus the moves journaled since.
    // ReadWrite falls back to read-only (moves then answer
    // STATUS_MEDIA_WRITE_PROTECTED) when the file is not writable or another
    // process holds it. Null with a message for a missing or damaged file.
    static std::shared_ptr<SimVolume> Open(const std::string& path, SimAccess access, std::string& error);

    // True when the file starts with the magic of a simulated volume.
    static bool IsSimVolumeFile(const void* firstBytes, size_t length);

    ~SimVolume() override;

    // Writes the whole volume to `path` atomically (new file, then rename) and
    // makes it the backing file: later moves are journaled there.
    bool SaveAs(const std::string& path, std::string& error);
    // Folds the journal into a fresh snapshot of the backing file.
    bool Compact(std::string& error);
    std::string BackingPath() const;
    bool IsReadOnly() const;

    // Building. Names must be valid long names, unique in their directory; the
    // short name is made here (with a ~N tail) unless the name is already 8.3.
    // Runs must lie on free clusters (they are allocated here); the size is in bytes.
    NTSTATUS AddDirectory(FileId parent, std::string_view name, time_t mtime, FileId& out);
    NTSTATUS AddFile(FileId parent, std::string_view name, time_t mtime, uint64_t sizeBytes, SimFileKind kind,
                     std::vector<SimRun> runs, FileId& out);
    // Gives a directory clusters of its own (directories hold clusters on both file systems).
    NTSTATUS SetDirectoryRuns(FileId directory, std::vector<SimRun> runs);

    // Queries for generators, tools and tests.
    NTSTATUS Lookup(std::string_view path, FileId& out) const;
    std::string PathOf(FileId id) const;
    std::vector<SimRun> Runs(FileId id) const;
    bool IsFree(Lcn lcn, uint64_t count) const;
    // A copy of the allocation bitmap. False when memory is short.
    bool CopyAllocation(SimBitmap& out) const;
    uint64_t TotalClusters() const;
    uint64_t FreeClusters() const;
    uint32_t BytesPerCluster() const;
    SimFileSystem FileSystem() const;
    SimNtfsLayout NtfsLayout() const;
    size_t NodeCount() const;
    uint64_t CompletedMoves() const;

    SimFaults Faults() const;
    // Replaces the faults; they are stored at the next SaveAs, Compact or Flush.
    void SetFaults(const SimFaults& faults);
    void SetCheckMode(SimCheckMode mode);

    // VolumeBackend.
    NTSTATUS GetVolumeInformation(VolumeInformation& out) override;
    NTSTATUS GetDiskFreeSpace(DiskFreeSpace& out) override;
    UINT GetDriveType() override;
    FsctlResult GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) override;
    FsctlResult GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) override;
    NTSTATUS ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) override;
    NTSTATUS StatFile(std::string_view path, DirectoryEntry& out) override;
    NTSTATUS OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) override;
    FsctlResult GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) override;
    FsctlResult MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) override;
    NTSTATUS Flush() override;
    bool CheckConsistency(std::string& report) override;

private:
    SimVolume() = default;

    // All private members expect m_mutex to be held.
    NTSTATUS LayOutSystemAreas(const SimVolumeShape& shape, std::string& error);
    uint32_t NewNode(uint32_t parent, std::string_view name, std::string_view shortName, uint16_t flags,
                     uint32_t attributes, uint64_t lastWrite);
    NTSTATUS InsertNode(uint32_t parent, std::string_view name, uint16_t flags, uint32_t attributes,
                        time_t mtime, uint32_t& out);
    NTSTATUS ClaimRuns(const std::vector<SimRun>& runs, bool compressed, std::string& why) const;
    NTSTATUS Resolve(std::string_view path, uint32_t& out) const;
    uint32_t FindChild(uint32_t parent, std::string_view name) const;
    void IndexNode(uint32_t id);
    void RebuildIndex();
    std::string_view NameOf(const SimNode& node) const;
    std::string_view ShortNameOf(const SimNode& node) const;
    std::string PathOfLocked(uint32_t id) const;
    DirectoryEntry EntryOf(uint32_t id) const;

    NTSTATUS DoMove(uint32_t id, Vcn startingVcn, Lcn targetLcn, uint64_t count, bool journal);
    void FireRaces();
    bool ApplyRace(size_t index);
    bool CheckMovedFile(uint32_t id, const std::vector<SimRun>& before, Lcn target, uint64_t moved,
                        std::string& report) const;
    bool FullCheck(std::string& report) const;
    void ReportViolation(const std::string& what) const;
    bool NextCallPends();

    // Storage (SimStore.cpp).
    std::string Serialize() const;
    bool Deserialize(const std::string& bytes, size_t& snapshotEnd, std::string& error);
    bool ReplayJournal(const std::string& bytes, size_t snapshotEnd, size_t& validEnd, std::string& error);
    bool WriteSnapshotTo(const std::string& path, std::string& error);
    bool AppendJournal(uint32_t type, uint64_t a, uint64_t b, uint64_t c, uint64_t d);

    mutable std::mutex m_mutex;
    SimFileSystem m_fileSystem = SimFileSystem::Ntfs;
    uint64_t m_totalClusters = 0;
    uint32_t m_bytesPerSector = 512;
    uint32_t m_bytesPerCluster = 4096;
    UINT m_driveType = DRIVE_FIXED;
    std::string m_volumeName;
    DWORD m_serialNumber = 0;
    SimNtfsLayout m_ntfs;
    uint32_t m_foreignNode = kSimNoNode;

    std::string m_names;  // the name pool
    std::vector<SimNode> m_nodes;
    std::vector<uint64_t> m_index;  // open addressing: 0 empty, else (node << 1 | isShort) + 1
    size_t m_indexUsed = 0;
    SimBitmap m_bitmap;
    SimFaults m_faults;
    SimCheckMode m_checkMode = SimCheckMode::Incremental;

    uint64_t m_moves = 0;
    uint64_t m_calls = 0;
    uint32_t m_bitmapReads = 0;
    bool m_broken = false;

    std::string m_path;
    int m_fd = -1;
    bool m_readOnly = false;
    bool m_needsRewrite = false;
    uint64_t m_journalEnd = 0;
    uint64_t m_journalRecords = 0;
};

}  // namespace tarvo::platform
