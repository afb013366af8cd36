// ReadAheadDeviceTest.cpp --- the read-ahead windows always answer what the device holds.
#include <gtest/gtest.h>

#include <numeric>

#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/blockio/MemoryBlockDevice.h"
#include "platform/blockio/ReadAheadDevice.h"

using namespace tarvo::platform;

namespace {

constexpr uint64_t kWindow = ReadAheadDevice::kWindowBytes;

std::vector<uint8_t> Counting(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

std::vector<uint8_t> ReadBack(BlockDevice& device, uint64_t offset, size_t length) {
    std::vector<uint8_t> out(length);
    EXPECT_EQ(device.Read(offset, out.data(), length), 0);
    return out;
}

// Small reads, reads across a window's edge and at the device's short last
// window, and large reads all answer the device's bytes; writes that reach into
// cached windows, partly or across two of them, are seen by the next read.
TEST(ReadAheadDeviceTest, ReadsAnswerWhatTheDeviceHoldsAfterEveryWrite) {
    const size_t size = 3 * kWindow + 5000;  // the last window is short
    auto memory = std::make_unique<MemoryBlockDevice>(Counting(size), DeviceAccess::ReadWrite);
    MemoryBlockDevice* raw = memory.get();
    ReadAheadDevice device(std::move(memory));
    auto expectSame = [&](uint64_t offset, size_t length) {
        std::vector<uint8_t> want(raw->Bytes().begin() + static_cast<long>(offset),
                                  raw->Bytes().begin() + static_cast<long>(offset + length));
        EXPECT_EQ(ReadBack(device, offset, length), want) << "offset " << offset << " length " << length;
    };
    for (uint64_t offset : {uint64_t{0}, uint64_t{1024}, kWindow - 512, 2 * kWindow + 100, size - 1024}) {
        expectSame(offset, 1024);
    }
    expectSame(kWindow - 100, 200);  // across two windows
    expectSame(0, 3 * kWindow);      // past the cached size

    std::vector<uint8_t> patch(kWindow + 300, 0xA5);
    ASSERT_EQ(device.Write(kWindow - 150, patch.data(), patch.size()), 0);  // over two windows' edges
    for (uint64_t offset : {uint64_t{1024}, kWindow - 512, kWindow + 4096, 2 * kWindow + 100}) {
        expectSame(offset, 1024);
    }
    ASSERT_EQ(device.Write(size - 10, patch.data(), 10), 0);  // the last bytes
    expectSame(size - 1024, 1024);
    // More windows than slots: the earliest are read again and still right.
    for (uint64_t w = 0; w < 3 * kWindow; w += 4096) expectSame(w, 512);
    expectSame(kWindow - 512, 1024);
}

// A window that fails to read leaves the piece asked for to answer for itself;
// a write that fails leaves no window claiming to know what is there; a read
// from Medium() never comes from a window.
TEST(ReadAheadDeviceTest, FailuresAreNotCachedAndMediumReadsBypassTheWindows) {
    auto record = std::make_shared<FaultRecord>();
    FaultPlan plan;
    plan.operation = FaultOperation::Read;
    plan.failAt = 1;
    plan.repeat = FaultRepeat::Once;
    auto memory = std::make_unique<MemoryBlockDevice>(Counting(2 * kWindow), DeviceAccess::ReadWrite);
    const std::vector<uint8_t> original = memory->Bytes();
    ReadAheadDevice device(std::make_unique<FaultInjectingDevice>(std::move(memory), plan, record));
    std::vector<uint8_t> piece(1024);
    ASSERT_EQ(device.Read(2048, piece.data(), piece.size()), 0);  // the window read fails, the piece does not
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), original.begin() + 2048));
    EXPECT_EQ(record->failures, 1u);

    const uint64_t readsBefore = record->reads;
    ASSERT_EQ(device.Read(4096, piece.data(), piece.size()), 0);  // loads the window
    ASSERT_EQ(device.Read(8192, piece.data(), piece.size()), 0);  // from the window
    EXPECT_EQ(record->reads, readsBefore + 1);
    ASSERT_EQ(device.Medium().Read(8192, piece.data(), piece.size()), 0);
    EXPECT_EQ(record->reads, readsBefore + 2);

    FaultPlan writeFails;
    writeFails.operation = FaultOperation::Write;
    writeFails.failAt = 1;
    auto second = std::make_unique<MemoryBlockDevice>(Counting(2 * kWindow), DeviceAccess::ReadWrite);
    ReadAheadDevice failing(std::make_unique<FaultInjectingDevice>(std::move(second), writeFails));
    ASSERT_EQ(failing.Read(4096, piece.data(), piece.size()), 0);
    const std::vector<uint8_t> patch(1024, 0x5A);
    EXPECT_NE(failing.Write(4096, patch.data(), patch.size()), 0);
    ASSERT_EQ(failing.Read(4096, piece.data(), piece.size()), 0);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), original.begin() + 4096));
}

}  // namespace
