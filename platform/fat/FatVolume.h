// FatVolume.h --- a FAT volume read whole and validated: geometry, FAT, directory tree, chains.
#pragma once

#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/blockio/BlockDevice.h"
#include "platform/core/NtTypes.h"
#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatIntent.h"
#include "platform/fat/FatTable.h"

namespace tarvo::platform {

// One file or directory of the tree. Node 0 is the root.
struct FatNode {
    std::string name;       // long name ("" for the root)
    std::string shortName;  // 8.3 name
    bool hasLongName = false;
    uint8_t attributes = 0;
    FILETIME writeTime{};
    uint32_t size = 0;
    bool isDirectory = false;
    uint64_t parent = 0;
    uint64_t entryOffset = 0;  // device offset of its 32-byte entry; 0 for the root
    std::vector<uint32_t> chain;
    std::vector<uint64_t> children;
};

// What loading found besides the tree.
struct FatLoadInfo {
    bool dirty = false;           // dirty flag in the boot sector, or FAT[1]'s clean bit cleared
    bool repaired = false;        // interrupted moves were finished or undone in memory
    std::vector<bool> finished;   // per move of the record: finished (true) or undone
    uint32_t lostClusters = 0;    // allocated but owned by no file or directory
    std::map<uint64_t, std::vector<uint8_t>> patchedSectors;  // device sectors the repair changed
};

// The whole volume in memory. Load reads everything through the device and
// checks it: BPB, agreement of the FAT copies, every chain (loops, clusters
// outside the volume, free or bad clusters in a chain, two owners of one
// cluster), chain lengths against file sizes, and directories nesting into
// themselves. It never writes. With a pending intent on a volume that is still
// marked dirty (nobody repaired it since), each interrupted move is finished
// or undone in memory first (when the FAT shows it can be), so that what is
// validated is the volume as it will be after the repair is written.
class FatVolume {
public:
    bool Load(BlockDevice& device, const FatIntent* pending, std::string& error);

    FatGeometry geometry;
    FatTable fat;  // copy 0, with the repair applied
    std::vector<FatNode> nodes;
    std::vector<uint8_t> bootSector;
    FatLoadInfo info;

    uint32_t CountFreeClusters() const;
    // The node's path from the root, backslash-separated ("DOCS\A.TXT").
    std::string PathOf(uint64_t node) const;
    // Finds a node by path (long or 8.3 names, case-insensitive); false when absent.
    bool Find(std::string_view path, uint64_t& node) const;

private:
    bool ReadBytes(BlockDevice& device, uint64_t offset, void* buffer, size_t length, std::string& error);
    bool ApplyIntent(BlockDevice& device, std::vector<FatTable>& copies, const FatIntent& intent, std::string& error);
    // Ready: the move's links are complete in every copy and its target holds the data it copied.
    bool JudgeMove(BlockDevice& device, const std::vector<FatTable>& copies, const FatMoveRecord& move, bool& ready,
                   std::string& error);
    // Finishes or undoes one move in every copy (and in its directory entry's sector).
    bool ApplyJudgement(BlockDevice& device, std::vector<FatTable>& copies, const FatMoveRecord& move, bool finish,
                        const std::vector<uint8_t>& finishedTarget, std::string& error);
    bool FollowChain(uint32_t first, uint64_t node, std::vector<uint32_t>& owner, std::vector<uint32_t>& chain,
                     std::string& error);
    bool ReadTree(BlockDevice& device, std::string& error);
    // Indexes every node under its parent by its long and its 8.3 name, upper-cased.
    void IndexNames();

    // (parent, upper-cased name) -> node; the first child in directory order wins, as a scan would find it.
    std::unordered_map<std::string, uint64_t> m_names;
};

}  // namespace tarvo::platform
