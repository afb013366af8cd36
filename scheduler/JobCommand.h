// JobCommand.h --- the defragmenter command line a job writes and reads back, and the defragmenter's path.
#pragma once

#include <optional>
#include <string>

#include "scheduler/Job.h"

namespace tarvo::scheduler {

// The key (under HKEY_LOCAL_MACHINE) whose default value is the defragmenter's program path.
inline constexpr const char* kDefragmenterAppPathKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TarvoDefrag.exe";

// The default value of kDefragmenterAppPathKey (the key is created when
// missing), upper-cased, trailing blanks stripped and its last four characters
// (".EXE") removed when it has at least four. Empty: not installed.
std::string DefragmenterPath();

// "<path> /SPACE:<drive>|/COMPLETE:<drive> [/SORT:...] [/LOG:n]"; nothing for a
// method other than SPACE or COMPLETE.
std::optional<std::string> BuildCommand(const Job& job, const std::string& defragmenterPath);

// Fills method, drive, sort, logging and log level from the job's command (read
// in upper case); false when the command is not one the defragmenter's jobs write.
bool ParseCommand(Job& job);

// True when the command (leading blanks stripped, upper-cased) starts with the path.
bool BelongsToDefragmenter(const std::string& command, const std::string& defragmenterPath);

// ASCII upper case, as the scheduling program compares commands.
std::string UpperCase(std::string text);

}  // namespace tarvo::scheduler
