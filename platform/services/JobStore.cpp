// JobStore.cpp --- the job table over SQLite.
#include "platform/services/JobStore.h"

#include <sqlite3.h>

namespace tarvo::platform {

namespace {
// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    sqlite3_stmt* operator*() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

void BindJob(sqlite3_stmt* s, const StoredJob& job) {
    sqlite3_bind_int64(s, 1, job.jobTime);
    sqlite3_bind_int64(s, 2, job.daysOfMonth);
    sqlite3_bind_int(s, 3, job.daysOfWeek);
    sqlite3_bind_int(s, 4, job.flags);
    sqlite3_bind_text(s, 5, job.command.c_str(), static_cast<int>(job.command.size()), SQLITE_TRANSIENT);
    if (job.nextRun) {
        sqlite3_bind_int64(s, 6, *job.nextRun);
    } else {
        sqlite3_bind_null(s, 6);
    }
    sqlite3_bind_int(s, 7, static_cast<int>(job.state));
}
}  // namespace

CJobStore::~CJobStore() {
    if (m_db != nullptr) {
        sqlite3_close(m_db);
    }
}

bool CJobStore::Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool CJobStore::Open(const std::string& path, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = m_db != nullptr ? sqlite3_errmsg(m_db) : "cannot open";
        return false;
    }
    sqlite3_busy_timeout(m_db, 10000);
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") ||
        !Exec("CREATE TABLE IF NOT EXISTS jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, job_time INTEGER NOT NULL,"
              " days_of_month INTEGER NOT NULL, days_of_week INTEGER NOT NULL, flags INTEGER NOT NULL,"
              " command TEXT NOT NULL, next_run INTEGER, state INTEGER NOT NULL DEFAULT 0)")) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

std::optional<DWORD> CJobStore::Add(const StoredJob& job) {
    Statement s(m_db,
                "INSERT INTO jobs (job_time, days_of_month, days_of_week, flags, command, next_run, state)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (!s) {
        return std::nullopt;
    }
    BindJob(*s, job);
    if (sqlite3_step(*s) != SQLITE_DONE) {
        return std::nullopt;
    }
    return static_cast<DWORD>(sqlite3_last_insert_rowid(m_db));
}

bool CJobStore::Update(const StoredJob& job) {
    Statement s(m_db,
                "UPDATE jobs SET job_time=?1, days_of_month=?2, days_of_week=?3, flags=?4, command=?5,"
                " next_run=?6, state=?7 WHERE id=?8");
    if (!s) {
        return false;
    }
    BindJob(*s, job);
    sqlite3_bind_int64(*s, 8, job.id);
    return sqlite3_step(*s) == SQLITE_DONE;
}

int CJobStore::Remove(DWORD minId, DWORD maxId) {
    Statement s(m_db, "DELETE FROM jobs WHERE id BETWEEN ?1 AND ?2");
    if (!s) {
        return -1;
    }
    sqlite3_bind_int64(*s, 1, minId);
    sqlite3_bind_int64(*s, 2, maxId);
    if (sqlite3_step(*s) != SQLITE_DONE) {
        return -1;
    }
    return sqlite3_changes(m_db);
}

std::vector<StoredJob> CJobStore::All() {
    std::vector<StoredJob> jobs;
    Statement s(m_db,
                "SELECT id, job_time, days_of_month, days_of_week, flags, command, next_run, state"
                " FROM jobs ORDER BY id");
    while (s && sqlite3_step(*s) == SQLITE_ROW) {
        StoredJob job;
        job.id = static_cast<DWORD>(sqlite3_column_int64(*s, 0));
        job.jobTime = static_cast<DWORD>(sqlite3_column_int64(*s, 1));
        job.daysOfMonth = static_cast<DWORD>(sqlite3_column_int64(*s, 2));
        job.daysOfWeek = static_cast<UCHAR>(sqlite3_column_int(*s, 3));
        job.flags = static_cast<UCHAR>(sqlite3_column_int(*s, 4));
        const unsigned char* text = sqlite3_column_text(*s, 5);
        job.command = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        if (sqlite3_column_type(*s, 6) != SQLITE_NULL) {
            job.nextRun = static_cast<time_t>(sqlite3_column_int64(*s, 6));
        }
        job.state = sqlite3_column_int(*s, 7) == 1 ? JobState::Starting : JobState::Scheduled;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace tarvo::platform
