// PathResolver.h --- finds the Linux file behind a Windows-style program or folder path.
//
// Names compare case-insensitively, "\" and "/" both separate, "Z:" is the root
// folder (as Wine has it), another drive letter is its $TARVO_HOME/dosdevices
// link when that names a folder, and "/..." is taken as a Linux path. Programs
// may be named with or without their implied ".exe"; a program that cannot be
// found so is looked up under its application-path key in the registry.
#pragma once

#include <optional>
#include <string>

namespace tarvo::platform {

// The registry key (under HKEY_LOCAL_MACHINE) holding one key per program file name.
inline constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// The existing file or folder a Windows-style path names, or nothing. UNC
// paths ("\\server\share") are refused.
std::optional<std::string> ResolveWindowsPath(const std::string& path);

// The executable regular file a Windows-style program path names: as written,
// without a trailing ".exe", or with ".exe" added; a bare name is searched in
// the current folder, then in $PATH. When that fails, the program's key under
// kAppPathsKey gives its full path (default value) or its folder ("Path").
std::optional<std::string> ResolveProgramPath(const std::string& program);

// Case-insensitive comparison of ASCII text, as the system compares names.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace tarvo::platform
