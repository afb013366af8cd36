// UiQueue.cpp --- the UI thread's sent-message queue.
#include "ui/UiQueue.h"

namespace tarvo::ui {

CUiQueue::CUiQueue(std::function<void(Message)> wake) : m_owner(std::this_thread::get_id()), m_wake(std::move(wake)) {}

CUiQueue::~CUiQueue() { Close(); }

void CUiQueue::Send(Message message) {
    if (OnUiThread()) {
        message();
        return;
    }
    Sent sent{std::move(message)};
    {
        std::unique_lock lock(m_mutex);
        if (m_closed) return;
        m_sent.push_back(&sent);
    }
    m_changed.notify_all();
    m_wake([this] { ServeSent(); });
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return sent.done || (m_closed && m_running != &sent); });
    if (!sent.done) std::erase(m_sent, &sent);
}

void CUiQueue::PostDiscardable(Message message) {
    const unsigned generation = m_generation.load();
    m_wake([this, generation, message = std::move(message)] {
        if (generation == m_generation.load()) message();
    });
}

void CUiQueue::ServeSent() {
    std::unique_lock lock(m_mutex);
    while (!m_sent.empty()) {
        Sent* sent = m_sent.front();
        m_sent.pop_front();
        m_running = sent;
        lock.unlock();
        sent->message();
        lock.lock();
        m_running = nullptr;
        sent->done = true;
        m_changed.notify_all();
    }
}

void CUiQueue::ServeSentWhileBusy(std::chrono::milliseconds budget, std::chrono::microseconds gap) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    for (;;) {
        ServeSent();
        std::unique_lock lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || m_closed) return;
        if (!m_changed.wait_until(lock, std::min(deadline, now + gap), [this] { return !m_sent.empty() || m_closed; }))
            return;
    }
}

bool CUiQueue::WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ServeSent();
        if (done()) return true;
        std::unique_lock lock(m_mutex);
        if (std::chrono::steady_clock::now() >= deadline) return done();
        // Short slices: done() may turn true without a notification.
        m_changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)),
                             [this] { return !m_sent.empty(); });
    }
}

void CUiQueue::Wake() { m_changed.notify_all(); }

void CUiQueue::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

}  // namespace tarvo::ui
