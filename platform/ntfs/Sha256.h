// Sha256.h --- SHA-256 of a byte stream, for the content manifests of test volumes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t length);
    // The digest as 64 lowercase hex digits; the object is spent afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);
    uint32_t m_state[8];
    uint8_t m_buffer[64];
    size_t m_used = 0;
    uint64_t m_bytes = 0;
};

}  // namespace tarvo::platform
