// FatVolume.cpp --- reading a FAT volume whole, repairing an interrupted move in memory, validating.
#include "platform/fat/FatVolume.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>

#include "platform/fat/FatDataHash.h"
#include "platform/fat/FatDirectory.h"
#include "platform/fat/FatEndian.h"

namespace tarvo::platform {

namespace {

constexpr int kMaxDepth = 128;
constexpr const char* kRunFsck = "; run fsck.fat on the volume first";

// The index key of a name under a parent: the parent's number, then the name with ASCII letters upper-cased.
std::string NameKey(uint64_t parent, std::string_view name) {
    std::string key(reinterpret_cast<const char*>(&parent), sizeof parent);
    key.reserve(sizeof parent + name.size());
    for (char c : name) {
        key.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    return key;
}

uint32_t EntryFirstCluster(const uint8_t* e, FatType type) {
    uint32_t c = fat::Le16(e + 26);
    if (type == FatType::Fat32) {
        c |= uint32_t{fat::Le16(e + 20)} << 16;
    }
    return c;
}

void SetEntryFirstCluster(uint8_t* e, FatType type, uint32_t cluster) {
    fat::Put16(e + 26, static_cast<uint16_t>(cluster));
    if (type == FatType::Fat32) {
        fat::Put16(e + 20, static_cast<uint16_t>(cluster >> 16));
    }
}

}  // namespace

bool FatVolume::ReadBytes(BlockDevice& device, uint64_t offset, void* buffer, size_t length, std::string& error) {
    if (int e = device.Read(offset, buffer, length); e != 0) {
        error = "cannot read " + device.Name() + " at offset " + std::to_string(offset) + ": " + std::strerror(e);
        return false;
    }
    const uint64_t sectorSize = geometry.bytesPerSector;
    for (const auto& [sectorOffset, bytes] : info.patchedSectors) {
        if (sectorOffset + sectorSize <= offset || sectorOffset >= offset + length) {
            continue;
        }
        uint64_t from = std::max(offset, sectorOffset);
        uint64_t to = std::min(offset + length, sectorOffset + sectorSize);
        std::memcpy(static_cast<uint8_t*>(buffer) + (from - offset), bytes.data() + (from - sectorOffset), to - from);
    }
    return true;
}

bool FatVolume::Load(BlockDevice& device, const FatIntent* pending, std::string& error) {
    *this = FatVolume{};
    bootSector.assign(512, 0);
    if (device.Size() < 512) {
        error = device.Name() + " is too small to hold a FAT volume";
        return false;
    }
    if (!ReadBytes(device, 0, bootSector.data(), 512, error)) {
        return false;
    }
    if (!ParseFatBootSector(bootSector.data(), bootSector.size(), device.Size(), geometry, error)) {
        error = "the boot sector is damaged (" + error + ")" + kRunFsck;
        return false;
    }
    std::vector<FatTable> copies;
    for (uint32_t k = 0; k < geometry.numberOfFats; ++k) {
        std::vector<uint8_t> bytes(geometry.FatBytes());
        if (!ReadBytes(device, geometry.FatOffset(k), bytes.data(), bytes.size(), error)) {
            return false;
        }
        copies.emplace_back(geometry, std::move(bytes));
    }
    info.dirty = (bootSector[geometry.dirtyFlagOffset] & 0x01) != 0;
    if (geometry.type == FatType::Fat16) {
        info.dirty = info.dirty || (copies[0].Get(1) & 0x8000) == 0;
    } else if (geometry.type == FatType::Fat32) {
        info.dirty = info.dirty || (copies[0].Get(1) & 0x08000000) == 0;
    }
    if (pending != nullptr && !pending->moves.empty() && info.dirty && !ApplyIntent(device, copies, *pending, error)) {
        return false;
    }
    const uint64_t bits = geometry.type == FatType::Fat12 ? 12 : geometry.type == FatType::Fat16 ? 16 : 32;
    const size_t used = static_cast<size_t>(((uint64_t{geometry.clusterCount} + 2) * bits + 7) / 8);
    for (uint32_t k = 1; k < copies.size(); ++k) {
        const auto& a = copies[0].Bytes();
        const auto& b = copies[k].Bytes();
        auto diff = std::mismatch(a.begin(), a.begin() + static_cast<long>(used), b.begin());
        if (diff.first != a.begin() + static_cast<long>(used)) {
            size_t at = static_cast<size_t>(diff.first - a.begin());
            error = "the FAT copies differ (FAT " + std::to_string(k + 1) + ", near cluster " +
                    std::to_string(at * 8 / bits) + ")" + kRunFsck;
            return false;
        }
    }
    fat = std::move(copies[0]);
    for (uint32_t k = 1; k < copies.size(); ++k) {
        for (uint32_t sector : copies[k].ChangedSectors()) {
            fat.MarkSectorChanged(sector);
        }
    }
    return ReadTree(device, error);
}

bool FatVolume::ApplyIntent(BlockDevice& device, std::vector<FatTable>& copies, const FatIntent& intent,
                            std::string& error) {
    const std::string mismatch = "the record of the interrupted moves does not fit the volume" + std::string(kRunFsck);
    // The shape a record of ours has: no cluster is the old cluster of two moves, the
    // target of two, or the previous cluster of one and anything of another; a target
    // lies in the old clusters of another move only when that move's generation is earlier.
    const size_t slots = size_t{geometry.clusterCount} + 2;
    std::vector<uint32_t> oldOf(slots, 0), targetOf(slots, 0), previousOf(slots, 0);  // move index + 1
    const auto& moves = intent.moves;
    for (size_t m = 0; m < moves.size(); ++m) {
        const FatMoveRecord& move = moves[m];
        const size_t n = move.oldClusters.size();
        bool ok = n != 0 && move.target >= 2 && uint64_t{move.target} + n - 1 <= geometry.clusterCount + 1 &&
                  (move.fromEntry || geometry.IsDataCluster(move.previousCluster));
        if (ok && !move.fromEntry) {
            ok = previousOf[move.previousCluster] == 0;
            previousOf[move.previousCluster] = static_cast<uint32_t>(m + 1);
        }
        for (size_t i = 0; ok && i < n; ++i) {
            const uint32_t c = move.oldClusters[i], t = move.target + static_cast<uint32_t>(i);
            ok = geometry.IsDataCluster(c) && oldOf[c] == 0 && targetOf[t] == 0;
            oldOf[c] = targetOf[t] = static_cast<uint32_t>(m + 1);
        }
        if (!ok) {
            error = mismatch;
            return false;
        }
    }
    for (size_t c = 0; c < slots; ++c) {
        const bool clash = (previousOf[c] != 0 && (oldOf[c] != 0 || targetOf[c] != 0)) ||
                           (oldOf[c] != 0 && targetOf[c] != 0 &&
                            moves[oldOf[c] - 1].generation >= moves[targetOf[c] - 1].generation);
        if (clash) {
            error = mismatch;
            return false;
        }
    }
    // Generation by generation: a generation's switches are written only once all its
    // moves are ready, and the next generation starts only after them. So every move
    // before the first generation holding a move that is not ready is finished, that
    // generation's ready moves are finished and the others undone, and the later
    // generations never started: their clusters are as the earlier moves left them.
    std::vector<size_t> order(moves.size());
    for (size_t m = 0; m < order.size(); ++m) order[m] = m;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return moves[a].generation < moves[b].generation; });
    info.finished.assign(moves.size(), false);
    std::vector<bool> undone(moves.size(), false);
    uint64_t stopAt = UINT64_MAX;
    for (size_t m : order) {
        if (moves[m].generation > stopAt) {
            break;
        }
        bool ready = false;
        if (!JudgeMove(device, copies, moves[m], ready, error)) {
            return false;
        }
        info.finished[m] = ready;
        undone[m] = !ready;
        if (!ready) {
            stopAt = moves[m].generation;
        }
    }
    std::vector<uint8_t> finishedTarget(slots, 0);
    for (size_t m = 0; m < moves.size(); ++m) {
        for (size_t i = 0; info.finished[m] && i < moves[m].oldClusters.size(); ++i) {
            finishedTarget[moves[m].target + i] = 1;
        }
    }
    for (size_t m = 0; m < moves.size(); ++m) {
        if ((info.finished[m] || undone[m]) &&
            !ApplyJudgement(device, copies, moves[m], info.finished[m], finishedTarget, error)) {
            return false;
        }
    }
    info.repaired = true;
    return true;
}

