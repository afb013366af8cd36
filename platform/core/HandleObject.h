// HandleObject.h --- the objects behind our HANDLE values, and the process-wide handle table.
//
// Every open object of the platform layer (volume, file, search, process, mutex)
// derives from HandleObject and is registered in one table, so that CloseHandle
// and WaitForSingleObject work on all of them and a stale or foreign handle value
// is answered with ERROR_INVALID_HANDLE instead of being dereferenced.
#pragma once

#include <memory>

#include "platform/core/FsctlBuffers.h"
#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct HandleObject {
    virtual ~HandleObject() = default;
    // Waits for the object to be signalled: WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
    // Objects with nothing to wait for are always signalled.
    virtual DWORD Wait(DWORD milliseconds) {
        (void)milliseconds;
        return WAIT_OBJECT_0;
    }
    // Called once by CloseHandle before the object leaves the table (flushes, releases).
    virtual void OnClose() {}
};

// Puts an object into the handle table and answers its handle. Thread-safe.
HANDLE RegisterHandle(std::shared_ptr<HandleObject> object);

// The live object of a handle, or null for a closed, invalid or unknown handle.
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle);

// Typed lookup: null when the handle is unknown or of another kind.
template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes the handle from the table after OnClose. FALSE with ERROR_INVALID_HANDLE
// for an unknown handle. The object itself lives on while another thread uses it.
BOOL CloseHandle(HANDLE handle);

// Waits on any object of the table; WAIT_FAILED with ERROR_INVALID_HANDLE for an unknown handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

}  // namespace tarvo::platform
