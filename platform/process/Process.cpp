// Process.cpp --- processes over posix_spawn: start, wait, exit codes and termination.
#include "platform/process/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/process/CommandLine.h"
#include "platform/process/PathResolver.h"
#include "platform/process/Priority.h"

extern char** environ;

namespace tarvo::platform {

namespace {

std::mutex g_orphansLock;
std::vector<pid_t> g_orphans;  // children whose handle closed while they ran

void ReapOrphans() {
    std::lock_guard guard(g_orphansLock);
    g_orphans.erase(std::remove_if(g_orphans.begin(), g_orphans.end(),
                                   [](pid_t pid) {
                                       int status = 0;
                                       pid_t r = ::waitpid(pid, &status, WNOHANG);
                                       return r == pid || (r < 0 && errno == ECHILD);
                                   }),
                    g_orphans.end());
}

// A child process in the handle table.
struct ProcessObject : HandleObject {
    pid_t pid = 0;
    bool reaped = false;
    bool terminated = false;
    DWORD exitCode = STILL_ACTIVE;
    std::mutex lock;

    // Polls the child once; answers true when it has ended. Caller holds the lock.
    bool PollLocked() {
        if (reaped) {
            return true;
        }
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == 0) {
            return false;
        }
        reaped = true;
        if (r < 0) {
            exitCode = terminated ? exitCode : 1;
        } else if (!terminated) {
            exitCode = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                         : 128 + static_cast<DWORD>(WTERMSIG(status));
        }
        return true;
    }

    DWORD Wait(DWORD milliseconds) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        auto pause = std::chrono::milliseconds(1);
        while (true) {
            {
                std::lock_guard guard(lock);
                if (PollLocked()) {
                    return WAIT_OBJECT_0;
                }
            }
            if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) {
                return WAIT_TIMEOUT;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(20));
        }
    }

    void OnClose() override {
        {
            std::lock_guard guard(lock);
            if (!PollLocked()) {
                std::lock_guard orphans(g_orphansLock);
                g_orphans.push_back(pid);
            }
        }
        ReapOrphans();
    }
};

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(~uintptr_t{0});

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program file and the argument text of a command line without an application name.
std::optional<std::pair<std::string, std::string>> SplitProgram(const std::string& line) {
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) {
        ++start;
    }
    if (start >= line.size()) {
        return std::nullopt;
    }
    if (line[start] == '"') {
        size_t close = line.find('"', start + 1);
        std::string program = line.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
        std::string rest = close == std::string::npos ? "" : line.substr(close + 1);
        auto resolved = ResolveProgramPath(program);
        if (!resolved) {
            return std::nullopt;
        }
        return std::make_pair(*resolved, rest);
    }
    // Unquoted: "C:\Program Files\X\Y.EXE a" is tried as "C:\Program", then
    // "C:\Program Files\X\Y.EXE", and so on up to the whole line.
    size_t end = start;
    while (true) {
        while (end < line.size() && !IsBlank(line[end])) {
            ++end;
        }
        if (auto resolved = ResolveProgramPath(line.substr(start, end - start))) {
            return std::make_pair(*resolved, line.substr(end));
        }
        if (end >= line.size()) {
            return std::nullopt;
        }
        while (end < line.size() && IsBlank(line[end])) {
            ++end;
        }
    }
}

std::vector<std::string> ParseEnvironmentBlock(const char* block) {
    std::vector<std::string> out;
    while (*block != '\0') {
        out.emplace_back(block);
        block += std::strlen(block) + 1;
    }
    return out;
}

}  // namespace

std::string MakeEnvironmentBlock(const std::vector<std::string>& variables) {
    std::string block;
    for (const auto& v : variables) {
        block += v;
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL CreateProcessA(const char* applicationName, char* commandLine, void*, void*, BOOL, DWORD creationFlags,
                    void* environment, const char* currentDirectory, STARTUPINFOA*,
                    PROCESS_INFORMATION* processInformation) {
    ReapOrphans();
    if (processInformation == nullptr || (applicationName == nullptr && commandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string program;
    std::vector<std::string> args;
    if (applicationName != nullptr) {
        auto resolved = ResolveProgramPath(applicationName);
        if (!resolved) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        program = *resolved;
        if (commandLine != nullptr) {
            args = CommandLineToArgv(commandLine);
            if (!args.empty()) {
                args.erase(args.begin());
            }
        }
    } else {
        auto split = SplitProgram(commandLine);
        if (!split) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        program = split->first;
        args = SplitArguments(split->second);
    }
    std::string folder;
    if (currentDirectory != nullptr) {
        auto resolved = ResolveWindowsPath(currentDirectory);
        if (!resolved) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        folder = *resolved;
    }

    std::vector<char*> argv;
    argv.push_back(program.data());
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    char** envArray = environ;
    if (environment != nullptr) {
        envStrings = ParseEnvironmentBlock(static_cast<const char*>(environment));
        for (auto& e : envStrings) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        envArray = envp.data();
    }

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (creationFlags & DETACHED_PROCESS) {
        flags |= POSIX_SPAWN_SETSID;
    } else if (creationFlags & CREATE_NEW_PROCESS_GROUP) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2}) {
        sigaddset(&defaults, s);
    }
    posix_spawnattr_setsigdefault(&attr, &defaults);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envArray);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : rc == EACCES ? ERROR_ACCESS_DENIED : ERROR_BAD_FORMAT);
        return FALSE;
    }
    if (int nice = PriorityClassToNice(creationFlags); nice != 0) {
        // Best effort: raising a priority needs a privilege we may not hold.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice);
    }
    auto object = std::make_shared<ProcessObject>();
    object->pid = pid;
    processInformation->hProcess = RegisterHandle(object);
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    return TRUE;
}

BOOL TerminateProcess(HANDLE handle, UINT exitCode) {
    auto process = LookupHandleAs<ProcessObject>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard guard(process->lock);
    if (process->PollLocked()) {
        SetLastError(ERROR_ACCESS_DENIED);  // as the system answers for an ended process
        return FALSE;
    }
    if (::kill(process->pid, SIGKILL) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    process->terminated = true;
    process->exitCode = exitCode;
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE handle, DWORD* exitCode) {
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (handle == kCurrentProcess) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto process = LookupHandleAs<ProcessObject>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard guard(process->lock);
    process->PollLocked();
    *exitCode = process->exitCode;
    return TRUE;
}

DWORD GetProcessId(HANDLE handle) {
    if (handle == kCurrentProcess) {
        return static_cast<DWORD>(::getpid());
    }
    auto process = LookupHandleAs<ProcessObject>(handle);
    return process ? static_cast<DWORD>(process->pid) : 0;
}

}  // namespace tarvo::platform
