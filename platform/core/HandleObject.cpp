// HandleObject.cpp --- the process-wide handle table behind CloseHandle and WaitForSingleObject.
#include "platform/core/HandleObject.h"

#include <mutex>
#include <unordered_map>

namespace tarvo::platform {

namespace {
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HandleObject*, std::shared_ptr<HandleObject>> objects;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // never destroyed: handles may close during exit
    return *table;
}
}  // namespace

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object) {
    if (!object) {
        return INVALID_HANDLE_VALUE;
    }
    HandleObject* key = object.get();
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    table.objects.emplace(key, std::move(object));
    return key;
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(handle);
    return it == table.objects.end() ? nullptr : it->second;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<HandleObject> object;
    {
        auto& table = Table();
        std::lock_guard lock(table.mutex);
        auto it = handle == nullptr ? table.objects.end() : table.objects.find(handle);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    object->OnClose();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = LookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}

}  // namespace tarvo::platform
