// JobStore.h --- the Schedule service's durable job table ($TARVO_HOME/schedule.db, SQLite).
//
// Only the service process opens it. Every change is one transaction written
// through (WAL, synchronous FULL) before the service answers, so a job that was
// acknowledged survives the process being killed at any moment.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/services/AtInfo.h"

struct sqlite3;

namespace tarvo::platform {

// Where a job stands in its life.
enum class JobState {
    Scheduled = 0,  // waits for next_run (none: an ended one-shot kept to show its error)
    Starting = 1,   // its last run was claimed; the row goes once the program started
};

struct StoredJob {
    DWORD id = 0;
    DWORD jobTime = 0;
    DWORD daysOfMonth = 0;
    UCHAR daysOfWeek = 0;
    UCHAR flags = 0;  // input flags plus JOB_EXEC_ERROR
    std::string command;
    std::optional<time_t> nextRun;
    JobState state = JobState::Scheduled;
};

class CJobStore {
public:
    CJobStore() = default;
    ~CJobStore();
    CJobStore(const CJobStore&) = delete;
    CJobStore& operator=(const CJobStore&) = delete;

    // Opens or creates the table; false with a message on failure.
    bool Open(const std::string& path, std::string& error);
    // Adds a job under a new id (ids are never reused); nothing on failure.
    std::optional<DWORD> Add(const StoredJob& job);
    // Writes a job's schedule fields back; false on failure.
    bool Update(const StoredJob& job);
    // Deletes the jobs with ids in [minId, maxId]; answers how many, or -1 on failure.
    int Remove(DWORD minId, DWORD maxId);
    // Every job in id order.
    std::vector<StoredJob> All();

private:
    bool Exec(const char* sql);
    sqlite3* m_db = nullptr;
};

}  // namespace tarvo::platform
