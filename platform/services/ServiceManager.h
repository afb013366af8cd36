// ServiceManager.h --- the service control manager: service configuration and start, stop and status.
//
// A service's configuration lives where the system keeps it, under
// HKLM\SYSTEM\CurrentControlSet\Services\<name> (Type, Start, ErrorControl,
// ImagePath, DisplayName, ObjectName). The "Schedule" service is present from
// the start, configured as the system ships it (own process, demand start, not
// interactive). Failures answer FALSE or null and set the last error.
#pragma once

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct ScHandleObject;
using SC_HANDLE = ScHandleObject*;

constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFF;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x00000001;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x00000020;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x00000100;

constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

constexpr DWORD SERVICE_ERROR_NORMAL = 1;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 1;

struct QUERY_SERVICE_CONFIGA {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    char* lpBinaryPathName;
    char* lpLoadOrderGroup;
    DWORD dwTagId;
    char* lpDependencies;
    char* lpServiceStartName;
    char* lpDisplayName;
};

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;  // milliseconds to wait before asking again while pending
};

// machineName null, "" or the local computer (else ERROR_BAD_NETPATH);
// databaseName null or "ServicesActive".
SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD desiredAccess);
// ERROR_SERVICE_DOES_NOT_EXIST for a service without configuration.
SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD desiredAccess);
BOOL CloseServiceHandle(SC_HANDLE handle);

// Two calls: a buffer too small (or null) answers ERROR_INSUFFICIENT_BUFFER
// with the size needed in *bytesNeeded; the strings follow the structure.
BOOL QueryServiceConfigA(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD bufSize, DWORD* bytesNeeded);

// Every DWORD passed as SERVICE_NO_CHANGE and every null string stays as it is.
BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          const char* binaryPathName, const char* loadOrderGroup, DWORD* tagId,
                          const char* dependencies, const char* serviceStartName, const char* password,
                          const char* displayName);

// Launches the service program (its ImagePath, a command line) detached from
// the caller and answers once it reports start pending or running.
BOOL StartServiceA(SC_HANDLE service, DWORD numArgs, const char** args);

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);

// SERVICE_CONTROL_STOP asks a running service to end (status: stop pending);
// SERVICE_CONTROL_INTERROGATE only reports. ERROR_SERVICE_NOT_ACTIVE when stopped.
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);

}  // namespace tarvo::platform
