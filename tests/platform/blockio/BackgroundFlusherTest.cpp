// BackgroundFlusherTest.cpp --- a flush on the flusher's thread: the caller goes on, the result comes back,
// and what was written before it began is durable.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/blockio/BackgroundFlusher.h"
#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/blockio/MemoryBlockDevice.h"
#include "platform/blockio/PowerLossDevice.h"

using namespace tarvo::platform;

namespace {

// A device whose flushes wait until the test lets them finish.
class GatedDevice final : public BlockDevice {
public:
    explicit GatedDevice(std::unique_ptr<BlockDevice> inner) : m_inner(std::move(inner)) {}
    int Read(uint64_t offset, void* buffer, size_t length) override { return m_inner->Read(offset, buffer, length); }
    int Write(uint64_t offset, const void* buffer, size_t length) override {
        return m_inner->Write(offset, buffer, length);
    }
    int Flush() override {
        std::unique_lock<std::mutex> lock(m_lock);
        m_open.wait(lock, [this] { return m_gateOpen; });
        m_gateOpen = false;
        return m_inner->Flush();
    }
    void LetOneFlushFinish() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_gateOpen = true;
        }
        m_open.notify_all();
    }
    uint64_t Size() const override { return m_inner->Size(); }
    bool IsReadOnly() const override { return false; }
    std::string Name() const override { return "gated"; }

private:
    std::unique_ptr<BlockDevice> m_inner;
    std::mutex m_lock;
    std::condition_variable m_open;
    bool m_gateOpen = false;
};

std::unique_ptr<BlockDevice> Memory(size_t size) {
    return std::make_unique<MemoryBlockDevice>(std::vector<uint8_t>(size, 0), DeviceAccess::ReadWrite);
}

// The caller reads and writes while a flush is under way; Done and Wait tell
// when it ends, and a failing flush answers its errno.
TEST(BackgroundFlusherTest, TheCallerGoesOnWhileAFlushRunsAndGetsItsResult) {
    auto faults = std::make_unique<FaultInjectingDevice>(Memory(4096), FaultPlan{FaultOperation::Flush, 2, EIO});
    GatedDevice gated(std::move(faults));
    BackgroundFlusher flusher(gated);
    EXPECT_TRUE(flusher.Done());
    EXPECT_EQ(flusher.Wait(), 0);  // nothing started: nothing to wait for

    flusher.Start();
    EXPECT_FALSE(flusher.Done());
    const uint8_t byte = 7;
    uint8_t read = 0;
    EXPECT_EQ(gated.Write(10, &byte, 1), 0);
    EXPECT_EQ(gated.Read(10, &read, 1), 0);
    EXPECT_EQ(read, 7);
    EXPECT_FALSE(flusher.Done());
    gated.LetOneFlushFinish();
    EXPECT_EQ(flusher.Wait(), 0);
    EXPECT_TRUE(flusher.Done());

    flusher.Start();  // the second flush fails
    gated.LetOneFlushFinish();
    EXPECT_EQ(flusher.Wait(), EIO);
    EXPECT_EQ(flusher.Wait(), EIO);  // the result stays until the next flush
}

// Under a power-loss device, a write made before a background flush began is
// on the medium after a later cut; one made after it is not.
TEST(BackgroundFlusherTest, WritesBeforeABackgroundFlushSurviveALaterCut) {
    auto memory = std::make_unique<MemoryBlockDevice>(std::vector<uint8_t>(4096, 0), DeviceAccess::ReadWrite);
    MemoryBlockDevice* medium = memory.get();
    auto record = std::make_shared<PowerLossRecord>();
    PowerLossDevice device(std::move(memory), PowerLossPlan{2, CrashMode::Drop, 0}, record);
    const uint8_t before = 1, after = 2;
    {
        BackgroundFlusher flusher(device);
        ASSERT_EQ(device.Write(0, &before, 1), 0);
        flusher.Start();
        ASSERT_EQ(flusher.Wait(), 0);
        ASSERT_EQ(device.Write(512, &after, 1), 0);
        flusher.Start();  // the cut
        EXPECT_EQ(flusher.Wait(), EIO);
    }
    EXPECT_TRUE(record->crashed);
    EXPECT_EQ(record->flushes, 2u);
    EXPECT_EQ(medium->Bytes()[0], 1);
    EXPECT_EQ(medium->Bytes()[512], 0);
}

}  // namespace
