// WorkerThread.h --- the worker thread of a job: created suspended, given a priority, resumed, joined.
//
// There is no safe way to end a thread from outside, so the thread is never
// killed: a stop clears the job's keep-going flag and waits for the body to
// return. UI thread only (the body runs on the worker).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvo::control {

class CWorkerThread {
public:
    CWorkerThread() = default;
    // Joins the thread (resuming it first when it never ran).
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Creates the thread suspended: body runs after Resume. False when the
    // system refused a thread.
    bool CreateSuspended(std::function<void()> body);

    // The thread priority (THREAD_PRIORITY_*) the thread takes as it starts.
    void SetPriority(int priority) { m_priority.store(priority); }

    void Resume();

    // True once the body has returned.
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }

    // Waits for the body to return.
    void Join();

private:
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_running = false;
    std::atomic<int> m_priority{0};
    std::atomic<bool> m_finished{false};
};

}  // namespace tarvo::control
