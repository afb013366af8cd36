// PowerLossDevice.h --- a test wrapper that simulates power loss at a chosen flush point.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

// What survives of the writes made since the last completed flush when the power fails.
enum class CrashMode {
    Keep,  // every write reached the medium
    Drop,  // none did
    Tear,  // each sector written independently reached it or not (seeded)
};

// Where to cut: at the cutAtFlush-th call of Flush (counted from 1). 0 never cuts.
struct PowerLossPlan {
    uint64_t cutAtFlush = 0;
    CrashMode mode = CrashMode::Drop;
    uint64_t seed = 0;
};

// What a test reads back after the device (and the backend owning it) is gone.
struct PowerLossRecord {
    uint64_t flushes = 0;  // Flush calls seen, the cutting one included
    bool crashed = false;
};

// Writes are held per sector until a flush hands them to the inner device, so
// that reads see them (as a page cache would) but the medium does not. At the
// cut the pending sectors are resolved by the plan's mode, the inner device is
// flushed, and the device is dead: every later call answers EIO, as a process
// that lost power does nothing more. Destroying a live device keeps its pending
// writes (a clean process exit). Calls are serialised by a lock of its own, so
// a flush on another thread falls wholly before or after each read or write.
class PowerLossDevice final : public BlockDevice {
public:
    PowerLossDevice(std::unique_ptr<BlockDevice> inner, PowerLossPlan plan,
                    std::shared_ptr<PowerLossRecord> record = nullptr, size_t sectorSize = 512);
    ~PowerLossDevice() override;

    int Read(uint64_t offset, void* buffer, size_t length) override;
    int Write(uint64_t offset, const void* buffer, size_t length) override;
    int Flush() override;
    uint64_t Size() const override { return m_inner->Size(); }
    bool IsReadOnly() const override { return m_inner->IsReadOnly(); }
    std::string Name() const override { return m_inner->Name(); }
    bool IsRemovable() const override { return m_inner->IsRemovable(); }

private:
    int LoadSector(uint64_t sector, std::vector<uint8_t>& out);
    int WritePending(CrashMode mode);

    std::mutex m_lock;
    std::unique_ptr<BlockDevice> m_inner;
    PowerLossPlan m_plan;
    std::shared_ptr<PowerLossRecord> m_record;
    size_t m_sectorSize;
    std::map<uint64_t, std::vector<uint8_t>> m_pending;  // sector index -> contents
    uint64_t m_rng;
};

}  // namespace tarvo::platform
