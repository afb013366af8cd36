// Profile.cpp --- the framework's profile functions over HKCU\Software\<key>\<application>\<section>.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"

namespace tarvo::platform {

namespace {

std::mutex g_profileMutex;
std::string g_registryKey;
std::string g_applicationTitle;

// "Software\<key>\<application>", or empty before SetRegistryKey.
std::string ApplicationKeyPath() {
    std::lock_guard lock(g_profileMutex);
    if (g_registryKey.empty() || g_applicationTitle.empty()) {
        return {};
    }
    return "Software\\" + g_registryKey + "\\" + g_applicationTitle;
}

enum class OpenMode { Read, Create };

// Opens the section key; answers null when it is missing (Read) or cannot be made.
HKEY OpenSection(const char* section, OpenMode mode) {
    std::string path = ApplicationKeyPath();
    if (path.empty() || section == nullptr || *section == '\0') {
        return nullptr;
    }
    path += "\\";
    path += section;
    HKEY key = nullptr;
    LSTATUS status = mode == OpenMode::Create
                         ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                         : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    return status == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

void SetRegistryKey(const char* registryKey, const char* applicationTitle) {
    std::lock_guard lock(g_profileMutex);
    g_registryKey = registryKey != nullptr ? registryKey : "";
    g_applicationTitle = applicationTitle != nullptr ? applicationTitle : "";
}

UINT GetProfileInt(const char* section, const char* entry, int defaultValue) {
    HKEY key = OpenSection(section, OpenMode::Read);
    if (key == nullptr) {
        return static_cast<UINT>(defaultValue);
    }
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LSTATUS status = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    // A value of another type (or size) reads as absent.
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) {
        return static_cast<UINT>(defaultValue);
    }
    return value;
}

std::string GetProfileString(const char* section, const char* entry, const char* defaultValue) {
    std::string fallback = defaultValue != nullptr ? defaultValue : "";
    HKEY key = OpenSection(section, OpenMode::Read);
    if (key == nullptr) {
        return fallback;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::vector<BYTE> data;
    LSTATUS status = RegQueryValueExA(key, entry, nullptr, &type, nullptr, &size);
    // The value may grow between the two calls: ask again until it fits.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        data.resize(size);
        status = RegQueryValueExA(key, entry, nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            break;
        }
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return fallback;
    }
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

BOOL WriteProfileInt(const char* section, const char* entry, int value) {
    if (entry == nullptr) {
        return FALSE;
    }
    HKEY key = OpenSection(section, OpenMode::Create);
    if (key == nullptr) {
        return FALSE;
    }
    DWORD data = static_cast<DWORD>(value);
    LSTATUS status =
        RegSetValueExA(key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL WriteProfileString(const char* section, const char* entry, const char* value) {
    // A null entry removes the whole section; a null value removes the entry.
    if (entry == nullptr) {
        std::string path = ApplicationKeyPath();
        if (path.empty() || section == nullptr || *section == '\0') {
            return FALSE;
        }
        path += "\\";
        path += section;
        LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? TRUE : FALSE;
    }
    HKEY key = OpenSection(section, OpenMode::Create);
    if (key == nullptr) {
        return FALSE;
    }
    LSTATUS status;
    if (value == nullptr) {
        status = RegDeleteValueA(key, entry);
        if (status == ERROR_FILE_NOT_FOUND) {
            status = ERROR_SUCCESS;
        }
    } else {
        status = RegSetValueExA(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>(std::strlen(value) + 1));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

}  // namespace tarvo::platform
