// ReadAheadDevice.cpp --- small reads answered from cached windows, writes kept in step with them.
#include "platform/blockio/ReadAheadDevice.h"

#include <algorithm>
#include <cstring>

namespace tarvo::platform {

int ReadAheadDevice::Read(uint64_t offset, void* buffer, size_t length) {
    const uint64_t start = offset - offset % kWindowBytes;
    if (length == 0 || length > kLargestCachedRead || offset + length > start + kWindowBytes ||
        offset > m_medium->Size() || length > m_medium->Size() - offset) {
        return m_medium->Read(offset, buffer, length);
    }
    Window* window = Find(start);
    if (window == nullptr) {
        window = Load(start);
        if (window == nullptr) {
            // The window would not read: the piece asked for answers for itself.
            return m_medium->Read(offset, buffer, length);
        }
    }
    std::memcpy(buffer, window->bytes.data() + (offset - start), length);
    return 0;
}

int ReadAheadDevice::Write(uint64_t offset, const void* buffer, size_t length) {
    const int rc = m_medium->Write(offset, buffer, length);
    for (Window& window : m_windows) {
        if (window.bytes.empty() || offset >= window.start + window.bytes.size() || offset + length <= window.start) {
            continue;
        }
        if (rc != 0) {
            window.bytes.clear();  // what the device holds there is unknown now
            continue;
        }
        const uint64_t from = std::max(offset, window.start);
        const uint64_t to = std::min<uint64_t>(offset + length, window.start + window.bytes.size());
        std::memcpy(window.bytes.data() + (from - window.start), static_cast<const uint8_t*>(buffer) + (from - offset),
                    static_cast<size_t>(to - from));
    }
    return rc;
}

void ReadAheadDevice::Forget() {
    for (Window& window : m_windows) {
        window.bytes.clear();
    }
}

ReadAheadDevice::Window* ReadAheadDevice::Find(uint64_t start) {
    for (Window& window : m_windows) {
        if (!window.bytes.empty() && window.start == start) {
            return &window;
        }
    }
    return nullptr;
}

// Reads the window at `start` into the next slot in turn; null when the read fails.
ReadAheadDevice::Window* ReadAheadDevice::Load(uint64_t start) {
    Window& window = m_windows[m_next];
    m_next = (m_next + 1) % kWindows;
    const uint64_t length = std::min<uint64_t>(kWindowBytes, m_medium->Size() - start);
    window.bytes.resize(static_cast<size_t>(length));
    if (m_medium->Read(start, window.bytes.data(), window.bytes.size()) != 0) {
        window.bytes.clear();
        return nullptr;
    }
    window.start = start;
    return &window;
}

}  // namespace tarvo::platform
