// RegistryValues.h --- direct registry reads and writes shared by the settings, the logger and system
// integration.
#pragma once

#include <string>

#include "platform/registry/Registry.h"

namespace tarvo::app {

// The REG_SZ/REG_EXPAND_SZ value `name` of root\subKey (the key is opened or
// created with RegCreateKeyA); empty when anything fails or the type is not a string.
std::string ReadString(platform::HKEY root, const char* subKey, const char* name);

// Writes `text` as REG_SZ (its length without terminator) under root\subKey,
// creating the key with KEY_ALL_ACCESS. Answers 1 on success.
platform::BOOL WriteString(platform::HKEY root, const char* subKey, const char* name,
                           const std::string& text);

// Writes `value` as REG_DWORD under root\subKey, creating the key. Answers 1 on success.
platform::BOOL WriteDword(platform::HKEY root, const char* subKey, const char* name, platform::DWORD value);

}  // namespace tarvo::app
