// BackgroundCopier.cpp --- one thread works through the copies in the order asked for.
#include "platform/blockio/BackgroundCopier.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tarvo::platform {

BackgroundCopier::BackgroundCopier(BlockDevice& device) : m_device(device) {
    try {
        m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
        m_inline = true;  // no thread to be had: each copy runs in Copy
    }
}

BackgroundCopier::~BackgroundCopier() {
    if (m_inline) {
        return;
    }
    HandOver();
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundCopier::Copy(std::vector<DeviceRange> sources, uint64_t target) {
    Job job{std::move(sources), target};
    if (m_inline) {
        if (m_failure == 0) {
            m_failure = Run(job);
        }
        return;
    }
    for (const DeviceRange& piece : job.sources) {
        m_gatheredBytes += piece.length;
    }
    m_gathered.push_back(std::move(job));
    if (m_gathered.size() >= kHandOverCopies || m_gatheredBytes >= kHandOverBytes) {
        HandOver();
    }
}

void BackgroundCopier::HandOver() {
    if (m_gathered.empty()) {
        return;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // A busy thread, or one already woken for a queue that is not empty, takes them without a call.
        wake = !m_busy && m_queue.empty();
        if (m_failure == 0) {  // else skipped, as every copy after a failure
            for (Job& job : m_gathered) {
                m_queue.push_back(std::move(job));
            }
        }
    }
    m_gathered.clear();
    m_gatheredBytes = 0;
    if (wake) {
        m_changed.notify_all();
    }
}

int BackgroundCopier::Drain() {
    HandOver();
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    return m_failure;
}

int BackgroundCopier::Failure() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failure;
}

void BackgroundCopier::Serve() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty()) {
            return;  // stopping, with nothing left to do
        }
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        const int result = Run(job);
        lock.lock();
        m_busy = false;
        if (result != 0 && m_failure == 0) {
            m_failure = result;
            m_queue.clear();
        }
        m_changed.notify_all();
    }
}

int BackgroundCopier::Run(const Job& job) {
    uint64_t total = 0;
    for (const DeviceRange& piece : job.sources) {
        total += piece.length;
    }
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, total));
    if (m_data.size() < wanted) {
        m_data.resize(wanted);
        m_check.resize(wanted);
    }
    uint64_t written = 0;  // bytes already at the target
    size_t filled = 0;     // bytes gathered in the buffer
    auto writeChunk = [&]() -> int {
        const uint64_t offset = job.target + written;
        if (int rc = m_device.Write(offset, m_data.data(), filled); rc != 0) {
            return rc;
        }
        if (int rc = m_device.Read(offset, m_check.data(), filled); rc != 0) {
            return rc;
        }
        if (std::memcmp(m_data.data(), m_check.data(), filled) != 0) {
            return EIO;  // the device does not answer what was written
        }
        written += filled;
        filled = 0;
        return 0;
    };
    for (const DeviceRange& piece : job.sources) {
        uint64_t done = 0;
        while (done < piece.length) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkBytes - filled, piece.length - done));
            if (int rc = m_device.Read(piece.offset + done, m_data.data() + filled, n); rc != 0) {
                return rc;
            }
            filled += n;
            done += n;
            if (filled == kChunkBytes) {
                if (int rc = writeChunk(); rc != 0) {
                    return rc;
                }
            }
        }
    }
    return filled > 0 ? writeChunk() : 0;
}

}  // namespace tarvo::platform
