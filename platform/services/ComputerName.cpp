// ComputerName.cpp --- GetComputerNameA over the host name.
#include "platform/services/ComputerName.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "platform/process/PathResolver.h"

namespace tarvo::platform {

namespace {
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;

std::string ComputerName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::strcpy(host, "LOCALHOST");
    }
    std::string name = host;
    name = name.substr(0, name.find('.'));
    name = name.substr(0, MAX_COMPUTERNAME_LENGTH);
    for (auto& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}
}  // namespace

BOOL GetComputerNameA(char* buffer, DWORD* size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = ComputerName();
    if (buffer == nullptr || *size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

bool IsLocalServerName(const std::string& server) {
    std::string name = server;
    if (name.rfind("\\\\", 0) == 0) {
        name = name.substr(2);
    }
    return name.empty() || EqualsIgnoreCase(name, ComputerName()) || EqualsIgnoreCase(name, "localhost");
}

}  // namespace tarvo::platform
