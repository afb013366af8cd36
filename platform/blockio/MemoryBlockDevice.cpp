// MemoryBlockDevice.cpp --- the in-memory volume.
#include "platform/blockio/MemoryBlockDevice.h"

#include <cerrno>
#include <cstring>

namespace tarvo::platform {

MemoryBlockDevice::MemoryBlockDevice(std::vector<uint8_t> bytes, DeviceAccess access, std::string name)
    : m_bytes(std::move(bytes)), m_access(access), m_name(std::move(name)) {}

int MemoryBlockDevice::Read(uint64_t offset, void* buffer, size_t length) {
    if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
        return EIO;
    }
    if (length > 0) {
        std::memcpy(buffer, m_bytes.data() + offset, length);
    }
    return 0;
}

int MemoryBlockDevice::Write(uint64_t offset, const void* buffer, size_t length) {
    if (m_access == DeviceAccess::ReadOnly) {
        return EROFS;
    }
    if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
        return EIO;
    }
    ++m_writes;
    if (length > 0) {
        std::memcpy(m_bytes.data() + offset, buffer, length);
    }
    return 0;
}

}  // namespace tarvo::platform
