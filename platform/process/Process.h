// Process.h --- CreateProcessA, TerminateProcess and the process handle, over posix_spawn and signals.
//
// The command line is a Windows command line: its program path goes through
// the resolver (PathResolver.h) and its arguments are split as the system's
// runtime splits them. Process handles are their own type, so CloseHandle and
// WaitForSingleObject are overloads for it. Failures set the last error.
#pragma once

#include <string>
#include <vector>

#include "platform/core/HandleObject.h"
#include "platform/core/NtTypes.h"

namespace tarvo::platform {

constexpr DWORD STILL_ACTIVE = 259;

// Creation flags: priority classes and console/session flags.
constexpr DWORD DEBUG_PROCESS = 0x00000001;
constexpr DWORD DETACHED_PROCESS = 0x00000008;
constexpr DWORD CREATE_NEW_PROCESS_GROUP = 0x00000200;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD IDLE_PRIORITY_CLASS = 0x00000040;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;
constexpr DWORD REALTIME_PRIORITY_CLASS = 0x00000100;
constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;

struct STARTUPINFOA {
    DWORD cb;
    const char* lpDesktop;  // "WinSta0\Default" asks for the user's display
    const char* lpTitle;
    DWORD dwFlags;
    WORD wShowWindow;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    DWORD dwProcessId;
};

// Starts a program. applicationName, when given, is the program path and the
// command line only its words; otherwise the command line's first word is the
// program (an unquoted path with blanks is tried word by word, as the system
// does). environment is null (inherit) or a block "A=1\0B=2\0\0". The priority
// class flag sets the child's nice value; DETACHED_PROCESS starts a new session.
// Answers FALSE with ERROR_FILE_NOT_FOUND when the program cannot be resolved.
BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment,
                    const char* currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation);

// Ends the process with SIGKILL; its exit code then reads as exitCode.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

// STILL_ACTIVE while it runs; else its exit status (128 + signal when a signal ended it).
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

DWORD GetProcessId(HANDLE process);

// The pseudo handle of the calling process (for the priority-class calls).
// WaitForSingleObject on a process handle answers WAIT_OBJECT_0 once it ended;
// CloseHandle of a running child reaps it later, never leaving a zombie.
HANDLE GetCurrentProcess();

// Builds an environment block from "NAME=VALUE" strings.
std::string MakeEnvironmentBlock(const std::vector<std::string>& variables);

}  // namespace tarvo::platform