bool FatVolume::JudgeMove(BlockDevice& device, const std::vector<FatTable>& copies, const FatMoveRecord& intent,
                          bool& ready, std::string& error) {
    const size_t n = intent.oldClusters.size();
    auto expectedNew = [&](size_t i) { return i + 1 < n ? intent.target + static_cast<uint32_t>(i) + 1 : intent.successor; };
    ready = true;
    for (const auto& copy : copies) {
        for (size_t i = 0; i < n && ready; ++i) {
            ready = copy.Get(intent.target + static_cast<uint32_t>(i)) == expectedNew(i);
        }
    }
    if (!ready || !intent.hasDataHash) {
        return true;
    }
    // Links and data reach the medium with one flush: the links alone do not tell a whole copy.
    FatDataHash hash;
    std::vector<uint8_t> buffer;
    const uint32_t perRead = std::max<uint32_t>(1, (4u << 20) / geometry.bytesPerCluster);
    for (size_t done = 0; done < n;) {
        const size_t count = std::min<size_t>(perRead, n - done);
        buffer.resize(count * geometry.bytesPerCluster);
        if (!ReadBytes(device, geometry.ClusterOffset(intent.target + static_cast<uint32_t>(done)), buffer.data(),
                       buffer.size(), error)) {
            return false;
        }
        hash.Add(buffer.data(), buffer.size());
        done += count;
    }
    ready = hash.Value() == intent.dataHash;
    return true;
}

