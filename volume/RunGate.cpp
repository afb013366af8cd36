// RunGate.cpp --- the keep-going flag and the cooperative pause gate.
#include "volume/RunGate.h"

namespace tarvo::volume {

bool RunGate::Pass() {
    if (m_paused.load(std::memory_order_acquire)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] {
            return !m_paused.load(std::memory_order_acquire) || m_keepGoing.load(std::memory_order_acquire) == 0;
        });
    }
    return m_keepGoing.load(std::memory_order_acquire) != 0;
}

void RunGate::Start() {
    {
        std::lock_guard lock(m_mutex);
        m_paused.store(false, std::memory_order_release);
        m_keepGoing.store(1, std::memory_order_release);
    }
    m_changed.notify_all();
}

void RunGate::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_keepGoing.store(0, std::memory_order_release);
        m_paused.store(false, std::memory_order_release);
    }
    m_changed.notify_all();
}

void RunGate::Pause() {
    std::lock_guard lock(m_mutex);
    m_paused.store(true, std::memory_order_release);
}

void RunGate::Resume() {
    {
        std::lock_guard lock(m_mutex);
        m_paused.store(false, std::memory_order_release);
    }
    m_changed.notify_all();
}

}  // namespace tarvo::volume
