// BackgroundCopier.h --- copies runs of a device to other places on it, on a thread of its own.
//
// Each copy is read from its sources, written to its target, read back and
// compared, in the order the copies were asked for; so a copy whose sources
// are an earlier copy's target reads what that copy wrote. The first failure
// (a read or write error, or a read-back that differs) is kept, and every copy
// after it is skipped. The caller decides when the copies must be on the
// device (Drain), before anything that points at them is written.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

// Bytes of the device: where a piece of a copy's data starts and how long it is.
struct DeviceRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

class BackgroundCopier {
public:
    // `device` must outlive the copier and allow reads and writes from its
    // thread beside the caller's (to other places).
    explicit BackgroundCopier(BlockDevice& device);
    ~BackgroundCopier();  // finishes the copies asked for
    BackgroundCopier(const BackgroundCopier&) = delete;
    BackgroundCopier& operator=(const BackgroundCopier&) = delete;

    // Asks for the pieces, one after another, to be copied to the bytes from
    // `target` on. Copies are handed to the thread a few at a time (waking it
    // costs a system call), and all at once by Drain.
    void Copy(std::vector<DeviceRange> sources, uint64_t target);
    // Waits until every copy asked for is done; answers the first failure's
    // errno (EIO for a read-back that differs), 0 when none failed. A failure
    // stays: later copies are skipped and every later Drain answers it.
    int Drain();
    // The first failure so far, without waiting (0 when none).
    int Failure();

    // The largest piece read or written in one call.
    static constexpr size_t kChunkBytes = 4u << 20;
    // Copies gathered by the caller before they are handed to the thread.
    static constexpr size_t kHandOverCopies = 16;
    static constexpr uint64_t kHandOverBytes = 1u << 20;

private:
    struct Job {
        std::vector<DeviceRange> sources;
        uint64_t target = 0;
    };

    void Serve();
    void HandOver();
    int Run(const Job& job);  // answers an errno

    BlockDevice& m_device;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    std::vector<Job> m_gathered;  // the caller's, not handed over yet
    uint64_t m_gatheredBytes = 0;
    bool m_busy = false;  // the thread works on a job taken off the queue
    bool m_stopping = false;
    bool m_inline = false;  // the thread could not be started: each copy runs in Copy
    int m_failure = 0;
    std::vector<uint8_t> m_data, m_check;  // the thread's buffers
    std::thread m_thread;
};

}  // namespace tarvo::platform
