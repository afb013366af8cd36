// RegistryValues.cpp --- ReadString, WriteString and WriteDword over the registry calls.
#include "app/RegistryValues.h"

#include <vector>

namespace tarvo::app {

using namespace tarvo::platform;

namespace {
bool Succeeded(LSTATUS status) {
    return status == static_cast<LSTATUS>(ERROR_SUCCESS);
}
}  // namespace

std::string ReadString(HKEY root, const char* subKey, const char* name) {
    HKEY key = nullptr;
    if (!Succeeded(RegCreateKeyA(root, subKey, &key)))
        return {};
    std::string result;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (Succeeded(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size)) &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::vector<BYTE> data(size + 1, 0);
        DWORD got = size;
        if (Succeeded(RegQueryValueExA(key, name, nullptr, &type, data.data(), &got)) &&
            (type == REG_SZ || type == REG_EXPAND_SZ)) {
            // Stop at the first terminator; a value stored without one ends at its size.
            size_t length = 0;
            while (length < got && data[length] != 0) ++length;
            result.assign(reinterpret_cast<const char*>(data.data()), length);
        }
    }
    RegCloseKey(key);
    return result;
}

BOOL WriteString(HKEY root, const char* subKey, const char* name, const std::string& text) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!Succeeded(RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                   &key, &disposition)))
        return FALSE;
    LSTATUS status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                    static_cast<DWORD>(text.size()));
    RegCloseKey(key);
    return Succeeded(status) ? TRUE : FALSE;
}

BOOL WriteDword(HKEY root, const char* subKey, const char* name, DWORD value) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!Succeeded(RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                   &key, &disposition)))
        return FALSE;
    LSTATUS status =
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
    return Succeeded(status) ? TRUE : FALSE;
}

}  // namespace tarvo::app
