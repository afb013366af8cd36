// Registry.cpp --- the Win32 registry calls over the SQLite store: keys, values and enumeration.
#include "platform/registry/Registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "platform/registry/RegistryDetail.h"
#include "platform/registry/SqliteStore.h"

namespace tarvo::platform {

struct RegistryKeyObject {
    int64_t rootId;
    std::vector<std::string> path;  // components below the root, as the caller spelled them
    REGSAM access;
};

namespace {
RegistryKeyObject g_currentUser{1, {}, KEY_ALL_ACCESS};
RegistryKeyObject g_localMachine{2, {}, KEY_ALL_ACCESS};
}  // namespace

HKEY const HKEY_CURRENT_USER = &g_currentUser;
HKEY const HKEY_LOCAL_MACHINE = &g_localMachine;

namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 16u << 20;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,
  UNIQUE(key, folded));
INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES
  (1, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'), (2, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
)sql";

SqliteStore& Store() {
    static SqliteStore store("registry.db", kSchema, Durability::Full);
    return store;
}

// Live handles, so that a stale or foreign pointer answers ERROR_INVALID_HANDLE.
std::mutex g_handleMutex;
std::unordered_set<const RegistryKeyObject*>& Handles() {
    static std::unordered_set<const RegistryKeyObject*> handles;
    return handles;
}

thread_local std::string t_errorDetail;

// Thrown inside a transaction to roll it back and answer a Win32 code.
struct RegFailure {
    LSTATUS code;
};

bool IsValid(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        return true;
    }
    std::lock_guard lock(g_handleMutex);
    return key != nullptr && Handles().count(key) != 0;
}

template <typename Body>
LSTATUS Guard(TransactionKind kind, Body&& body) {
    try {
        Store().Run(kind, [&](sqlite3* db) { body(db); });
        return ERROR_SUCCESS;
    } catch (const RegFailure& failure) {
        return failure.code;
    } catch (const SqliteError& e) {
        t_errorDetail = e.what();
        int primary = e.Code() & 0xFF;
        if (e.IsDamaged()) {
            return ERROR_BADDB;
        }
        if (primary == SQLITE_CANTOPEN) {
            return ERROR_CANTOPEN;
        }
        return kind == TransactionKind::Write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Splits "A\B\C" into its components; empty components are skipped.
bool SplitSubKey(const char* subKey, std::vector<std::string>& out) {
    if (subKey == nullptr) {
        return true;
    }
    std::string component;
    for (const char* p = subKey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (component.size() > kMaxKeyNameLength) {
                return false;
            }
            if (!component.empty()) {
                out.push_back(component);
            }
            component.clear();
            if (*p == '\0') {
                return true;
            }
        } else {
            component += *p;
        }
    }
}

int64_t FindChild(sqlite3* db, int64_t parent, const std::string& name) {
    SqliteStatement find(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    find.Bind(1, parent).Bind(2, RegistryFold(name));
    return find.Step() ? find.Int(0) : 0;
}

// The id of key\components, or 0 when some component is missing. A handle whose
// own key vanished fails with ERROR_KEY_DELETED.
int64_t Resolve(sqlite3* db, HKEY key, const std::vector<std::string>& components) {
    int64_t id = key->rootId;
    for (const auto& name : key->path) {
        id = FindChild(db, id, name);
        if (id == 0) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_KEY_DELETED)};
        }
    }
    for (const auto& name : components) {
        id = FindChild(db, id, name);
        if (id == 0) {
            return 0;
        }
    }
    return id;
}

int64_t ResolveExisting(sqlite3* db, HKEY key) {
    return Resolve(db, key, {});
}

HKEY NewHandle(HKEY parent, const std::vector<std::string>& components, REGSAM access) {
    auto* object = new RegistryKeyObject{parent->rootId, parent->path, access};
    object->path.insert(object->path.end(), components.begin(), components.end());
    std::lock_guard lock(g_handleMutex);
    Handles().insert(object);
    return object;
}

