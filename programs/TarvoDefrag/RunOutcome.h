// RunOutcome.h --- what became of each drive of a command-line run, and the program's exit status.
//
// Fed with every report of the engine and the run controller (any thread).
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/MessageIds.h"

namespace tarvo::programs {

// Exit statuses of TarvoDefrag.
constexpr int kExitCompleted = 0;
constexpr int kExitInvalidCommandLine = 1;
constexpr int kExitDriveFailed = 2;
constexpr int kExitStopped = 3;
constexpr int kExitNoWindow = 4;

class CRunOutcome {
public:
    // Takes one report: completion, abort and failure events count.
    void Observe(app::MessageId id, const std::vector<std::string>& strings);

    // The run was stopped by the user (a signal).
    void MarkStopped();

    // The method last started on a drive ("SPACE" or "COMPLETE"), empty when none.
    std::string MethodOf(const std::string& drive) const;

    // 3 when stopped; 0 when every drive of the list ("C", "D", ...) completed
    // and nothing failed; else 2 (also for an empty list).
    int ExitStatus(const std::vector<std::string>& drives) const;

    bool Completed(const std::string& drive) const;

private:
    mutable std::mutex m_mutex;
    std::set<std::string> m_completed;  // "C:"
    std::vector<std::pair<std::string, std::string>> m_methods;
    bool m_failed = false;
    bool m_stopped = false;
};

}  // namespace tarvo::programs
