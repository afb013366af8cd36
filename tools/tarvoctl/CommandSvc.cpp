// CommandSvc.cpp --- `tarvoctl svc`: start, stop, query, configure and run the Schedule service.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/NtTypes.h"
#include "platform/process/PathResolver.h"
#include "platform/services/ScheduleService.h"
#include "platform/services/ServiceManager.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

namespace {

using namespace tarvo::platform;

const char* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    default: return "UNKNOWN";
    }
}

const char* StartName(DWORD start) {
    switch (start) {
    case SERVICE_AUTO_START: return "AUTO_START";
    case SERVICE_DEMAND_START: return "DEMAND_START";
    case SERVICE_DISABLED: return "DISABLED";
    default: return "BOOT_START";
    }
}

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "[SC] %s FAILED %u:\n\n%s\n", what, error, Win32ErrorText(error));
    return 1;
}

// Opens the named service; prints the failure and answers null.
SC_HANDLE Open(const std::string& name, SC_HANDLE& manager) {
    manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        Fail("OpenSCManager", GetLastError());
        return nullptr;
    }
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        Fail("OpenService", GetLastError());
        CloseServiceHandle(manager);
    }
    return service;
}

void PrintStatus(const std::string& name, const SERVICE_STATUS& status) {
    std::printf("SERVICE_NAME: %s\n", name.c_str());
    std::printf("        TYPE               : %x  %s%s\n", status.dwServiceType,
                (status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) ? "WIN32_SHARE_PROCESS" : "WIN32_OWN_PROCESS",
                (status.dwServiceType & SERVICE_INTERACTIVE_PROCESS) ? " (interactive)" : "");
    std::printf("        STATE              : %u  %s\n", status.dwCurrentState, StateName(status.dwCurrentState));
    std::printf("        WAIT_HINT          : 0x%x\n", status.dwWaitHint);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tarvoctl svc start|stop|status|run Schedule\n"
                 "       tarvoctl svc config Schedule [start=auto|demand|disabled] [interact=yes|no]\n");
    return 1;
}

int RunSvc(const Arguments& args) {
    if (args.size() < 2) {
        return Usage();
    }
    const std::string& verb = args[0];
    const std::string& name = args[1];
    if (verb == "run") {
        if (!EqualsIgnoreCase(name, "Schedule")) {
            std::fprintf(stderr, "tarvoctl svc run: only the Schedule service runs here.\n");
            return 1;
        }
        return RunScheduleService();
    }
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = Open(name, manager);
    if (service == nullptr) {
        return 1;
    }
    int rc = 0;
    SERVICE_STATUS status{};
    if (verb == "start" && args.size() == 2) {
        if (!StartServiceA(service, 0, nullptr)) {
            rc = Fail("StartService", GetLastError());
        } else {
            // Follow the wait hints until the service leaves start pending (bounded).
            for (int i = 0; i < 120 && QueryServiceStatus(service, &status) &&
                            status.dwCurrentState == SERVICE_START_PENDING;
                 ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(status.dwWaitHint));
            }
            PrintStatus(name, status);
        }
    } else if (verb == "stop" && args.size() == 2) {
        if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            rc = Fail("ControlService", GetLastError());
        } else {
            for (int i = 0; i < 120 && QueryServiceStatus(service, &status) &&
                            status.dwCurrentState != SERVICE_STOPPED;
                 ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(status.dwWaitHint ? status.dwWaitHint : 100));
            }
            PrintStatus(name, status);
            rc = status.dwCurrentState == SERVICE_STOPPED ? 0 : 1;
        }
    } else if (verb == "status" && args.size() == 2) {
        if (!QueryServiceStatus(service, &status)) {
            rc = Fail("QueryServiceStatus", GetLastError());
        } else {
            PrintStatus(name, status);
        }
    } else if (verb == "config") {
        DWORD start = SERVICE_NO_CHANGE;
        int interact = -1;
        for (size_t i = 2; i < args.size() && rc == 0; ++i) {
            const std::string& a = args[i];
            if (a == "start=auto") start = SERVICE_AUTO_START;
            else if (a == "start=demand") start = SERVICE_DEMAND_START;
            else if (a == "start=disabled") start = SERVICE_DISABLED;
            else if (a == "interact=yes") interact = 1;
            else if (a == "interact=no") interact = 0;
            else rc = Usage();
        }
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (rc == 0 && !QueryServiceConfigA(service, config, needed, &needed)) {
            rc = Fail("QueryServiceConfig", GetLastError());
        }
        if (rc == 0 && (start != SERVICE_NO_CHANGE || interact >= 0)) {
            DWORD type = SERVICE_NO_CHANGE;
            if (interact >= 0) {
                type = interact ? (config->dwServiceType | SERVICE_INTERACTIVE_PROCESS)
                                : (config->dwServiceType & ~SERVICE_INTERACTIVE_PROCESS);
            }
            if (!ChangeServiceConfigA(service, type, start, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr)) {
                rc = Fail("ChangeServiceConfig", GetLastError());
            } else {
                QueryServiceConfigA(service, nullptr, 0, &needed);
                buffer.assign(needed, 0);
                config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
                QueryServiceConfigA(service, config, needed, &needed);
            }
        }
        if (rc == 0) {
            std::printf("SERVICE_NAME: %s\n", name.c_str());
            std::printf("        TYPE               : %x  %s%s\n", config->dwServiceType,
                        (config->dwServiceType & SERVICE_WIN32_SHARE_PROCESS) ? "WIN32_SHARE_PROCESS"
                                                                             : "WIN32_OWN_PROCESS",
                        (config->dwServiceType & SERVICE_INTERACTIVE_PROCESS) ? " (interactive)" : "");
            std::printf("        START_TYPE         : %u   %s\n", config->dwStartType, StartName(config->dwStartType));
            std::printf("        BINARY_PATH_NAME   : %s\n", config->lpBinaryPathName);
            std::printf("        DISPLAY_NAME       : %s\n", config->lpDisplayName);
            std::printf("        SERVICE_START_NAME : %s\n", config->lpServiceStartName);
        }
    } else {
        rc = Usage();
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}

CommandRegistration g_svc{{"svc", "svc start|stop|status|config|run Schedule [start=auto|demand] [interact=yes|no]",
                           "controls the Schedule service that runs the AT jobs", RunSvc}};

}  // namespace
}  // namespace tarvo::tools