bool FatVolume::ApplyJudgement(BlockDevice& device, std::vector<FatTable>& copies, const FatMoveRecord& intent,
                               bool finish, const std::vector<uint8_t>& finishedTarget, std::string& error) {
    const size_t n = intent.oldClusters.size();
    const std::string mismatch = "the record of the interrupted move does not fit the volume" + std::string(kRunFsck);
    auto expectedOld = [&](size_t i) { return i + 1 < n ? intent.oldClusters[i + 1] : intent.successor; };
    std::vector<uint8_t> sector;
    uint64_t sectorOffset = 0;
    if (intent.fromEntry) {
        const uint64_t sectorSize = geometry.bytesPerSector;
        sectorOffset = intent.entryOffset / sectorSize * sectorSize;
        if (intent.entryOffset % 32 != 0 || intent.entryOffset < geometry.rootDirOffset ||
            sectorOffset + sectorSize > device.Size()) {
            error = mismatch;
            return false;
        }
        sector.resize(sectorSize);
        if (!ReadBytes(device, sectorOffset, sector.data(), sector.size(), error)) {
            return false;
        }
        uint32_t first = EntryFirstCluster(sector.data() + (intent.entryOffset - sectorOffset), geometry.type);
        if (first != intent.oldClusters[0] && !(finish && first == intent.target)) {
            error = mismatch;
            return false;
        }
    }
    for (auto& copy : copies) {
        if (finish) {
            // The data and the new links were durable before anything pointed at them: finish the move.
            // Old clusters that a finished move of a later generation took keep its links.
            if (!intent.fromEntry) {
                copy.Set(intent.previousCluster, intent.target);
            }
            for (uint32_t c : intent.oldClusters) {
                if (finishedTarget[c] == 0) {
                    copy.Set(c, 0);
                }
            }
            continue;
        }
        // Nothing points at the target yet: give the target clusters back.
        for (size_t i = 0; i < n; ++i) {
            if (copy.Get(intent.oldClusters[i]) != expectedOld(i)) {
                error = mismatch;
                return false;
            }
        }
        if (!intent.fromEntry && copy.Get(intent.previousCluster) != intent.oldClusters[0]) {
            error = mismatch;
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            copy.Set(intent.target + static_cast<uint32_t>(i), 0);
        }
    }
    if (intent.fromEntry) {
        SetEntryFirstCluster(sector.data() + (intent.entryOffset - sectorOffset), geometry.type,
                             finish ? intent.target : intent.oldClusters[0]);
        info.patchedSectors[sectorOffset] = sector;
    }
    return true;
}

