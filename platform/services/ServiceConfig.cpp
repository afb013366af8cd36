// ServiceConfig.cpp --- reading and writing service keys.
#include "platform/services/ServiceConfig.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/process/CommandLine.h"
#include "platform/process/PathResolver.h"
#include "platform/registry/Registry.h"
#include "platform/services/ServiceManager.h"

namespace tarvo::platform {

namespace {
std::string KeyPath(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

bool ReadDword(HKEY key, const char* name, DWORD& value) {
    DWORD type = 0;
    DWORD size = sizeof value;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value;
}

bool ReadString(HKEY key, const char* name, std::string& value) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::string data(size, '\0');
    if (size > 0 &&
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    value = data.substr(0, data.find('\0'));
    return true;
}

bool WriteDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool WriteString(HKEY key, const char* name, DWORD type, const std::string& value) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::string FindAdminTool() {
    if (const char* dir = std::getenv("TARVO_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/tarvoctl";
    }
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "tarvoctl";
    }
    for (auto candidate : {self.parent_path() / "tarvoctl", self.parent_path().parent_path() / "bin" / "tarvoctl"}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return "tarvoctl";
}
}  // namespace

std::string DefaultScheduleImagePath() { return QuoteArgument(FindAdminTool()) + " svc run Schedule"; }

bool LoadServiceConfig(const std::string& name, ServiceConfig& config) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        if (!EqualsIgnoreCase(name, kScheduleServiceName)) {
            return false;
        }
        ServiceConfig shipped;
        shipped.type = SERVICE_WIN32_OWN_PROCESS;
        shipped.start = SERVICE_DEMAND_START;
        shipped.errorControl = SERVICE_ERROR_NORMAL;
        shipped.imagePath = DefaultScheduleImagePath();
        shipped.displayName = "Schedule";
        shipped.objectName = "LocalSystem";
        if (!SaveServiceConfig(kScheduleServiceName, shipped)) {
            return false;
        }
        config = shipped;
        return true;
    }
    ServiceConfig read;
    bool ok = ReadDword(key, "Type", read.type) && ReadDword(key, "Start", read.start) &&
              ReadString(key, "ImagePath", read.imagePath);
    if (!ReadDword(key, "ErrorControl", read.errorControl)) {
        read.errorControl = SERVICE_ERROR_NORMAL;
    }
    if (!ReadString(key, "DisplayName", read.displayName)) {
        read.displayName = name;
    }
    if (!ReadString(key, "ObjectName", read.objectName)) {
        read.objectName = "LocalSystem";
    }
    RegCloseKey(key);
    if (ok) {
        config = read;
    }
    return ok;
}

bool SaveServiceConfig(const std::string& name, const ServiceConfig& config) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = WriteDword(key, "Type", config.type) && WriteDword(key, "Start", config.start) &&
              WriteDword(key, "ErrorControl", config.errorControl) &&
              WriteString(key, "ImagePath", REG_EXPAND_SZ, config.imagePath) &&
              WriteString(key, "DisplayName", REG_SZ, config.displayName) &&
              WriteString(key, "ObjectName", REG_SZ, config.objectName);
    RegCloseKey(key);
    return ok;
}

}  // namespace tarvo::platform
