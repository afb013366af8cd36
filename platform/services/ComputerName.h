// ComputerName.h --- the local computer's name, and which server names stand for it.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// The host name in upper case, cut at the first dot and at 15 characters. On a
// buffer too small answers FALSE with ERROR_BUFFER_OVERFLOW and the needed size.
BOOL GetComputerNameA(char* buffer, DWORD* size);

// True for null, "", the computer's name with or without leading "\\", and "localhost".
bool IsLocalServerName(const std::string& server);

}  // namespace tarvo::platform