LSTATUS CopyOut(const std::vector<uint8_t>& stored, BYTE* data, DWORD* dataSize) {
    DWORD size = static_cast<DWORD>(stored.size());
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = size;
        }
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size != 0) {
        std::memcpy(data, stored.data(), size);
    }
    *dataSize = size;
    return ERROR_SUCCESS;
}

void DeleteTreeBelow(sqlite3* db, int64_t id) {
    std::vector<int64_t> children;
    SqliteStatement list(db, "SELECT id FROM keys WHERE parent = ?");
    list.Bind(1, id);
    while (list.Step()) {
        children.push_back(list.Int(0));
    }
    for (int64_t child : children) {
        DeleteTreeBelow(db, child);
        SqliteStatement(db, "DELETE FROM keys WHERE id = ?").Bind(1, child).Step();
    }
    SqliteStatement(db, "DELETE FROM vals WHERE key = ?").Bind(1, id).Step();
}

}  // namespace

std::string RegistryFold(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

std::string RegistryErrorDetail() {
    return t_errorDetail;
}

std::vector<uint8_t> NormaliseValueData(DWORD type, const BYTE* data, DWORD dataSize) {
    std::vector<uint8_t> stored(data, data + dataSize);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (stored.empty() || stored.back() != 0) {
            stored.push_back(0);
        }
    } else if (type == REG_MULTI_SZ) {
        if (stored.empty() || stored.back() != 0) {
            stored.push_back(0);
        }
        if (stored.size() >= 2 && stored[stored.size() - 2] != 0) {
            stored.push_back(0);
        }
    }
    return stored;
}

LSTATUS RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) {
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, result,
                           nullptr);
}

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM desired, void*,
                        HKEY* result, DWORD* disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> components;
    if (!SplitSubKey(subKey, components)) {
        return ERROR_INVALID_PARAMETER;
    }
    bool created = false;
    LSTATUS status = Guard(TransactionKind::Write, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        for (const auto& name : components) {
            int64_t child = FindChild(db, id, name);
            if (child == 0) {
                SqliteStatement insert(db, "INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
                insert.Bind(1, id).Bind(2, name).Bind(3, RegistryFold(name)).Step();
                child = sqlite3_last_insert_rowid(db);
                created = true;
            }
            id = child;
        }
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *result = NewHandle(key, components, desired);
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM desired, HKEY* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> components;
    if (!SplitSubKey(subKey, components)) {
        return ERROR_INVALID_PARAMETER;
    }
    LSTATUS status = Guard(TransactionKind::Read, [&](sqlite3* db) {
        if (Resolve(db, key, components) == 0) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)};
        }
    });
    if (status == ERROR_SUCCESS) {
        *result = NewHandle(key, components, desired);
    }
    return status;
}

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((key->access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::string name = valueName != nullptr ? valueName : "";
    LSTATUS answer = ERROR_SUCCESS;
    LSTATUS status = Guard(TransactionKind::Read, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        SqliteStatement find(db, "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
        find.Bind(1, id).Bind(2, RegistryFold(name));
        if (!find.Step()) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)};
        }
        if (type != nullptr) {
            *type = static_cast<DWORD>(find.Int(0));
        }
        answer = CopyOut(find.Blob(1), data, dataSize);
    });
    return status != ERROR_SUCCESS ? status : answer;
}

LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((data == nullptr && dataSize != 0) || dataSize > kMaxValueSize ||
        (type == REG_DWORD && dataSize != sizeof(DWORD))) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string name = valueName != nullptr ? valueName : "";
    if (name.size() > kMaxValueNameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((key->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::vector<uint8_t> stored = NormaliseValueData(type, data, dataSize);
    return Guard(TransactionKind::Write, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        SqliteStatement upsert(
            db,
            "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?) "
            "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
        upsert.Bind(1, id).Bind(2, name).Bind(3, RegistryFold(name)).Bind(4, type);
        upsert.BindBlob(5, stored.data(), stored.size()).Step();
    });
}

LSTATUS RegDeleteValueA(HKEY key, const char* valueName) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((key->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::string name = valueName != nullptr ? valueName : "";
    return Guard(TransactionKind::Write, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        SqliteStatement(db, "DELETE FROM vals WHERE key = ? AND folded = ?")
            .Bind(1, id)
            .Bind(2, RegistryFold(name))
            .Step();
        if (sqlite3_changes(db) == 0) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)};
        }
    });
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> components;
    if (!SplitSubKey(subKey, components)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key->path.empty() && components.empty()) {
        return ERROR_ACCESS_DENIED;  // a root key cannot be deleted
    }
    return Guard(TransactionKind::Write, [&](sqlite3* db) {
        int64_t id = Resolve(db, key, components);
        if (id == 0) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)};
        }
        SqliteStatement children(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        if (children.Bind(1, id).Step()) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_ACCESS_DENIED)};
        }
        SqliteStatement(db, "DELETE FROM vals WHERE key = ?").Bind(1, id).Step();
        SqliteStatement(db, "DELETE FROM keys WHERE id = ?").Bind(1, id).Step();
    });
}

LSTATUS RegDeleteTreeA(HKEY key, const char* subKey) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> components;
    if (!SplitSubKey(subKey, components)) {
        return ERROR_INVALID_PARAMETER;
    }
    bool keepKey = subKey == nullptr || components.empty();
    return Guard(TransactionKind::Write, [&](sqlite3* db) {
        int64_t id = Resolve(db, key, components);
        if (id == 0) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)};
        }
        DeleteTreeBelow(db, id);
        if (!keepKey && id > 2) {
            SqliteStatement(db, "DELETE FROM keys WHERE id = ?").Bind(1, id).Step();
        }
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char* className,
                      DWORD* classSize, void* lastWriteTime) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if (name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string found;
    LSTATUS status = Guard(TransactionKind::Read, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        SqliteStatement list(db, "SELECT name FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
        list.Bind(1, id).Bind(2, static_cast<int64_t>(index));
        if (!list.Step()) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)};
        }
        found = list.Text(0);
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (found.size() + 1 > *nameSize) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<DWORD>(found.size());
    if (className != nullptr && classSize != nullptr && *classSize > 0) {
        className[0] = '\0';
    }
    if (classSize != nullptr) {
        *classSize = 0;
    }
    if (lastWriteTime != nullptr) {
        std::memset(lastWriteTime, 0, sizeof(FILETIME));
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD*, DWORD* type,
                      BYTE* data, DWORD* dataSize) {
    if (!IsValid(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if (valueName == nullptr || valueNameSize == nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string found;
    DWORD foundType = REG_NONE;
    std::vector<uint8_t> stored;
    LSTATUS status = Guard(TransactionKind::Read, [&](sqlite3* db) {
        int64_t id = ResolveExisting(db, key);
        SqliteStatement list(
            db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
        list.Bind(1, id).Bind(2, static_cast<int64_t>(index));
        if (!list.Step()) {
            throw RegFailure{static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)};
        }
        found = list.Text(0);
        foundType = static_cast<DWORD>(list.Int(1));
        stored = list.Blob(2);
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (found.size() + 1 > *valueNameSize) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(valueName, found.c_str(), found.size() + 1);
    *valueNameSize = static_cast<DWORD>(found.size());
    if (type != nullptr) {
        *type = foundType;
    }
    return CopyOut(stored, data, dataSize);
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard lock(g_handleMutex);
        if (key == nullptr || Handles().erase(key) == 0) {
            return ERROR_INVALID_HANDLE;
        }
    }
    delete key;
    return ERROR_SUCCESS;
}

}  // namespace tarvo::platform
