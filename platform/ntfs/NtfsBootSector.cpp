// NtfsBootSector.cpp --- recognises an NTFS boot sector before the library is asked to mount it.
#include <cstdint>
#include <cstring>

#include "platform/ntfs/NtfsBackend.h"

namespace tarvo::platform {

namespace {
bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

bool IsNtfsBootSector(const void* sector, size_t length) {
    if (sector == nullptr || length < 512) {
        return false;
    }
    const auto* b = static_cast<const uint8_t*>(sector);
    if (std::memcmp(b + 3, "NTFS    ", 8) != 0 || b[510] != 0x55 || b[511] != 0xAA) {
        return false;
    }
    uint32_t bytesPerSector = b[11] | (uint32_t{b[12]} << 8);
    if (bytesPerSector < 256 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector)) {
        return false;
    }
    // Sectors per cluster: a power of two up to 128, or 0xF4..0xFF for 2^(256-n).
    uint8_t spc = b[13];
    return (spc >= 1 && spc <= 128 && IsPowerOfTwo(spc)) || spc >= 0xF4;
}

bool DeviceHoldsNtfs(BlockDevice& device) {
    uint8_t sector[512];
    if (device.Size() < sizeof(sector) || device.Read(0, sector, sizeof(sector)) != 0) {
        return false;
    }
    return IsNtfsBootSector(sector, sizeof(sector));
}

}  // namespace tarvo::platform
