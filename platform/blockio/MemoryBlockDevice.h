// MemoryBlockDevice.h --- a BlockDevice over a byte vector, for parsers, fuzzing and tests.
#pragma once

#include <atomic>
#include <vector>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

// Holds the whole volume in memory. Reads and writes outside it answer EIO;
// a read-only device answers EROFS to writes. Flush does nothing.
class MemoryBlockDevice final : public BlockDevice {
public:
    MemoryBlockDevice(std::vector<uint8_t> bytes, DeviceAccess access, std::string name = "memory");

    int Read(uint64_t offset, void* buffer, size_t length) override;
    int Write(uint64_t offset, const void* buffer, size_t length) override;
    int Flush() override { return 0; }
    uint64_t Size() const override { return m_bytes.size(); }
    bool IsReadOnly() const override { return m_access == DeviceAccess::ReadOnly; }
    std::string Name() const override { return m_name; }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Counts the writes that reached the device (fuzzing asserts it stays 0).
    uint64_t WriteCount() const { return m_writes; }

private:
    std::vector<uint8_t> m_bytes;
    DeviceAccess m_access;
    std::string m_name;
    std::atomic<uint64_t> m_writes{0};  // a copier thread may write beside the caller
};

}  // namespace tarvo::platform
