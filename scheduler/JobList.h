// JobList.h --- the defragmenter's jobs in the Schedule service, kept in step with the service.
//
// The list holds the service's jobs whose command starts the defragmenter, in
// enumeration order, each with a key from 1001 on (keys are never reused).
// Every change goes to the service first; the list changes only with it, and
// a failure is answered to the caller, never shown as done.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "scheduler/Job.h"
#include "scheduler/ScheduleConnection.h"

namespace tarvo::scheduler {

class CJobList {
public:
    explicit CJobList(CScheduleConnection& connection) : m_connection(connection) {}

    // Ensures the service (with its questions), then reads every job of the
    // defragmenter. Jobs the service could not start stay listed, with
    // execError set. False when the service is refused or cannot be started.
    bool LoadJobs();

    // Writes the job's command, adds it to the service and, on success, lists
    // it under the next key (the job's key and service id are set).
    bool AddJob(Job& job);

    // Replaces the listed job with the job's key: the new service job is added
    // first and the old one deleted only after that succeeded, so a failure
    // leaves the old job in the service and in the list.
    bool ChangeJob(Job& job);

    // Deletes the job's service job and then unlists it; a failed delete keeps it listed.
    bool RemoveJob(uint32_t key);

    // Removes every job (drive code 0) or the jobs of one drive. A job whose
    // service job could not be deleted stays listed; true only when all went.
    bool RemoveAllJobs(int16_t drive);

    // The listed job with the key, or null; valid until the list changes.
    Job* FindJob(uint32_t key);

    const std::list<Job>& Jobs() const { return m_jobs; }

private:
    std::string Path();
    bool AddToService(Job& job);

    CScheduleConnection& m_connection;
    std::list<Job> m_jobs;
    uint32_t m_keyCounter = kFirstJobKey;
};

}  // namespace tarvo::scheduler
