// Mutex.h --- named mutexes shared by all our processes, as lock files in $TARVO_HOME/run.
//
// CreateMutexA opens or creates a mutex by name; GetLastError() answers
// ERROR_ALREADY_EXISTS when another handle (in any process) holds it open. A
// process that dies releases its handles and ownership (the kernel drops its
// flock locks), so a crash never leaves a mutex held.
#pragma once

#include <string>

#include "platform/core/HandleObject.h"
#include "platform/core/NtTypes.h"

namespace tarvo::platform {

constexpr DWORD WAIT_ABANDONED = 0x00000080;

// Answers a handle (null on failure). Names may hold any characters; the lock
// file name is derived from them safely. initialOwner takes ownership at once
// when it is free; a held mutex is still opened, not owned. WaitForSingleObject
// takes ownership (WAIT_OBJECT_0 or WAIT_TIMEOUT); CloseHandle gives it up.
HANDLE CreateMutexA(void* securityAttributes, BOOL initialOwner, const char* name);

// Gives ownership up; FALSE when the handle did not own it.
BOOL ReleaseMutex(HANDLE mutex);

// The run-time folder $TARVO_HOME/run, created on first use.
std::string RuntimeFolder();

}  // namespace tarvo::platform
