// EventLog.cpp --- event sources and appending records to the shared event log.
#include "platform/eventlog/EventLog.h"

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/eventlog/EventLogStore.h"
#include "platform/registry/RegistryDetail.h"

namespace tarvo::platform {

struct EventSourceObject {
    std::string source;
    std::string computer;
};

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS events(
  record INTEGER PRIMARY KEY AUTOINCREMENT,
  generated INTEGER NOT NULL, written INTEGER NOT NULL,
  source TEXT NOT NULL, computer TEXT NOT NULL,
  event_id INTEGER NOT NULL, type INTEGER NOT NULL, category INTEGER NOT NULL,
  user_sid TEXT NOT NULL, strings BLOB NOT NULL, data BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS events_source ON events(source COLLATE NOCASE);
)sql";

constexpr WORD kMaxStrings = 256;
constexpr DWORD kMaxDataSize = 1u << 20;

std::mutex g_sourceMutex;
std::unordered_set<const EventSourceObject*>& Sources() {
    static std::unordered_set<const EventSourceObject*> sources;
    return sources;
}

bool IsLive(HEVENTLOG eventLog) {
    std::lock_guard lock(g_sourceMutex);
    return eventLog != nullptr && Sources().count(eventLog) != 0;
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) {
        return "localhost";
    }
    return name;
}

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SqliteStore& EventLogStore() {
    static SqliteStore store("eventlog.db", kSchema, Durability::Normal);
    return store;
}

std::vector<uint8_t> PackStrings(const std::vector<std::string>& strings) {
    std::vector<uint8_t> packed;
    for (const auto& text : strings) {
        packed.insert(packed.end(), text.begin(), text.end());
        packed.push_back(0);
    }
    return packed;
}

std::vector<std::string> UnpackStrings(const std::vector<uint8_t>& packed) {
    std::vector<std::string> strings;
    std::string current;
    for (uint8_t byte : packed) {
        if (byte == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(byte);
        }
    }
    if (!current.empty()) {
        strings.push_back(current);  // a blob without its last NUL still yields its text
    }
    return strings;
}

HEVENTLOG RegisterEventSourceA(const char* serverName, const char* sourceName) {
    std::string computer = ComputerName();
    if (serverName != nullptr && *serverName != '\0') {
        std::string server = serverName;
        if (server.rfind("\\\\", 0) == 0) {
            server.erase(0, 2);
        }
        if (RegistryFold(server) != RegistryFold(computer) && server != "." &&
            RegistryFold(server) != "localhost") {
            SetLastError(RPC_S_SERVER_UNAVAILABLE);
            return nullptr;
        }
    }
    if (sourceName == nullptr || *sourceName == '\0' || std::strchr(sourceName, '\\') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* source = new EventSourceObject{sourceName, computer};
    std::lock_guard lock(g_sourceMutex);
    Sources().insert(source);
    return source;
}

BOOL ReportEventA(HEVENTLOG eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, const char** strings, void* rawData) {
    if (!IsLive(eventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (numStrings > kMaxStrings || (numStrings > 0 && strings == nullptr) || dataSize > kMaxDataSize ||
        (dataSize > 0 && rawData == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> texts;
    for (WORD i = 0; i < numStrings; ++i) {
        texts.emplace_back(strings[i] != nullptr ? strings[i] : "");
    }
    std::vector<uint8_t> packed = PackStrings(texts);
    std::string sid = userSid != nullptr ? static_cast<const char*>(userSid) : "";
    int64_t generated = Now();
    try {
        EventLogStore().Run(TransactionKind::Write, [&](sqlite3* db) {
            SqliteStatement insert(db,
                                   "INSERT INTO events(generated, written, source, computer, event_id, type, "
                                   "category, user_sid, strings, data) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
            insert.Bind(1, generated).Bind(2, Now()).Bind(3, eventLog->source).Bind(4, eventLog->computer);
            insert.Bind(5, static_cast<int64_t>(eventId)).Bind(6, type).Bind(7, category).Bind(8, sid);
            insert.BindBlob(9, packed.data(), packed.size()).BindBlob(10, rawData, dataSize);
            insert.Step();
        });
    } catch (const SqliteError& e) {
        SetLastError(e.IsDamaged() ? ERROR_BADDB : ERROR_CANTWRITE);
        return FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

BOOL DeregisterEventSource(HEVENTLOG eventLog) {
    {
        std::lock_guard lock(g_sourceMutex);
        if (eventLog == nullptr || Sources().erase(eventLog) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete eventLog;
    return TRUE;
}

}  // namespace tarvo::platform
