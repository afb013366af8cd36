// ScheduleConnection.cpp --- configuring, checking and starting the Schedule service.
#include "scheduler/ScheduleConnection.h"

#include <chrono>
#include <thread>
#include <vector>

#include "platform/services/ComputerName.h"
#include "platform/services/NetSchedule.h"
#include "platform/services/ServiceManager.h"

namespace tarvo::scheduler {

using namespace tarvo::platform;

namespace {
constexpr auto kStartLimit = std::chrono::seconds(30);

// Both handles of one open service, closed together.
struct OpenService {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    OpenService(const std::string& server, DWORD) {
        manager = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager != nullptr) {
            service = OpenServiceA(manager, kScheduleServiceName, SERVICE_ALL_ACCESS);
        }
    }
    ~OpenService() {
        if (service != nullptr) {
            CloseServiceHandle(service);
        }
        if (manager != nullptr) {
            CloseServiceHandle(manager);
        }
    }
    explicit operator bool() const { return service != nullptr; }
};
}  // namespace

const std::string& CScheduleConnection::ServerName() {
    if (m_serverName.empty()) {
        char name[17] = {};
        DWORD size = sizeof name;
        GetComputerNameA(name, &size);
        m_serverName = std::string("\\\\") + name;
        m_wideServerName = ToWide(m_serverName);
    }
    return m_serverName;
}

const char16_t* CScheduleConnection::WideServerName() {
    ServerName();
    return m_wideServerName.c_str();
}

bool CScheduleConnection::CheckConfiguration() {
    OpenService open(ServerName(), 0);
    if (!open) {
        return false;
    }
    DWORD needed = 0;
    QueryServiceConfigA(open.service, nullptr, 0, &needed);
    if (needed < sizeof(QUERY_SERVICE_CONFIGA)) {
        return false;
    }
    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(open.service, config, needed, &needed)) {
        return false;
    }
    if (!(config->dwServiceType & SERVICE_INTERACTIVE_PROCESS)) {
        if (m_prompt.Ask(kNotInteractiveText, PromptButtons::OkCancel, PromptIcon::Warning) != PromptAnswer::Ok) {
            return false;
        }
        if (!ChangeServiceConfigA(open.service, config->dwServiceType | SERVICE_INTERACTIVE_PROCESS,
                                  SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr)) {
            return false;
        }
    }
    if (config->dwStartType != SERVICE_AUTO_START &&
        m_prompt.Ask(kNotAutomaticText, PromptButtons::YesNo, PromptIcon::Warning) == PromptAnswer::Yes) {
        if (!ChangeServiceConfigA(open.service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return false;
        }
    }
    return true;
}

bool CScheduleConnection::IsRunning() {
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    DWORD resume = 0;
    NET_API_STATUS status =
        NetScheduleJobEnum(WideServerName(), &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (buffer != nullptr) {
        NetApiBufferFree(buffer);
    }
    return status != NERR_ServiceNotInstalled;
}

bool CScheduleConnection::StartService() {
    OpenService open(ServerName(), 0);
    if (!open) {
        return false;
    }
    if (!StartServiceA(open.service, 0, nullptr)) {
        return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
    }
    auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    SERVICE_STATUS status{};
    while (true) {
        if (!QueryServiceStatus(open.service, &status)) {
            return false;
        }
        if (status.dwCurrentState != SERVICE_START_PENDING) {
            // A service that stopped again did not start.
            return status.dwCurrentState == SERVICE_RUNNING;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(status.dwWaitHint));
    }
}

bool CScheduleConnection::EnsureService() {
    if (!CheckConfiguration()) {
        return false;
    }
    if (IsRunning()) {
        return true;
    }
    if (m_prompt.Ask(kNotStartedText, PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes) {
        return false;
    }
    while (!StartService()) {
        if (m_prompt.Ask(kStartFailedText, PromptButtons::RetryCancel, PromptIcon::Error) != PromptAnswer::Retry) {
            return false;
        }
    }
    return true;
}

}  // namespace tarvo::scheduler
