// RunGate.h --- the keep-going flag of a run and the cooperative pause gate its worker passes.
//
// The worker tests Pass() in every long loop: it blocks there while the run is
// paused and answers whether the run may go on. The run controller starts,
// pauses, resumes and stops the run from the UI thread. Stopping also releases
// a paused worker, so a stop never waits on a suspended thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tarvo::volume {

class RunGate {
public:
    // Worker: waits while paused, then answers the keep-going flag.
    bool Pass();

    // Reads the keep-going flag without waiting (for the controller's enable rules).
    bool KeepGoing() const { return m_keepGoing.load(std::memory_order_acquire) != 0; }

    // Controller: keep-going := 1, not paused (before a worker starts).
    void Start();
    // Controller: keep-going := 0 and a paused worker is released.
    void Stop();
    // Controller: the worker blocks at its next Pass() until Resume or Stop.
    void Pause();
    void Resume();
    bool IsPaused() const { return m_paused.load(std::memory_order_acquire); }

private:
    std::atomic<int> m_keepGoing{0};
    std::atomic<bool> m_paused{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

}  // namespace tarvo::volume
