// ServiceConfig.h --- a service's configuration values in the registry.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr const char* kScheduleServiceName = "Schedule";

struct ServiceConfig {
    DWORD type = 0;
    DWORD start = 0;
    DWORD errorControl = 0;
    std::string imagePath;
    std::string displayName;
    std::string objectName;
};

// Reads the configuration; false when the service has no key (or a value of
// the wrong type). The built-in "Schedule" service is written with its
// shipped configuration the first time it is asked for.
bool LoadServiceConfig(const std::string& name, ServiceConfig& config);

// Writes every value; false on a registry failure.
bool SaveServiceConfig(const std::string& name, const ServiceConfig& config);

// The command that runs the Schedule service: our admin tool beside (or in
// ../bin of) the running program, or $TARVO_BIN_DIR/tarvoctl, with "svc run Schedule".
std::string DefaultScheduleImagePath();

}  // namespace tarvo::platform
