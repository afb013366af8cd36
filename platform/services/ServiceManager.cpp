// ServiceManager.cpp --- the service control manager over registry configuration and detached processes.
#include "platform/services/ServiceManager.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/process/CommandLine.h"
#include "platform/process/Mutex.h"
#include "platform/process/PathResolver.h"
#include "platform/services/AtInfo.h"
#include "platform/services/ComputerName.h"
#include "platform/services/ServiceConfig.h"
#include "platform/services/ServiceRuntime.h"

namespace tarvo::platform {

struct ScHandleObject {
    static constexpr DWORD kMagic = 0x5343484E;  // guards against stale or foreign pointers
    DWORD magic = kMagic;
    bool isService = false;
    std::string name;
};

namespace {

constexpr DWORD kWaitHintMs = 250;
constexpr auto kStartTimeout = std::chrono::seconds(15);

ScHandleObject* Service(SC_HANDLE handle) {
    if (handle == nullptr || handle->magic != ScHandleObject::kMagic || !handle->isService) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return handle;
}

void FillStatus(const ServiceConfig& config, const ServiceRuntimeState& runtime, SERVICE_STATUS* status) {
    std::memset(status, 0, sizeof *status);
    status->dwServiceType = config.type;
    status->dwCurrentState = runtime.state;
    status->dwControlsAccepted = runtime.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    bool pending = runtime.state == SERVICE_START_PENDING || runtime.state == SERVICE_STOP_PENDING;
    status->dwWaitHint = pending ? kWaitHintMs : 0;
}

// Starts the program detached (new session, parent init) with its output in
// run/<name>.log; answers the service process id, or 0.
pid_t LaunchDetached(const std::string& program, const std::vector<std::string>& args, const std::string& log) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return 0;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return 0;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        pid_t service = ::fork();
        if (service != 0) {
            ::write(pipeFds[1], &service, sizeof service);
            ::_exit(0);
        }
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(in, 0);
        ::dup2(out >= 0 ? out : in, 1);
        ::dup2(out >= 0 ? out : in, 2);
        ::close_range(3, ~0U, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    pid_t service = 0;
    if (::read(pipeFds[0], &service, sizeof service) != sizeof service) {
        service = 0;
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return service;
}

}  // namespace

SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD) {
    if (machineName != nullptr && !IsLocalServerName(machineName)) {
        SetLastError(ERROR_BAD_NETPATH);
        return nullptr;
    }
    if (databaseName != nullptr && !EqualsIgnoreCase(databaseName, "ServicesActive")) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    return new ScHandleObject;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD) {
    if (manager == nullptr || manager->magic != ScHandleObject::kMagic || manager->isService) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ServiceConfig config;
    if (serviceName == nullptr || *serviceName == '\0' || std::strpbrk(serviceName, "\\/") != nullptr ||
        !LoadServiceConfig(serviceName, config)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    auto* handle = new ScHandleObject;
    handle->isService = true;
    handle->name = EqualsIgnoreCase(serviceName, kScheduleServiceName) ? kScheduleServiceName : serviceName;
    return handle;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (handle == nullptr || handle->magic != ScHandleObject::kMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    handle->magic = 0;
    delete handle;
    return TRUE;
}

BOOL QueryServiceConfigA(SC_HANDLE handle, QUERY_SERVICE_CONFIGA* config, DWORD bufSize, DWORD* bytesNeeded) {
    auto* service = Service(handle);
    if (service == nullptr || bytesNeeded == nullptr) {
        if (service != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
        }
        return FALSE;
    }
    ServiceConfig values;
    if (!LoadServiceConfig(service->name, values)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    // Strings after the structure: path, group, dependencies (double-terminated), account, display name.
    std::string strings = values.imagePath + '\0' + '\0' + '\0' + '\0' + values.objectName + '\0' +
                          values.displayName + '\0';
    DWORD needed = static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA) + strings.size());
    *bytesNeeded = needed;
    if (config == nullptr || bufSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* text = reinterpret_cast<char*>(config + 1);
    std::memcpy(text, strings.data(), strings.size());
    config->dwServiceType = values.type;
    config->dwStartType = values.start;
    config->dwErrorControl = values.errorControl;
    config->dwTagId = 0;
    config->lpBinaryPathName = text;
    text += values.imagePath.size() + 1;
    config->lpLoadOrderGroup = text;
    text += 1;
    config->lpDependencies = text;
    text += 2;
    config->lpServiceStartName = text;
    text += values.objectName.size() + 1;
    config->lpDisplayName = text;
    return TRUE;
}

BOOL ChangeServiceConfigA(SC_HANDLE handle, DWORD serviceType, DWORD startType, DWORD errorControl,
                          const char* binaryPathName, const char*, DWORD*, const char*, const char* serviceStartName,
                          const char*, const char* displayName) {
    auto* service = Service(handle);
    if (service == nullptr) {
        return FALSE;
    }
    ServiceConfig config;
    if (!LoadServiceConfig(service->name, config)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    if (serviceType != SERVICE_NO_CHANGE) {
        DWORD base = serviceType & ~SERVICE_INTERACTIVE_PROCESS;
        if (base != SERVICE_WIN32_OWN_PROCESS && base != SERVICE_WIN32_SHARE_PROCESS) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        config.type = serviceType;
    }
    if (startType != SERVICE_NO_CHANGE) {
        if (startType < SERVICE_AUTO_START || startType > SERVICE_DISABLED) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        config.start = startType;
    }
    if (errorControl != SERVICE_NO_CHANGE) {
        config.errorControl = errorControl;
    }
    if (binaryPathName != nullptr) {
        if (*binaryPathName == '\0') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        config.imagePath = binaryPathName;
    }
    if (serviceStartName != nullptr) {
        config.objectName = serviceStartName;
    }
    if (displayName != nullptr) {
        config.displayName = displayName;
    }
    if (!SaveServiceConfig(service->name, config)) {
        SetLastError(ERROR_CANTWRITE);
        return FALSE;
    }
    return TRUE;
}

BOOL StartServiceA(SC_HANDLE handle, DWORD, const char**) {
    auto* service = Service(handle);
    if (service == nullptr) {
        return FALSE;
    }
    ServiceConfig config;
    if (!LoadServiceConfig(service->name, config)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    if (config.start == SERVICE_DISABLED) {
        SetLastError(ERROR_SERVICE_DISABLED);
        return FALSE;
    }
    if (ReadServiceRuntime(service->name).state != SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    auto words = CommandLineToArgv(config.imagePath);
    auto program = words.empty() ? std::nullopt : ResolveProgramPath(words[0]);
    if (!program) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    words.erase(words.begin());
    ClearServiceRuntime(service->name);
    pid_t pid = LaunchDetached(*program, words, RuntimeFolder() + "/" + service->name + ".log");
    if (pid == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // Answer once the service process has taken its lock, as the system
    // answers once the service has connected.
    auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (ReadServiceRuntime(service->name).state == SERVICE_STOPPED) {
        if (::kill(pid, 0) != 0 || std::chrono::steady_clock::now() > deadline) {
            SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
            return FALSE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
    auto* service = Service(handle);
    if (service == nullptr || status == nullptr) {
        return FALSE;
    }
    ServiceConfig config;
    if (!LoadServiceConfig(service->name, config)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    FillStatus(config, ReadServiceRuntime(service->name), status);
    return TRUE;
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
    auto* service = Service(handle);
    if (service == nullptr || status == nullptr) {
        return FALSE;
    }
    ServiceConfig config;
    if (!LoadServiceConfig(service->name, config)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE) {
        SetLastError(ERROR_INVALID_SERVICE_CONTROL);
        return FALSE;
    }
    ServiceRuntimeState runtime = ReadServiceRuntime(service->name);
    if (runtime.state == SERVICE_STOPPED) {
        FillStatus(config, runtime, status);
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (control == SERVICE_CONTROL_STOP) {
        if (runtime.pid <= 0 || ::kill(runtime.pid, SIGTERM) != 0) {
            SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
            return FALSE;
        }
        runtime.state = SERVICE_STOP_PENDING;
    }
    FillStatus(config, runtime, status);
    return TRUE;
}

}  // namespace tarvo::platform
