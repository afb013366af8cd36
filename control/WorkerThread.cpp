// WorkerThread.cpp --- a suspended start, the worker's own priority, and the join.
#include "control/WorkerThread.h"

#include <system_error>

#include "platform/process/Priority.h"

namespace tarvo::control {

CWorkerThread::~CWorkerThread() {
    Resume();
    Join();
}

bool CWorkerThread::CreateSuspended(std::function<void()> body) {
    try {
        m_thread = std::thread([this, body = std::move(body)] {
            {
                std::unique_lock lock(m_mutex);
                m_resumed.wait(lock, [this] { return m_running; });
            }
            // Our platform sets a thread's priority from the thread itself.
            platform::SetThreadPriority(platform::GetCurrentThread(), m_priority.load());
            body();
            m_finished.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CWorkerThread::Resume() {
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
    }
    m_resumed.notify_all();
}

void CWorkerThread::Join() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace tarvo::control
