// MessageLoop.cpp --- posted and sent messages served on one thread.
#include "control/MessageLoop.h"

namespace tarvo::control {

CMessageLoop::CMessageLoop() : m_owner(std::this_thread::get_id()) {}

CMessageLoop::~CMessageLoop() {
    Close();
}

void CMessageLoop::Post(Message message, Discard discard) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        m_posted.push_back({std::move(message), discard});
    }
    m_changed.notify_all();
}

void CMessageLoop::Send(Message message) {
    if (OnLoopThread()) {
        message();
        return;
    }
    SentMessage sent{std::move(message)};
    std::unique_lock lock(m_mutex);
    if (m_closed) return;
    m_sent.push_back(&sent);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return sent.done || m_closed; });
    // A closed loop may still hold the entry: take it out before it goes away.
    std::erase(m_sent, &sent);
}

bool CMessageLoop::ServeOneSent(std::unique_lock<std::mutex>& lock) {
    if (m_sent.empty()) return false;
    SentMessage* sent = m_sent.front();
    m_sent.pop_front();
    lock.unlock();
    sent->message();
    lock.lock();
    sent->done = true;
    m_changed.notify_all();
    return true;
}

int CMessageLoop::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (ServeOneSent(lock)) continue;
        if (!m_posted.empty()) {
            Message message = std::move(m_posted.front().message);
            m_posted.pop_front();
            lock.unlock();
            message();
            lock.lock();
            continue;
        }
        m_changed.wait(lock, [&] { return m_quit || !m_sent.empty() || !m_posted.empty(); });
    }
    // The quit is consumed: a later Run handles messages again.
    m_quit = false;
    return m_quitCode;
}

void CMessageLoop::Quit(int code) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_quit) m_quitCode = code;
        m_quit = true;
    }
    m_changed.notify_all();
}

bool CMessageLoop::QuitRequested() const {
    std::lock_guard lock(m_mutex);
    return m_quit;
}

bool CMessageLoop::WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    while (true) {
        while (ServeOneSent(lock)) {
        }
        lock.unlock();
        bool finished = done();
        lock.lock();
        if (finished) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Woken by a send, a Wake, or the deadline; done() is tested again after serving.
        m_changed.wait_until(lock, deadline);
    }
}

void CMessageLoop::Wake() {
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

void CMessageLoop::DiscardPosted() {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_posted, [](const PostedMessage& m) { return m.discard == Discard::Allowed; });
}

void CMessageLoop::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_posted.clear();
    }
    m_changed.notify_all();
}

}  // namespace tarvo::control
