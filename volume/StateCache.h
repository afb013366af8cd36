// StateCache.h --- the cluster bitmap's state cache: the last run ClusterState reported.
//
// The view asks about every run it draws, so the cache is read without a lock:
// a sequence count, odd while a store or clear is under way, tells a reader
// whether the three fields it read belong together. A reader that meets a
// change in progress treats the cache as empty.
#pragma once

#include <atomic>
#include <cstdint>

#include "volume/VolumeTypes.h"

namespace tarvo::volume {

class StateCache {
public:
    // The cached code when the cache holds a run (start != 0) containing lcn.
    bool Lookup(Lcn lcn, int& code) const {
        const uint64_t before = m_sequence.load(std::memory_order_acquire);
        if (before & 1) return false;
        const Lcn start = m_start.load(std::memory_order_relaxed);
        const Lcn end = m_end.load(std::memory_order_relaxed);
        const int cached = m_code.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (m_sequence.load(std::memory_order_relaxed) != before) return false;
        if (start == 0 || lcn < start || lcn > end) return false;
        code = cached;
        return true;
    }
    // Remembers a run; skipped when another thread is changing the cache at that moment.
    void Store(Lcn start, Lcn end, int code) {
        uint64_t sequence = m_sequence.load(std::memory_order_relaxed);
        if ((sequence & 1) || !m_sequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acquire))
            return;
        Write(start, end, code, sequence);
    }
    // Empties the cache; waits for a store in progress to finish.
    void Clear() {
        uint64_t sequence = m_sequence.load(std::memory_order_relaxed);
        while ((sequence & 1) ||
               !m_sequence.compare_exchange_weak(sequence, sequence + 1, std::memory_order_acquire)) {
            sequence = m_sequence.load(std::memory_order_relaxed);
        }
        Write(0, 0, 0, sequence);
    }

private:
    void Write(Lcn start, Lcn end, int code, uint64_t sequence) {
        std::atomic_thread_fence(std::memory_order_release);
        m_start.store(start, std::memory_order_relaxed);
        m_end.store(end, std::memory_order_relaxed);
        m_code.store(code, std::memory_order_relaxed);
        m_sequence.store(sequence + 2, std::memory_order_release);
    }

    std::atomic<uint64_t> m_sequence{0};
    std::atomic<Lcn> m_start{0};
    std::atomic<Lcn> m_end{0};
    std::atomic<int> m_code{0};
};

}  // namespace tarvo::volume
