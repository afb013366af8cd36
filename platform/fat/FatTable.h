// FatTable.h --- one copy of the file allocation table in memory, entry by entry.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "platform/fat/FatGeometry.h"

namespace tarvo::platform {

// The raw bytes of a FAT copy with 12-, 16- or 32-bit entry access. Setting an
// entry records which sectors of the table changed, so that a writer sends
// exactly those sectors to every copy. FAT32's top four bits are kept as found.
class FatTable {
public:
    FatTable() = default;
    FatTable(const FatGeometry& geometry, std::vector<uint8_t> bytes);

    // The entry of cluster n (0 .. clusterCount + 1); FAT32 entries without their top four bits.
    uint32_t Get(uint32_t cluster) const;
    void Set(uint32_t cluster, uint32_t value);

    bool IsFree(uint32_t cluster) const { return Get(cluster) == 0; }
    // Sets bit i of `bits` (LSB first, bits cleared by the caller) for each
    // cluster first + i, i < count, that is not free: the volume bitmap. The
    // first call builds a bitmap that Set keeps up to date from then on.
    void FillAllocationBits(uint32_t first, uint32_t count, uint8_t* bits) const;
    bool IsEndOfChain(uint32_t value) const { return value >= m_badMark + 1; }
    bool IsBad(uint32_t value) const { return value == m_badMark; }
    // The end-of-chain value this table writes.
    uint32_t EndOfChain() const { return m_badMark | 0xF; }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Sectors (indexes within the table) changed since the last ClearChanged.
    const std::set<uint32_t>& ChangedSectors() const { return m_changed; }
    void ClearChanged() { m_changed.clear(); }
    void MarkSectorChanged(uint32_t sector) { m_changed.insert(sector); }
    // Adds the table sectors that hold the entry of cluster n (two when a 12-bit entry straddles).
    void AddSectorsOf(uint32_t cluster, std::set<uint32_t>& out) const;
    uint32_t SectorSize() const { return m_sectorSize; }

private:
    void MarkChanged(uint64_t byteOffset, uint32_t length);

    FatType m_type = FatType::Fat12;
    uint32_t m_badMark = 0xFF7;
    uint32_t m_sectorSize = 512;
    std::vector<uint8_t> m_bytes;
    std::set<uint32_t> m_changed;
    // Bit c - 2 set when cluster c is not free; empty until FillAllocationBits needs it.
    mutable std::vector<uint8_t> m_used;
};

}  // namespace tarvo::platform
