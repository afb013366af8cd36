// FatDataHash.h --- a fast 64-bit fingerprint of copied cluster data, for telling a whole copy from a torn one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo::platform {

// Fed the bytes of a move's clusters in order, in pieces whose lengths are
// multiples of 32 (clusters always are). Not a cryptographic hash: it tells the
// data a move copied from what a cut left in its target clusters.
class FatDataHash {
public:
    void Add(const uint8_t* bytes, size_t length);
    uint64_t Value() const;

private:
    // Four lanes, one for each word of a 32-byte block, so that the multiplies overlap.
    uint64_t m_lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
    uint64_t m_length = 0;
};

}  // namespace tarvo::platform
