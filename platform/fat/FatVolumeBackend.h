// FatVolumeBackend.h --- the VolumeBackend of a real FAT volume: queries, extents and crash-safe moves.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/blockio/BlockDevice.h"
#include "platform/core/VolumeBackend.h"
#include "platform/fat/FatDataHash.h"
#include "platform/fat/FatVolume.h"

namespace tarvo::platform {

// Loads the volume with our move record taken into account (haveIntent tells
// whether one named this volume); refuses a dirty volume the record does not explain.
bool LoadFatVolumeChecked(BlockDevice& device, FatVolume& volume, bool& haveIntent, std::string& error);

// Serves one loaded FatVolume. Every method takes the backend's lock. LCN n is
// data cluster n + 2; what lies before the data area is not part of the bitmap.
// Files are identified by their node index. A move copies the data at once and
// answers from memory; its FAT and directory writes are gathered into a batch
// that is written in the order that keeps the volume repairable at every
// instant (see FatCommit.cpp) when the batch is full, when a move needs what the
// batch holds, and at Flush. An I/O error repairs the volume from the move
// record when it can, and otherwise refuses further moves and leaves the
// repair to the next open.
class FatVolumeBackend final : public VolumeBackend {
public:
    FatVolumeBackend(std::unique_ptr<BlockDevice> device, FatVolume volume, std::string intentPath);
    ~FatVolumeBackend() override;

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

    // Writes the repair that loading applied in memory, then marks the volume clean.
    // Called once by OpenFatBackend on a writable device.
    bool WriteRepair(std::string& error);

    // Writes the free count into FSInfo when it says "unknown" and flushes: a
    // session that died while marking the volume in use may have left it so.
    // Called by OpenFatBackend for a record that a clean volume does not need.
    int RestoreUnknownFreeCount();

private:
    bool WriteRepairLocked(std::string& error);
    DirectoryEntry EntryOf(uint64_t node) const;
    NTSTATUS DoMove(uint64_t node, Vcn startingVcn, uint32_t target, uint32_t count);
    // Marks the volume dirty (after writing an idle record) before the first write of a session.
    int BeginSession();
    // Commits the batch, writes the free count, clears the dirty flag and removes the record.
    int EndSession();
    // Writes the batch's record, then its FAT and directory changes in their safe order; empties the batch.
    int CommitBatch();
    // True when the move needs a cluster or a file that a move of the batch holds,
    // other than clusters that moves of the batch leave.
    bool ConflictsWithBatch(uint64_t node, const FatMoveRecord& move) const;
    // The generation a move joins the batch with: one after the latest move whose old clusters its target takes.
    uint32_t GenerationInBatch(const FatMoveRecord& move) const;
    void ForgetBatch();
    // Writes the given FAT sectors, as held in memory, to one copy or to all (copy < 0).
    int WriteFatSectors(const std::set<uint32_t>& sectors, int copy);
    // The same from another table of this volume's layout.
    int WriteTableSectors(const FatTable& table, const std::set<uint32_t>& sectors, int copy);
    // Copies the clusters into the run at target, fingerprinting what it copies.
    int CopyClusters(const std::vector<uint32_t>& from, uint32_t target, FatDataHash& hash);
    // Reads the clusters into `out`, fingerprinting them.
    int ReadClusters(const std::vector<uint32_t>& from, std::vector<uint8_t>& out, FatDataHash& hash);
    // Writes the links, then the switches of one generation of the batch, each made durable.
    int CommitGeneration(uint32_t generation);
    // Records a failed device call for the status and the report; answers the status for the caller.
    NTSTATUS Fail(int error, const std::string& what);
    int WriteFsInfoFreeCount(uint32_t freeCount);
    // After a failed write: reloads, repairs from the record and goes on, or marks the backend broken.
    void RecoverAfterFailure();

    static constexpr uint8_t kHeldOld = 1;       // a move of the batch leaves it
    static constexpr uint8_t kHeldTarget = 2;    // a move of the batch takes it
    static constexpr uint8_t kHeldPrevious = 4;  // its FAT entry is the one a move switches

    std::mutex m_mutex;
    std::unique_ptr<BlockDevice> m_device;
    FatVolume m_volume;
    std::string m_intentPath;
    uint32_t m_freeClusters = 0;
    bool m_fsInfoValid = false;
    bool m_sessionDirty = false;  // we set the dirty flag and our record exists
    bool m_broken = false;
    std::string m_lastError;
    std::string m_recordError;  // why the move record could not be written, for the next failure's message

    // Moves answered whose FAT and directory writes wait for CommitBatch. A move of
    // generation 0 has copied its data; a later one keeps it in m_staged until the
    // switches of the generation before it are durable.
    std::vector<FatMoveRecord> m_batch;
    std::vector<std::vector<uint8_t>> m_staged;  // per move of the batch
    uint32_t m_generations = 0;                   // generations in the batch
    // Per cluster, while a move of the batch holds it: kHeldOld, kHeldTarget, kHeldPrevious.
    std::vector<uint8_t> m_held;
    std::vector<uint32_t> m_leftBy;  // per cluster: generation + 1 of the move that leaves it, 0 for none
    std::set<uint64_t> m_batchNodes;
    uint64_t m_batchBytes = 0;
};

}  // namespace tarvo::platform
