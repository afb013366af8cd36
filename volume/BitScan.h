// BitScan.h --- word-at-a-time scans over one-bit-per-cluster maps.
//
// A map is an array of 64-bit words, cluster n at bit n % 64 of word n / 64
// (the byte layout of the volume bitmap read on a little-endian machine). A
// scan takes a word source, so that the same loops serve one map or a
// combination of two (allocated and not system). Every scan answers exactly
// what a cluster-by-cluster loop over the same range would.
#pragma once

#include <bit>
#include <cstdint>

namespace tarvo::volume::bitscan {

static_assert(std::endian::native == std::endian::little, "the maps are read as little-endian words");

constexpr uint64_t kNone = ~uint64_t{0};

inline bool TestBit(const uint64_t* words, uint64_t n) { return (words[n >> 6] >> (n & 63)) & 1; }

// The first cluster in [from, limit) whose bit in source is set; limit when none.
// source(i) answers word i.
template <typename Source>
uint64_t NextSet(Source&& source, uint64_t from, uint64_t limit) {
    if (from >= limit) return limit;
    uint64_t i = from >> 6;
    uint64_t word = source(i) & (~uint64_t{0} << (from & 63));
    for (;;) {
        if (word != 0) {
            const uint64_t pos = (i << 6) + static_cast<uint64_t>(std::countr_zero(word));
            return pos < limit ? pos : limit;
        }
        if (((++i) << 6) >= limit) return limit;
        word = source(i);
    }
}

// The last cluster in [floor, from] whose bit in source is set; kNone when none.
template <typename Source>
uint64_t PrevSet(Source&& source, uint64_t from, uint64_t floor) {
    if (from < floor || from == kNone) return kNone;
    uint64_t i = from >> 6;
    uint64_t word = source(i) & (~uint64_t{0} >> (63 - (from & 63)));
    for (;;) {
        if (word != 0) {
            const uint64_t pos = (i << 6) + 63 - static_cast<uint64_t>(std::countl_zero(word));
            return pos >= floor ? pos : kNone;
        }
        if (i == 0 || (i << 6) <= floor) return kNone;
        word = source(--i);
    }
}

// Word sources over one map: its bits, or its bits inverted.
struct Bits {
    const uint64_t* words;
    uint64_t operator()(uint64_t i) const { return words[i]; }
};
struct Inverted {
    const uint64_t* words;
    uint64_t operator()(uint64_t i) const { return ~words[i]; }
};

inline uint64_t NextSet(const uint64_t* w, uint64_t from, uint64_t limit) { return NextSet(Bits{w}, from, limit); }
inline uint64_t NextClear(const uint64_t* w, uint64_t from, uint64_t limit) {
    return NextSet(Inverted{w}, from, limit);
}
inline uint64_t PrevSet(const uint64_t* w, uint64_t from, uint64_t floor) { return PrevSet(Bits{w}, from, floor); }
inline uint64_t PrevClear(const uint64_t* w, uint64_t from, uint64_t floor) {
    return PrevSet(Inverted{w}, from, floor);
}

// Sets or clears the bits of [first, first + count).
inline void SetRange(uint64_t* words, uint64_t first, uint64_t count, bool value) {
    uint64_t n = first;
    const uint64_t end = first + count;
    while (n < end) {
        const uint64_t bit = n & 63;
        const uint64_t span = (end - n) < (64 - bit) ? (end - n) : (64 - bit);
        const uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << bit;
        if (value)
            words[n >> 6] |= mask;
        else
            words[n >> 6] &= ~mask;
        n += span;
    }
}

}  // namespace tarvo::volume::bitscan
