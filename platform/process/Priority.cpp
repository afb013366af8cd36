// Priority.cpp --- priority classes, thread priorities and I/O classes over setpriority and ioprio_set.
#include "platform/process/Priority.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace tarvo::platform {

namespace {

std::atomic<DWORD> g_priorityClass{0};
thread_local int t_threadPriority = THREAD_PRIORITY_NORMAL;

int ClampNice(int nice) { return nice < -20 ? -20 : nice > 19 ? 19 : nice; }

int ClassNice(DWORD priorityClass) {
    switch (priorityClass) {
    case IDLE_PRIORITY_CLASS: return 19;
    case BELOW_NORMAL_PRIORITY_CLASS: return 10;
    case ABOVE_NORMAL_PRIORITY_CLASS: return -5;
    case HIGH_PRIORITY_CLASS: return -10;
    case REALTIME_PRIORITY_CLASS: return -20;
    default: return 0;
    }
}

int ThreadOffset(int priority) {
    switch (priority) {
    case THREAD_PRIORITY_IDLE: return 19;
    case THREAD_PRIORITY_LOWEST: return 4;
    case THREAD_PRIORITY_BELOW_NORMAL: return 2;
    case THREAD_PRIORITY_ABOVE_NORMAL: return -2;
    case THREAD_PRIORITY_HIGHEST: return -4;
    case THREAD_PRIORITY_TIME_CRITICAL: return -20;
    default: return 0;
    }
}

// Sets one nice value (process or thread id); a refused raise keeps the old value.
bool SetNice(id_t who, int nice) {
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, who);
    if (current == -1 && errno != 0) {
        return false;
    }
    if (::setpriority(PRIO_PROCESS, who, ClampNice(nice)) == 0) {
        return true;
    }
    return (errno == EPERM || errno == EACCES) && nice < current;
}

int CurrentBaseNice() {
    DWORD cls = g_priorityClass.load();
    return cls == 0 ? 0 : ClassNice(cls);
}

}  // namespace

int PriorityClassToNice(DWORD creationFlags) {
    for (DWORD cls : {IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                      ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS}) {
        if (creationFlags & cls) {
            return ClassNice(cls);
        }
    }
    return 0;
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (priorityClass) {
    case IDLE_PRIORITY_CLASS: case BELOW_NORMAL_PRIORITY_CLASS: case NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS: case HIGH_PRIORITY_CLASS: case REALTIME_PRIORITY_CLASS: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    // A nice value belongs to one thread on Linux: set it on every thread of the process.
    bool ok = true;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(tasks)) {
            if (entry->d_name[0] != '.') {
                ok = SetNice(static_cast<id_t>(std::strtoul(entry->d_name, nullptr, 10)), ClassNice(priorityClass)) && ok;
            }
        }
        ::closedir(tasks);
    } else {
        ok = SetNice(0, ClassNice(priorityClass));
    }
    if (!ok) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    g_priorityClass = priorityClass;
    return TRUE;
}

DWORD GetPriorityClass(HANDLE process) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (DWORD cls = g_priorityClass.load(); cls != 0) {
        return cls;
    }
    int nice = ::getpriority(PRIO_PROCESS, 0);
    return nice >= 19 ? IDLE_PRIORITY_CLASS : nice > 0 ? BELOW_NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(uintptr_t{0xFFFFFFFE}); }

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread != GetCurrentThread()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (priority) {
    case THREAD_PRIORITY_IDLE: case THREAD_PRIORITY_LOWEST: case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL: case THREAD_PRIORITY_ABOVE_NORMAL: case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    if (!SetNice(tid, CurrentBaseNice() + ThreadOffset(priority))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    t_threadPriority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE thread) {
    return thread == GetCurrentThread() ? t_threadPriority : 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
}

BOOL SetProcessIoPriority(IoPriority priority) {
    constexpr int kWhoProcess = 1;    // IOPRIO_WHO_PROCESS
    constexpr int kClassShift = 13;   // IOPRIO_CLASS_SHIFT
    constexpr int kClassBestEffort = 2;
    constexpr int kClassIdle = 3;
    int value = priority == IoPriority::Idle ? (kClassIdle << kClassShift) : ((kClassBestEffort << kClassShift) | 4);
    if (::syscall(SYS_ioprio_set, kWhoProcess, 0, value) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

}  // namespace tarvo::platform
