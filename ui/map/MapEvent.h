// MapEvent.h --- a waitable event, set or clear, for the drawing thread's idle, quit and abort signals.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvo::ui {

class MapEvent {
public:
    explicit MapEvent(bool initiallySet) : m_set(initiallySet) {}

    void Set() {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_changed.notify_all();
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_set = false;
    }
    bool IsSet() const {
        std::lock_guard lock(m_mutex);
        return m_set;
    }
    // Waits until the event is set or timeout passed; answers whether it is set.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_set; });
    }
    // Waits as Wait; when the event is set, clears it in the same step, so two
    // waiters never both take it. Answers whether it was taken.
    bool WaitAndTake(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return m_set; })) return false;
        m_set = false;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set;
};

}  // namespace tarvo::ui
