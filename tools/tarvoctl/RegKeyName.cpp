// RegKeyName.cpp --- parsing key names, naming types and reading values for tarvoctl reg.
#include "tools/tarvoctl/RegKeyName.h"

#include <cstdio>

#include "platform/registry/RegistryDetail.h"

namespace tarvo::tools {

using namespace tarvo::platform;

RegKeyName RegKeyName::Child(const std::string& name) const {
    RegKeyName child = *this;
    child.subKey = subKey.empty() ? name : subKey + "\\" + name;
    return child;
}

bool ParseRegKeyName(const std::string& text, RegKeyName& out) {
    size_t slash = text.find('\\');
    std::string root = RegistryFold(text.substr(0, slash));
    if (root == "hkcu" || root == "hkey_current_user") {
        out.root = HKEY_CURRENT_USER;
        out.rootName = "HKEY_CURRENT_USER";
    } else if (root == "hklm" || root == "hkey_local_machine") {
        out.root = HKEY_LOCAL_MACHINE;
        out.rootName = "HKEY_LOCAL_MACHINE";
    } else {
        return false;
    }
    out.subKey = slash == std::string::npos ? "" : text.substr(slash + 1);
    while (!out.subKey.empty() && out.subKey.back() == '\\') {
        out.subKey.pop_back();
    }
    return out.subKey.empty() || out.subKey.front() != '\\';
}

namespace {
struct TypeName {
    DWORD type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {11, "REG_QWORD"}};
}  // namespace

bool ParseRegType(const std::string& name, DWORD& type) {
    for (const auto& row : kTypeNames) {
        if (RegistryFold(name) == RegistryFold(row.name)) {
            type = row.type;
            return true;
        }
    }
    return false;
}

std::string RegTypeName(DWORD type) {
    for (const auto& row : kTypeNames) {
        if (row.type == type) {
            return row.name;
        }
    }
    char text[32];
    std::snprintf(text, sizeof(text), "REG_0x%X", type);
    return text;
}

std::string FormatRegData(DWORD type, const std::vector<BYTE>& data) {
    std::string bytes(data.begin(), data.end());
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        return bytes.substr(0, bytes.find('\0'));
    }
    if (type == REG_MULTI_SZ) {
        std::string out;
        size_t start = 0;
        while (start < bytes.size() && bytes[start] != '\0') {
            size_t end = bytes.find('\0', start);
            if (!out.empty()) {
                out += "\\0";
            }
            out += bytes.substr(start, end == std::string::npos ? end : end - start);
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        return out;
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
        char text[16];
        std::snprintf(text, sizeof(text), "0x%x", value);
        return text;
    }
    std::string out;
    for (BYTE b : data) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%02X", b);
        out += hex;
    }
    return out;
}

LSTATUS ReadRegValue(HKEY key, const std::string& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        data.resize(size);
        status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            break;
        }
    }
    return status;
}

LSTATUS ListSubKeys(HKEY key, std::vector<std::string>& names) {
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof(name);
        LSTATUS status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names.emplace_back(name, size);
    }
}

LSTATUS ListValueNames(HKEY key, std::vector<std::string>& names) {
    std::vector<char> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD size = static_cast<DWORD>(name.size());
        LSTATUS status = RegEnumValueA(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names.emplace_back(name.data(), size);
    }
}

}  // namespace tarvo::tools
