// BackgroundFlusher.cpp --- one waiting thread, one flush at a time.
#include "platform/blockio/BackgroundFlusher.h"

namespace tarvo::platform {

BackgroundFlusher::BackgroundFlusher(BlockDevice& device) : m_device(device), m_thread([this] { Serve(); }) {}

BackgroundFlusher::~BackgroundFlusher() {
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundFlusher::Start() {
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
