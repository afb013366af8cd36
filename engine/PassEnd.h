// PassEnd.h --- how one pass of a method ends, and the percentage a run sends only when it changes.
#pragma once

#include "engine/RunTexts.h"
#include "volume/DefragJob.h"

namespace tarvo::engine {

// Done: the pass went through; the run goes on. VolumeFailed: a move met a
// write-protected or failing volume (already logged); the run goes to its
// finish, where it ends without reporting completion. Stopped: the keep-going
// flag was cleared; the run ends as stopped.
enum class PassEnd { Done, VolumeFailed, Stopped };

// The last percentage sent to the view; Send passes a value on only when it differs.
class RunPercent {
public:
    explicit RunPercent(volume::CDefragJob& job) : m_job(job) {}
    void Send(int percent) {
        if (percent == m_last) return;
        m_last = percent;
        SendPercent(m_job, percent);
    }
    // Sends the value whatever was sent before (the start's 0, the finish's 100).
    void Force(int percent) {
        m_last = percent;
        SendPercent(m_job, percent);
    }
    int Last() const { return m_last; }

private:
    volume::CDefragJob& m_job;
    int m_last = 0;
};

}  // namespace tarvo::engine
