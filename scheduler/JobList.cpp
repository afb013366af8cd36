// JobList.cpp --- loading, adding, changing and removing the defragmenter's jobs.
#include "scheduler/JobList.h"

#include <vector>

#include "platform/services/NetSchedule.h"
#include "scheduler/JobCommand.h"
#include "scheduler/JobRecord.h"

namespace tarvo::scheduler {

using namespace tarvo::platform;

namespace {
// Deletes one service job; one that is already gone counts as deleted.
bool DeleteServiceJob(CScheduleConnection& connection, DWORD id) {
    NET_API_STATUS status = NetScheduleJobDel(connection.WideServerName(), id, id);
    return status == NERR_Success || status == NERR_JobNotFound;
}
}  // namespace

std::string CJobList::Path() { return DefragmenterPath(); }

bool CJobList::LoadJobs() {
    if (!m_connection.EnsureService()) {
        return false;
    }
    std::vector<Job> read;
    DWORD resume = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        LPBYTE buffer = nullptr;
        DWORD count = 0;
        DWORD total = 0;
        status = NetScheduleJobEnum(m_connection.WideServerName(), &buffer, MAX_PREFERRED_LENGTH, &count, &total,
                                    &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            auto* entries = reinterpret_cast<AT_ENUM*>(buffer);
            for (DWORD i = 0; i < count; ++i) {
                read.push_back(FromServiceRecord(entries[i]));
            }
        }
        if (buffer != nullptr) {
            NetApiBufferFree(buffer);
        }
    }
    std::string path = Path();
    if (path.empty()) {
        return true;  // no defragmenter installed: nothing of ours to list
    }
    for (auto& job : read) {
        if (!BelongsToDefragmenter(job.command, path)) {
            continue;
        }
        job.method = MethodUnknown;
        job.drive = -1;
        job.sort = SortBySettings;
        job.logging = false;
        job.logLevel = 0;
        if (ParseCommand(job)) {
            job.key = ++m_keyCounter;
            m_jobs.push_back(job);
        }
    }
    return true;
}

bool CJobList::AddToService(Job& job) {
    auto command = BuildCommand(job, Path());
    if (!command) {
        return false;
    }
    Job stored = job;
    stored.command = *command;
    ServiceRecord record = ToServiceRecord(stored);
    DWORD id = 0;
    if (NetScheduleJobAdd(m_connection.WideServerName(), reinterpret_cast<LPBYTE>(&record.Info()), &id) !=
        NERR_Success) {
        return false;
    }
    job.command = *command;
    job.serviceJobId = id;
    job.execError = false;
    return true;
}

bool CJobList::AddJob(Job& job) {
    if (!AddToService(job)) {
        return false;
    }
    job.key = ++m_keyCounter;
    m_jobs.push_back(job);
    return true;
}

bool CJobList::ChangeJob(Job& job) {
    Job* listed = FindJob(job.key);
    if (listed == nullptr) {
        return false;
    }
    Job replacement = job;
    if (!AddToService(replacement)) {
        return false;  // the old job stays in the service and in the list
    }
    if (!DeleteServiceJob(m_connection, listed->serviceJobId)) {
        // Undo the add so the service does not run both.
        NetScheduleJobDel(m_connection.WideServerName(), replacement.serviceJobId, replacement.serviceJobId);
        return false;
    }
    *listed = replacement;
    job = replacement;
    return true;
}

bool CJobList::RemoveJob(uint32_t key) {
    for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
        if (it->key == key) {
            if (!DeleteServiceJob(m_connection, it->serviceJobId)) {
                return false;
            }
            m_jobs.erase(it);
            return true;
        }
    }
    return false;
}

bool CJobList::RemoveAllJobs(int16_t drive) {
    bool all = true;
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (drive != 0 && it->drive != drive) {
            ++it;
            continue;
        }
        if (!DeleteServiceJob(m_connection, it->serviceJobId)) {
            all = false;
            ++it;
            continue;
        }
        it = m_jobs.erase(it);
    }
    return all;
}

Job* CJobList::FindJob(uint32_t key) {
    for (auto& job : m_jobs) {
        if (job.key == key) {
            return &job;
        }
    }
    return nullptr;
}

}  // namespace tarvo::scheduler
