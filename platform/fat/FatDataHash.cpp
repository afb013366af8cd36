// FatDataHash.cpp --- word-at-a-time multiply-rotate mixing of cluster data.
#include "platform/fat/FatDataHash.h"

#include <cstring>

namespace tarvo::platform {

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kWordKey = 0xC2B2AE3D27D4EB4Full;

uint64_t Rotate(uint64_t v, int bits) { return (v << bits) | (v >> (64 - bits)); }

}  // namespace

void FatDataHash::Add(const uint8_t* bytes, size_t length) {
    uint64_t a = m_lanes[0], b = m_lanes[1], c = m_lanes[2], d = m_lanes[3];
    size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        uint64_t w[4];
        std::memcpy(w, bytes + i, 32);
        a = Rotate(a ^ (w[0] * kWordKey), 29) * kMultiplier;
        b = Rotate(b ^ (w[1] * kWordKey), 29) * kMultiplier;
        c = Rotate(c ^ (w[2] * kWordKey), 29) * kMultiplier;
        d = Rotate(d ^ (w[3] * kWordKey), 29) * kMultiplier;
    }
    for (; i < length; ++i) {
        a = Rotate(a ^ bytes[i], 5) * kMultiplier;
    }
    m_lanes[0] = a;
    m_lanes[1] = b;
    m_lanes[2] = c;
    m_lanes[3] = d;
    m_length += length;
}

uint64_t FatDataHash::Value() const {
    uint64_t h = m_length;
    for (uint64_t lane : m_lanes) {
        h = Rotate(h ^ lane, 27) * kMultiplier;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

}  // namespace tarvo::platform
