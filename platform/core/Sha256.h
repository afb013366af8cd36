// Sha256.h --- SHA-256 of byte streams, for the content manifests of test volumes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

// Incremental SHA-256 (FIPS 180-4). Update any number of times, then HexDigest once.
class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t length);
    std::string HexDigest();

private:
    void Block(const uint8_t* p);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_buffer{};
    size_t m_used = 0;
    uint64_t m_bits = 0;
};

// The hex digest of a file's contents; empty when it cannot be read.
std::string Sha256OfFile(const std::string& path);

}  // namespace tarvo::platform
