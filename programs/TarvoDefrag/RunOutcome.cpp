// RunOutcome.cpp --- sorts the run events into completed, failed and stopped drives.
#include "programs/TarvoDefrag/RunOutcome.h"

namespace tarvo::programs {

using namespace tarvo::app;

void CRunOutcome::Observe(MessageId id, const std::vector<std::string>& strings) {
    const std::string drive = strings.empty() ? std::string() : strings[0];
    std::lock_guard lock(m_mutex);
    switch (id) {
        case MSG_INF_SPACE_COMPLETED:
        case MSG_INF_COMPLETE_COMPLETED:
            m_completed.insert(drive);
            break;
        case MSG_INF_SPACE_STARTED:
        case MSG_INF_COMPLETE_STARTED:
            m_methods.emplace_back(drive, id == MSG_INF_SPACE_STARTED ? "SPACE" : "COMPLETE");
            break;
        // A run that ended early, a refused drive, or a start that failed.
        case MSG_INF_SPACE_STOPPED:
        case MSG_INF_COMPLETE_STOPPED:
        case MSG_ERR_CLUSTER_TOO_LARGE:
        case MSG_ERR_NOT_ENOUGH_SPACE:
        case MSG_ERR_WRITE_PROTECTED:
        case MSG_ERR_DEVICE_FAILED:
        case MSG_ERR_VOLUME_REFUSED:
        case MSG_ERR_EMPTY_DRIVE:
        case MSG_ERR_NO_CLUSTER_MAP_VIEW:
        case MSG_ERR_JOB_NOT_CREATED:
        case MSG_ERR_JOB_INIT_FAILED:
        case MSG_ERR_JOB_NOT_STARTED:
        case MSG_ERR_MENU_JOB_NOT_CREATED:
        case MSG_ERR_THREAD_NOT_CREATED:
        case MSG_ERR_METHOD_FAILED:
        case MSG_ERR_RELEASE_JOB_FAULT:
            m_failed = true;
            break;
        default:
            break;
    }
}

void CRunOutcome::MarkStopped() {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
}

std::string CRunOutcome::MethodOf(const std::string& drive) const {
    std::lock_guard lock(m_mutex);
    for (auto it = m_methods.rbegin(); it != m_methods.rend(); ++it)
        if (it->first == drive) return it->second;
    return {};
}

bool CRunOutcome::Completed(const std::string& drive) const {
    std::lock_guard lock(m_mutex);
    return m_completed.count(drive) != 0;
}

int CRunOutcome::ExitStatus(const std::vector<std::string>& drives) const {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return kExitStopped;
    if (m_failed || drives.empty()) return kExitDriveFailed;
    for (const std::string& d : drives)
        if (m_completed.count(d + ":") == 0) return kExitDriveFailed;
    return kExitCompleted;
}

}  // namespace tarvo::programs
