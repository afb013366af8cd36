// SqliteStore.h --- one process-wide SQLite connection to a database file in the data folder.
//
// Used by the registry and the event log. The connection is opened on first use
// in WAL mode with a busy timeout, reopened when TARVO_HOME names another folder
// or the process has forked, and every access is one transaction under a mutex,
// so threads and processes sharing the file never see half a change.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {

// A failed SQLite call: the SQLite result code and its message.
class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    int Code() const { return m_code; }
    // The file is not a database or is damaged.
    bool IsDamaged() const;

private:
    int m_code;
};

// A prepared statement; throws SqliteError on failure.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(int index, int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& BindBlob(int index, const void* data, size_t size);
    SqliteStatement& BindNull(int index);
    // Answers true while a row is available.
    bool Step();
    void Reset();
    int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<uint8_t> Blob(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

enum class Durability { Full, Normal };
enum class TransactionKind { Read, Write };

class SqliteStore {
public:
    // fileName is relative to the data folder; schema is run once per opening.
    SqliteStore(std::string fileName, std::string schema, Durability durability);
    ~SqliteStore();
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    // Runs body inside one transaction (committed when body returns, rolled
    // back when it throws). Throws SqliteError when the store cannot be used.
    void Run(TransactionKind kind, const std::function<void(sqlite3*)>& body);

    // The full path of the database file in the current data folder.
    std::string Path() const;

private:
    void OpenIfNeeded();
    void Close();

    std::mutex m_mutex;
    std::string m_fileName;
    std::string m_schema;
    Durability m_durability;
    sqlite3* m_db = nullptr;
    std::string m_openPath;
    long m_openPid = 0;
};

// Executes one or more statements without results.
void SqliteExec(sqlite3* db, const char* sql);

}  // namespace tarvo::platform
