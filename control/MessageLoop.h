// MessageLoop.h --- the UI thread's message queue without a window toolkit: posted and sent messages.
//
// A posted message runs later on the loop's thread; a sent message runs there
// too, and its sender waits until it has run (or the loop was closed). The
// loop's thread runs Run() until Quit, and serves only sent messages while it
// waits inside WaitServingSent.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "control/RunWindows.h"

namespace tarvo::control {

class CMessageLoop {
public:
    using Message = std::function<void()>;

    // The calling thread becomes the loop's thread.
    CMessageLoop();
    // Closes the loop: later and waiting sends return without running.
    ~CMessageLoop();

    // Whether DiscardPosted may drop a posted message (stale run notices may go;
    // a stop request must not).
    enum class Discard { Never, Allowed };

    // Any thread: queues a message for the loop's thread.
    void Post(Message message, Discard discard = Discard::Never);
    // Any thread: runs the message on the loop's thread and waits for it. On
    // the loop's thread it runs at once; on a closed loop it is dropped.
    void Send(Message message);

    // Loop's thread: handles posted and sent messages until Quit (also one
    // requested before the call); answers the code.
    int Run();
    // Any thread: makes Run return with code once the current message is done.
    void Quit(int code);
    bool QuitRequested() const;

    // Loop's thread: serves sent messages until done() holds or timeout passed.
    bool WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done);
    void Wake();
    // Drops the posted messages marked Discard::Allowed.
    void DiscardPosted();
    // No more messages are run; waiting senders are released.
    void Close();

    bool OnLoopThread() const { return std::this_thread::get_id() == m_owner; }

private:
    struct SentMessage {
        Message message;
        bool done = false;
    };
    bool ServeOneSent(std::unique_lock<std::mutex>& lock);

    const std::thread::id m_owner;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    struct PostedMessage {
        Message message;
        Discard discard;
    };
    std::deque<PostedMessage> m_posted;
    std::deque<SentMessage*> m_sent;
    bool m_quit = false;
    bool m_closed = false;
    int m_quitCode = 0;
};

}  // namespace tarvo::control