bool FatVolume::FollowChain(uint32_t first, uint64_t node, std::vector<uint32_t>& owner,
                            std::vector<uint32_t>& chain, std::string& error) {
    uint32_t c = first;
    while (true) {
        if (!geometry.IsDataCluster(c)) {
            error = "the cluster chain of \\" + PathOf(node) + " leads outside the volume (cluster " +
                    std::to_string(c) + ")" + kRunFsck;
            return false;
        }
        if (owner[c] != 0) {
            error = owner[c] == node + 1
                        ? "the cluster chain of \\" + PathOf(node) + " loops" + kRunFsck
                        : "\\" + PathOf(node) + " and \\" + PathOf(owner[c] - 1) + " share cluster " +
                              std::to_string(c) + kRunFsck;
            return false;
        }
        owner[c] = static_cast<uint32_t>(node + 1);
        chain.push_back(c);
        uint32_t next = fat.Get(c);
        if (fat.IsEndOfChain(next)) {
            return true;
        }
        if (next == 0 || fat.IsBad(next)) {
            error = "the cluster chain of \\" + PathOf(node) + " leads into a " + (next == 0 ? "free" : "bad") +
                    " cluster" + kRunFsck;
            return false;
        }
        c = next;
    }
}

bool FatVolume::ReadTree(BlockDevice& device, std::string& error) {
    nodes.clear();
    FatNode root;
    root.isDirectory = true;
    root.attributes = FILE_ATTRIBUTE_DIRECTORY;
    nodes.push_back(root);
    std::vector<uint32_t> owner(size_t{geometry.clusterCount} + 2, 0);
    if (geometry.type == FatType::Fat32 && !FollowChain(geometry.rootCluster, 0, owner, nodes[0].chain, error)) {
        return false;
    }
    std::deque<std::pair<uint64_t, int>> pending{{0, 0}};
    const FatFlavor flavor = geometry.type == FatType::Fat32 ? FatFlavor::Fat32 : FatFlavor::Fat12Or16;
    std::vector<uint8_t> bytes;
    while (!pending.empty()) {
        auto [dir, depth] = pending.front();
        pending.pop_front();
        const bool fixedRoot = dir == 0 && geometry.type != FatType::Fat32;
        const std::vector<uint32_t> chain = nodes[dir].chain;
        bytes.resize(fixedRoot ? geometry.rootDirBytes : chain.size() * uint64_t{geometry.bytesPerCluster});
        if (fixedRoot && !ReadBytes(device, geometry.rootDirOffset, bytes.data(), bytes.size(), error)) {
            return false;
        }
        for (size_t i = 0; !fixedRoot && i < chain.size();) {
            size_t run = 1;
            while (i + run < chain.size() && chain[i + run] == chain[i] + run) {
                ++run;
            }
            if (!ReadBytes(device, geometry.ClusterOffset(chain[i]), bytes.data() + i * geometry.bytesPerCluster,
                           run * geometry.bytesPerCluster, error)) {
                return false;
            }
            i += run;
        }
        for (FatDirEntry& e : DecodeFatDirectory(bytes.data(), bytes.size(), flavor)) {
            FatNode child;
            child.name = std::move(e.longName);
            child.shortName = std::move(e.shortName);
            child.hasLongName = e.hasLongName;
            child.attributes = e.attributes & 0x37;
            child.writeTime = FatTimeToFileTime(e.writeDate, e.writeTime);
            child.isDirectory = (e.attributes & 0x10) != 0;
            child.size = child.isDirectory ? 0 : e.size;
            child.parent = dir;
            uint64_t at = e.index * 32;
            child.entryOffset = fixedRoot ? geometry.rootDirOffset + at
                                          : geometry.ClusterOffset(chain[at / geometry.bytesPerCluster]) +
                                                at % geometry.bytesPerCluster;
            const uint64_t id = nodes.size();
            nodes.push_back(std::move(child));
            nodes[dir].children.push_back(id);
            std::vector<uint32_t> childChain;
            if (nodes[id].isDirectory) {
                if (depth + 1 > kMaxDepth) {
                    error = "directories nest deeper than " + std::to_string(kMaxDepth) + " levels at \\" +
                            PathOf(id) + kRunFsck;
                    return false;
                }
                if (e.firstCluster == 0) {
                    error = "the directory \\" + PathOf(id) + " has no clusters" + kRunFsck;
                    return false;
                }
            } else if ((e.firstCluster == 0) != (e.size == 0)) {
                error = "the size of \\" + PathOf(id) + " (" + std::to_string(e.size) +
                        " bytes) does not fit its first cluster " + std::to_string(e.firstCluster) + kRunFsck;
                return false;
            }
            if (e.firstCluster != 0 && !FollowChain(e.firstCluster, id, owner, childChain, error)) {
                return false;
            }
            uint64_t wanted = (uint64_t{e.size} + geometry.bytesPerCluster - 1) / geometry.bytesPerCluster;
            if (!nodes[id].isDirectory && childChain.size() != wanted) {
                error = "the size of \\" + PathOf(id) + " (" + std::to_string(e.size) + " bytes) does not match its " +
                        std::to_string(childChain.size()) + " clusters" + kRunFsck;
                return false;
            }
            nodes[id].chain = std::move(childChain);
            if (nodes[id].isDirectory) {
                pending.emplace_back(id, depth + 1);
            }
        }
    }
    for (uint32_t c = 2; c <= geometry.clusterCount + 1; ++c) {
        uint32_t v = fat.Get(c);
        if (v != 0 && !fat.IsBad(v) && owner[c] == 0) {
            ++info.lostClusters;
        }
    }
    IndexNames();
    return true;
}

