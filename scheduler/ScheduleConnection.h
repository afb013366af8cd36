// ScheduleConnection.h --- the scheduling program's connection to the Schedule service.
//
// Makes sure the service is configured for the desktop, starts automatically
// when the user agrees, and is running; questions go through a CPrompt. Runs
// on the calling (user-interface) thread; service calls block it.
#pragma once

#include <string>

#include "scheduler/Prompt.h"

namespace tarvo::scheduler {

inline constexpr const char* kScheduleServiceName = "Schedule";

inline constexpr const char* kNotInteractiveText =
    "The schedule service is not configured for interaction with the desktop. Without this property set, "
    "scheduling of Tarvo Defrag will not be successful. Press 'OK' to automatically configure the schedule "
    "service or 'Cancel' to abort scheduling.";
inline constexpr const char* kNotAutomaticText =
    "The schedule service does not automatically start when the system is booted. This prevents the execution "
    "of scheduled jobs when not started manually. It is recommended to change to configuration to start the "
    "service automatically. You can do that by clicking on 'Yes'. If you choose 'No', the configuration "
    "remains as is.";
inline constexpr const char* kNotStartedText =
    "The Schedule service is not started. Do you want to start it now? Without this service scheduling is not "
    "possible.";
inline constexpr const char* kStartFailedText =
    "The Schedule service could not be started. Please check your service configuration or ask your "
    "workstation's administrator for help.";

class CScheduleConnection {
public:
    explicit CScheduleConnection(CPrompt& prompt) : m_prompt(prompt) {}

    // "\\" and the local computer's name, built on first use and kept.
    const std::string& ServerName();
    const char16_t* WideServerName();

    // Asks to make the service interactive (required) and automatic (optional)
    // when it is not; false when the configuration cannot be read or changed or
    // the user cancels.
    bool CheckConfiguration();

    // Running unless an enumeration answers "service not started".
    bool IsRunning();

    // Configuration check, then the offer to start it, then the start with its
    // retry question; true when the service runs at the end.
    bool EnsureService();

    // Starts the service and waits while it reports start pending (following
    // its wait hints, 30 seconds at most); true only when it then runs.
    bool StartService();

    CPrompt& Prompt() { return m_prompt; }

private:
    CPrompt& m_prompt;
    std::string m_serverName;
    std::u16string m_wideServerName;
};

}  // namespace tarvo::scheduler
