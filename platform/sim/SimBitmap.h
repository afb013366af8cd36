// SimBitmap.h --- the allocation bitmap of a simulated volume, one bit per cluster, with range operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvo::platform {

// Bit n set = cluster n allocated. Range operations work 64 clusters at a time so
// that a volume of 2^32 clusters is set up and checked in well under a second.
// Not thread-safe; the volume serialises access.
class SimBitmap {
public:
    // Sizes the map for `clusters` clusters, all free. False when memory is short.
    bool Resize(uint64_t clusters);
    uint64_t Size() const { return m_clusters; }

    bool Test(uint64_t lcn) const { return (m_words[lcn >> 6] >> (lcn & 63)) & 1; }
    // Ranges must lie inside the map; callers check bounds first.
    bool AllClear(uint64_t start, uint64_t count) const;
    bool AllSet(uint64_t start, uint64_t count) const;
    void Set(uint64_t start, uint64_t count);
    void Clear(uint64_t start, uint64_t count);
    uint64_t CountSet() const;

    // Copies `bytes` bytes of the map starting at cluster `start` (a multiple of 8),
    // least significant bit first; bits past the end of the volume read as 0.
    void CopyBytes(uint64_t start, size_t bytes, uint8_t* out) const;

    bool operator==(const SimBitmap& other) const {
        return m_clusters == other.m_clusters && m_words == other.m_words;
    }

private:
    template <typename WordOp>
    bool ForEachWord(uint64_t start, uint64_t count, WordOp op) const;

    uint64_t m_clusters = 0;
    std::vector<uint64_t> m_words;
};

}  // namespace tarvo::platform
