// SimBitmap.cpp --- word-at-a-time range operations on the simulated allocation bitmap.
#include "platform/sim/SimBitmap.h"

#include <bit>
#include <cstring>
#include <new>

namespace tarvo::platform {

static_assert(std::endian::native == std::endian::little, "the bitmap bytes are copied as stored");

bool SimBitmap::Resize(uint64_t clusters) {
    try {
        m_words.assign((clusters + 63) / 64, 0);
    } catch (const std::bad_alloc&) {
        m_words.clear();
        m_clusters = 0;
        return false;
    }
    m_clusters = clusters;
    return true;
}

// Calls op(wordIndex, mask) for every word the range touches; stops when op answers false.
template <typename WordOp>
bool SimBitmap::ForEachWord(uint64_t start, uint64_t count, WordOp op) const {
    uint64_t end = start + count;
    while (start < end) {
        uint64_t word = start >> 6;
        unsigned bit = start & 63;
        uint64_t span = std::min<uint64_t>(64 - bit, end - start);
        uint64_t mask = span == 64 ? ~uint64_t{0} : (((uint64_t{1} << span) - 1) << bit);
        if (!op(word, mask)) {
            return false;
        }
        start += span;
    }
    return true;
}

bool SimBitmap::AllClear(uint64_t start, uint64_t count) const {
    return ForEachWord(start, count, [&](uint64_t w, uint64_t mask) { return (m_words[w] & mask) == 0; });
}

bool SimBitmap::AllSet(uint64_t start, uint64_t count) const {
    return ForEachWord(start, count, [&](uint64_t w, uint64_t mask) { return (m_words[w] & mask) == mask; });
}

void SimBitmap::Set(uint64_t start, uint64_t count) {
    auto& words = m_words;
    ForEachWord(start, count, [&](uint64_t w, uint64_t mask) {
        words[w] |= mask;
        return true;
    });
}

void SimBitmap::Clear(uint64_t start, uint64_t count) {
    auto& words = m_words;
    ForEachWord(start, count, [&](uint64_t w, uint64_t mask) {
        words[w] &= ~mask;
        return true;
    });
}

uint64_t SimBitmap::CountSet() const {
    uint64_t total = 0;
    for (uint64_t w : m_words) {
        total += static_cast<uint64_t>(std::popcount(w));
    }
    return total;
}

void SimBitmap::CopyBytes(uint64_t start, size_t bytes, uint8_t* out) const {
    const auto* source = reinterpret_cast<const uint8_t*>(m_words.data());
    size_t stored = m_words.size() * 8;
    size_t first = static_cast<size_t>(start / 8);
    size_t available = first < stored ? stored - first : 0;
    size_t copied = bytes < available ? bytes : available;
    std::memcpy(out, source + first, copied);
    std::memset(out + copied, 0, bytes - copied);
}

}  // namespace tarvo::platform
