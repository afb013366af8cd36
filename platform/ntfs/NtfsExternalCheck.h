// NtfsExternalCheck.h --- the independent judges of an NTFS volume: ntfsresize -i -f and ntfsfix -n.
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

// Runs `argv` (argv[0] looked up in PATH, /usr/sbin and /sbin) with stdout and
// stderr captured; answers the exit status, or -1 when it could not be run.
int RunCapturing(const std::vector<std::string>& argv, std::string& output);

// Where a program is, or "" when it is not installed.
std::string FindProgram(const std::string& name);

// Runs ntfsresize -i -f (cluster accounting over every MFT record) and ntfsfix
// -n (boot sectors, $MFT against $MFTMirr) on the image or device at `path`,
// when installed and `path` names one. Appends a line per judge to `report`;
// answers false when a judge that ran found a fault.
bool RunExternalNtfsChecks(const std::string& path, std::string& report);

}  // namespace tarvo::platform
