// BackgroundFlusher.cpp --- one waiting thread, one flush at a time.
#include "platform/blockio/BackgroundFlusher.h"

#include <system_error>

namespace tarvo::platform {

BackgroundFlusher::BackgroundFlusher(BlockDevice& device) : m_device(device) {
    try {
        m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
        m_inline = true;  // no thread to be had: each flush runs in Start
    }
}

BackgroundFlusher::~BackgroundFlusher() {
    if (m_inline) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundFlusher::Start() {
    if (m_inline) {
        m_result = m_device.Flush();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_busy = true;
        m_requested = true;
    }
    m_changed.notify_all();
}

bool BackgroundFlusher::Done() {
    std::lock_guard<std::mutex> lock(m_lock);
    return !m_busy;
}

int BackgroundFlusher::Wait() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return !m_busy; });
    return m_result;
}

void BackgroundFlusher::Serve() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_requested || m_stopping; });
        if (m_stopping) {
            return;
        }
        m_requested = false;
        lock.unlock();
        const int result = m_device.Flush();
        lock.lock();
        m_result = result;
        m_busy = false;
        m_changed.notify_all();
    }
}

}  // namespace tarvo::platform
