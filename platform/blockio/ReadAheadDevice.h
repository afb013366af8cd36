// ReadAheadDevice.h --- a BlockDevice wrapper that serves small reads from a few cached windows.
//
// Metadata is read in small pieces (a 1 KiB file record, a 4 KiB index block)
// that mostly lie close together; one read of the window around them saves
// the calls for their neighbours. Every write passes through at once and
// updates the windows it touches, so a read always answers what the device
// holds; flushes and everything else pass through unchanged. Reads that must
// reach the medium itself (a copy read back to be verified) go to Medium().
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

class ReadAheadDevice final : public BlockDevice {
public:
    explicit ReadAheadDevice(std::unique_ptr<BlockDevice> medium) : m_medium(std::move(medium)) {}

    int Read(uint64_t offset, void* buffer, size_t length) override;
    int Write(uint64_t offset, const void* buffer, size_t length) override;
    int Flush() override { return m_medium->Flush(); }
    uint64_t Size() const override { return m_medium->Size(); }
    bool IsReadOnly() const override { return m_medium->IsReadOnly(); }
    std::string Name() const override { return m_medium->Name(); }
    bool IsRemovable() const override { return m_medium->IsRemovable(); }

    // The wrapped device, for reads past the windows. Writes always go through
    // the wrapper, which keeps the windows in step.
    BlockDevice& Medium() { return *m_medium; }
    // Drops every window: for when the medium was written past the wrapper.
    void Forget();

    static constexpr uint64_t kWindowBytes = 64 * 1024;
    static constexpr size_t kLargestCachedRead = 8 * 1024;
    static constexpr size_t kWindows = 8;

private:
    struct Window {
        uint64_t start = 0;
        std::vector<uint8_t> bytes;  // empty: the slot holds nothing
    };

    Window* Find(uint64_t start);
    Window* Load(uint64_t start);

    std::unique_ptr<BlockDevice> m_medium;
    std::array<Window, kWindows> m_windows;
    size_t m_next = 0;
};

}  // namespace tarvo::platform
