// BackgroundCopierTest.cpp --- copies on the copier's thread: in the order asked for, pieces gathered,
// and a failure kept with every later copy skipped.
#include <gtest/gtest.h>

#include "platform/blockio/BackgroundCopier.h"
#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/blockio/MemoryBlockDevice.h"

using namespace tarvo::platform;

namespace {

constexpr uint64_t kChunk = BackgroundCopier::kChunkBytes;

std::vector<uint8_t> Numbered(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    }
    return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t length) {
    return {bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(offset + length)};
}

// Pieces larger than a chunk and pieces gathered across a chunk's end land in
// order; a copy from an earlier copy's target reads what that copy wrote, and
// a later copy over an earlier one's source waits its turn.
TEST(BackgroundCopierTest, CopiesLandInTheOrderAskedForWithPiecesGathered) {
    const size_t size = 6 * kChunk;
    const std::vector<uint8_t> original = Numbered(size);
    MemoryBlockDevice device(original, DeviceAccess::ReadWrite);
    {
        BackgroundCopier copier(device);
        // 4096 bytes, then one and a half chunks, then 8192 bytes, to 3 chunks on.
        copier.Copy({{0, 4096}, {kChunk, kChunk + kChunk / 2}, {8192, 8192}}, 3 * kChunk);
        // That target's first 4096 bytes to the start, then the start over again.
        copier.Copy({{3 * kChunk, 4096}}, 16384);
        copier.Copy({{2 * kChunk + kChunk / 2, 4096}}, 3 * kChunk);
        EXPECT_EQ(copier.Drain(), 0);
    }
    std::vector<uint8_t> expected = original;
    std::vector<uint8_t> first = Slice(original, 0, 4096);
    const std::vector<uint8_t> middle = Slice(original, kChunk, kChunk + kChunk / 2);
    const std::vector<uint8_t> last = Slice(original, 8192, 8192);
    first.insert(first.end(), middle.begin(), middle.end());
    first.insert(first.end(), last.begin(), last.end());
    std::copy(first.begin(), first.end(), expected.begin() + 3 * kChunk);
    std::copy(original.begin(), original.begin() + 4096, expected.begin() + 16384);
    std::copy(original.begin() + 2 * kChunk + kChunk / 2, original.begin() + 2 * kChunk + kChunk / 2 + 4096,
              expected.begin() + 3 * kChunk);
    EXPECT_TRUE(device.Bytes() == expected);
}

// A chain of copies longer than one hand-over to the thread, each from the
// one before's target: the last target ends with the first source's bytes.
TEST(BackgroundCopierTest, AChainOfCopiesAcrossHandOversKeepsItsOrder) {
    const std::vector<uint8_t> original = Numbered(1 << 20);
    MemoryBlockDevice device(original, DeviceAccess::ReadWrite);
    const size_t links = 3 * BackgroundCopier::kHandOverCopies + 1;
    {
        BackgroundCopier copier(device);
        for (size_t i = 0; i < links; ++i) {
            copier.Copy({{i * 4096, 4096}}, (i + 1) * 4096);
        }
    }  // the copier's end finishes what was asked for
    EXPECT_TRUE(Slice(device.Bytes(), links * 4096, 4096) == Slice(original, 0, 4096));
}

// A failing write is answered by Drain (and Failure) from then on, and the
// copies asked for after it are skipped: their targets keep their bytes.
TEST(BackgroundCopierTest, AFailureIsKeptAndTheCopiesAfterItAreSkipped) {
    const std::vector<uint8_t> original = Numbered(1 << 20);
    auto memory = std::make_unique<MemoryBlockDevice>(original, DeviceAccess::ReadWrite);
    const MemoryBlockDevice* bytes = memory.get();
    FaultInjectingDevice device(std::move(memory), FaultPlan{FaultOperation::Write, 2, ENOSPC});
    BackgroundCopier copier(device);
    copier.Copy({{0, 4096}}, 65536);       // written
    copier.Copy({{4096, 4096}}, 131072);   // its write fails
    copier.Copy({{8192, 4096}}, 196608);   // skipped
    EXPECT_EQ(copier.Drain(), ENOSPC);
    copier.Copy({{12288, 4096}}, 262144);  // skipped too
    EXPECT_EQ(copier.Drain(), ENOSPC);
    EXPECT_EQ(copier.Failure(), ENOSPC);
    EXPECT_TRUE(Slice(bytes->Bytes(), 65536, 4096) == Slice(original, 0, 4096));
    EXPECT_TRUE(Slice(bytes->Bytes(), 196608, 4096) == Slice(original, 196608, 4096));
    EXPECT_TRUE(Slice(bytes->Bytes(), 262144, 4096) == Slice(original, 262144, 4096));
}

// A device that keeps other bytes than were written fails the copy with EIO.
TEST(BackgroundCopierTest, AReadBackThatDiffersFailsTheCopy) {
    class CorruptingDevice final : public BlockDevice {
    public:
        CorruptingDevice() : m_memory(Numbered(1 << 20), DeviceAccess::ReadWrite) {}
        int Read(uint64_t offset, void* buffer, size_t length) override { return m_memory.Read(offset, buffer, length); }
        int Write(uint64_t offset, const void* buffer, size_t length) override {
            std::vector<uint8_t> kept(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + length);
            kept[length / 2] ^= 0x10;  // one bit lost on the way
            return m_memory.Write(offset, kept.data(), length);
        }
        int Flush() override { return 0; }
        uint64_t Size() const override { return m_memory.Size(); }
        bool IsReadOnly() const override { return false; }
        std::string Name() const override { return "corrupting"; }

    private:
        MemoryBlockDevice m_memory;
    };
    CorruptingDevice device;
    BackgroundCopier copier(device);
    copier.Copy({{0, 4096}, {65536, 4096}}, 131072);
    EXPECT_EQ(copier.Drain(), EIO);
}

}  // namespace
