// Priority.h --- process priority classes and thread priorities as nice values, and the idle I/O class.
#pragma once

#include "platform/core/NtTypes.h"
#include "platform/process/Process.h"

namespace tarvo::platform {

constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// The nice value standing for a priority class in creation flags (0 when none is named).
int PriorityClassToNice(DWORD creationFlags);

// Sets the calling process's class (only GetCurrentProcess() is accepted).
// Lowering always works; a raise the user may not make (nice below its
// present value) is kept at the present value and still answers TRUE, since
// the system grants these classes to every user.
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);

// The class last set, or the one matching the present nice value.
DWORD GetPriorityClass(HANDLE process);

// The pseudo handle of the calling thread.
HANDLE GetCurrentThread();

// Sets the calling thread's priority relative to the process class, as a
// per-thread nice value; raises beyond what the user may are kept as they are.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);

enum class IoPriority { Idle, Normal };

// Puts the calling process's disk I/O into the idle class (served only when the
// disk is otherwise idle) or back to the normal best-effort class.
BOOL SetProcessIoPriority(IoPriority priority);

}  // namespace tarvo::platform
