// UiQueue.h --- sent and posted messages to the wx UI thread, and waits on it that keep serving sends.
//
// A worker's sent message runs on the UI thread while the worker waits. When
// the UI thread itself waits (a stop, a cancel of the drawing), it serves the
// sent messages meanwhile, so a worker blocked in a send never deadlocks it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvo::ui {

class CUiQueue {
public:
    using Message = std::function<void()>;
    // wake(fn) must run fn later on the UI thread (wx: CallAfter); called from any thread.
    explicit CUiQueue(std::function<void(Message)> wake);
    ~CUiQueue();

    // Any thread: runs message on the UI thread and waits for it; at once on
    // the UI thread; dropped once the queue is closed.
    void Send(Message message);
    // Any thread: runs message later on the UI thread unless DiscardPosted came first.
    void PostDiscardable(Message message);
    void DiscardPosted() { m_generation.fetch_add(1); }
    // UI thread: runs every pending sent message.
    void ServeSent();
    // UI thread: serves sends while a worker keeps sending: returns once none
    // arrives within gap of the last, or when budget is spent.
    void ServeSentWhileBusy(std::chrono::milliseconds budget, std::chrono::microseconds gap);
    // UI thread: waits at most timeout for done(), serving sends; answers done().
    bool WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done);
    void Wake();
    // Releases waiting senders; later sends are dropped.
    void Close();
    bool OnUiThread() const { return std::this_thread::get_id() == m_owner; }

private:
    struct Sent {
        Message message;
        bool done = false;
    };
    const std::thread::id m_owner;
    std::function<void(Message)> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Sent*> m_sent;
    Sent* m_running = nullptr;  // the sent message the UI thread runs now
    bool m_closed = false;
    std::atomic<unsigned> m_generation{0};
};

}  // namespace tarvo::ui