uint32_t FatVolume::CountFreeClusters() const {
    uint32_t free = 0;
    for (uint32_t c = 2; c <= geometry.clusterCount + 1; ++c) {
        free += fat.IsFree(c) ? 1 : 0;
    }
    return free;
}

std::string FatVolume::PathOf(uint64_t node) const {
    std::string path;
    while (node != 0 && node < nodes.size()) {
        path = path.empty() ? nodes[node].name : nodes[node].name + "\\" + path;
        node = nodes[node].parent;
    }
    return path;
}

void FatVolume::IndexNames() {
    m_names.clear();
    m_names.reserve(nodes.size() * 2);
    for (const FatNode& dir : nodes) {
        for (uint64_t child : dir.children) {
            m_names.emplace(NameKey(nodes[child].parent, nodes[child].name), child);
            m_names.emplace(NameKey(nodes[child].parent, nodes[child].shortName), child);
        }
    }
}

bool FatVolume::Find(std::string_view path, uint64_t& node) const {
    node = 0;
    if (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    while (!path.empty()) {
        size_t cut = path.find('\\');
        std::string_view part = path.substr(0, cut);
        path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
        if (part.empty() || !nodes[node].isDirectory) {
            return false;
        }
        auto found = m_names.find(NameKey(node, part));
        if (found == m_names.end()) {
            return false;
        }
        node = found->second;
    }
    return true;
}

}  // namespace tarvo::platform
