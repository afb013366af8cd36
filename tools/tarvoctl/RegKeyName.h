// RegKeyName.h --- registry key names as tarvoctl reg takes them ("HKCU\Software\...") and shows them.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/Registry.h"

namespace tarvo::tools {

struct RegKeyName {
    platform::HKEY root = nullptr;
    std::string rootName;  // "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE"
    std::string subKey;    // below the root, without leading or trailing backslashes; "" for the root

    std::string FullName() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
    RegKeyName Child(const std::string& name) const;
};

// Parses "HKCU\A\B", "HKEY_LOCAL_MACHINE\A" (root names case-insensitive).
// Answers false for other roots and remote names ("\\HOST\...").
bool ParseRegKeyName(const std::string& text, RegKeyName& out);

// The value types by name ("REG_SZ") and back; unknown names answer false.
bool ParseRegType(const std::string& name, platform::DWORD& type);
std::string RegTypeName(platform::DWORD type);

// A value's data as reg query shows it: strings as they are, REG_MULTI_SZ
// joined with "\0", REG_DWORD as 0x hex, anything else as hex digits.
std::string FormatRegData(platform::DWORD type, const std::vector<platform::BYTE>& data);

// Reads a value by the two-call protocol; answers the Win32 status.
platform::LSTATUS ReadRegValue(platform::HKEY key, const std::string& name, platform::DWORD& type,
                               std::vector<platform::BYTE>& data);

// The names of a key's subkeys and values, in enumeration order.
platform::LSTATUS ListSubKeys(platform::HKEY key, std::vector<std::string>& names);
platform::LSTATUS ListValueNames(platform::HKEY key, std::vector<std::string>& names);

}  // namespace tarvo::tools
