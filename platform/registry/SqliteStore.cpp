// SqliteStore.cpp --- opening, reopening and transactions of the shared SQLite databases.
#include "platform/registry/SqliteStore.h"

#include <unistd.h>

#include "platform/core/TarvoHome.h"

namespace tarvo::platform {

namespace {
[[noreturn]] void Throw(sqlite3* db, int code, const std::string& context) {
    std::string message = context + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    throw SqliteError(code, message);
}
}  // namespace

bool SqliteError::IsDamaged() const {
    int primary = m_code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : m_db(db) {
    int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        Throw(db, rc, "prepare");
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
    int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK) {
        Throw(m_db, rc, "bind");
    }
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    int rc = sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) {
        Throw(m_db, rc, "bind");
    }
    return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, const void* data, size_t size) {
    static const char empty = 0;
    int rc = sqlite3_bind_blob64(m_stmt, index, size == 0 ? &empty : data, size, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        Throw(m_db, rc, "bind");
    }
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
    int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK) {
        Throw(m_db, rc, "bind");
    }
    return *this;
}

bool SqliteStatement::Step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    Throw(m_db, rc, "step");
}

void SqliteStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string SqliteStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    int size = sqlite3_column_bytes(m_stmt, column);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), size);
}

std::vector<uint8_t> SqliteStatement::Blob(int column) const {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
    int size = sqlite3_column_bytes(m_stmt, column);
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

void SqliteExec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error != nullptr ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw SqliteError(rc, message);
    }
}

SqliteStore::SqliteStore(std::string fileName, std::string schema, Durability durability)
    : m_fileName(std::move(fileName)), m_schema(std::move(schema)), m_durability(durability) {}

SqliteStore::~SqliteStore() {
    std::lock_guard lock(m_mutex);
    Close();
}

std::string SqliteStore::Path() const {
    return TarvoHomePath(m_fileName);
}

void SqliteStore::Close() {
    // A connection inherited through fork belongs to the parent: leave it alone.
    if (m_db != nullptr && m_openPid == static_cast<long>(getpid())) {
        sqlite3_close_v2(m_db);
    }
    m_db = nullptr;
    m_openPath.clear();
}

void SqliteStore::OpenIfNeeded() {
    std::string path = Path();
    if (m_db != nullptr && path == m_openPath && m_openPid == static_cast<long>(getpid())) {
        return;
    }
    Close();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message =
            "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw SqliteError(rc, message);
    }
    try {
        sqlite3_busy_timeout(db, 10000);
        SqliteExec(db, "PRAGMA journal_mode=WAL");
        SqliteExec(
            db, m_durability == Durability::Full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
        SqliteExec(db, "BEGIN IMMEDIATE");
        try {
            SqliteExec(db, m_schema.c_str());
            SqliteExec(db, "COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    } catch (const SqliteError& e) {
        sqlite3_close_v2(db);
        throw SqliteError(e.Code(), path + ": " + e.what());
    }
    m_db = db;
    m_openPath = path;
    m_openPid = static_cast<long>(getpid());
}

void SqliteStore::Run(TransactionKind kind, const std::function<void(sqlite3*)>& body) {
    std::lock_guard lock(m_mutex);
    OpenIfNeeded();
    try {
        SqliteExec(m_db, kind == TransactionKind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
        try {
            body(m_db);
            SqliteExec(m_db, "COMMIT");
        } catch (...) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    } catch (const SqliteError& e) {
        // A damaged file may be replaced by a good one: open afresh next time.
        if (e.IsDamaged()) {
            Close();
        }
        throw;
    }
}

}  // namespace tarvo::platform
