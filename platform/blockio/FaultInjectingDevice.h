// FaultInjectingDevice.h --- a test wrapper that fails the n-th read, write or flush.
#pragma once

#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

enum class FaultOperation { Read, Write, Flush, Any };
// Once: only the n-th operation fails. Sticky: it and every later one of its kind fail.
enum class FaultRepeat { Once, Sticky };

// Which operation fails, and with which errno (EIO, ENOSPC, ...). failAt 0 never fails.
struct FaultPlan {
    FaultOperation operation = FaultOperation::Any;
    uint64_t failAt = 0;  // counted from 1 among the operations of the chosen kind
    int error = EIO;
    FaultRepeat repeat = FaultRepeat::Once;
};

// Counters a test reads after the backend that owned the device is gone.
struct FaultRecord {
    uint64_t reads = 0, writes = 0, flushes = 0;
    uint64_t failures = 0;
};

// Passes every call to the inner device except the planned failures, which do
// nothing and answer the planned errno. The counting is locked, so a flush on
// another thread counts as one operation among the reads and writes.
class FaultInjectingDevice final : public BlockDevice {
public:
    FaultInjectingDevice(std::unique_ptr<BlockDevice> inner, FaultPlan plan,
                         std::shared_ptr<FaultRecord> record = nullptr);

    int Read(uint64_t offset, void* buffer, size_t length) override;
    int Write(uint64_t offset, const void* buffer, size_t length) override;
    int Flush() override;
    uint64_t Size() const override { return m_inner->Size(); }
    bool IsReadOnly() const override { return m_inner->IsReadOnly(); }
    std::string Name() const override { return m_inner->Name(); }
    bool IsRemovable() const override { return m_inner->IsRemovable(); }

private:
    // Counts the operation and answers the errno it must fail with, or 0.
    int Injected(FaultOperation operation, uint64_t& counter);

    std::unique_ptr<BlockDevice> m_inner;
    FaultPlan m_plan;
    std::shared_ptr<FaultRecord> m_record;
    uint64_t m_any = 0;
    std::mutex m_lock;  // the counters, for a flush on another thread
};

}  // namespace tarvo::platform
