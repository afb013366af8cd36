// BackgroundFlusher.h --- runs a device's Flush on a thread of its own.
//
// A commit that must wait for a flush before its next write can hand the flush
// to this thread and go on with work that does not depend on it (the next
// batch's copies), instead of waiting idle while the medium writes.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

class BackgroundFlusher {
public:
    // `device` must outlive the flusher and allow Flush beside reads and writes.
    explicit BackgroundFlusher(BlockDevice& device);
    ~BackgroundFlusher();  // waits for a flush under way
    BackgroundFlusher(const BackgroundFlusher&) = delete;
    BackgroundFlusher& operator=(const BackgroundFlusher&) = delete;

    // Starts a flush; the previous one must be done (Done() or Wait()).
    void Start();
    // True when no flush is under way (its result is then ready).
    bool Done();
    // Waits for the flush under way, if any, and answers the last one's result (an errno, 0 for success).
    int Wait();

private:
    void Serve();

    BlockDevice& m_device;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_requested = false;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_inline = false;  // the thread could not be started: flushes run in Start
    int m_result = 0;
    std::thread m_thread;
};

}  // namespace tarvo::platform
