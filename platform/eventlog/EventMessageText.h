// EventMessageText.h --- the text of an event record, from the message file registered for its source.
#pragma once

#include <string>

#include "platform/eventlog/EventLogReader.h"

namespace tarvo::platform {

// The key under HKEY_LOCAL_MACHINE where event sources register their message file.
constexpr const char* kEventLogApplicationKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

// The message file for a source: the paths in its "EventMessageFile" value
// (environment references expanded, ';'-separated), each taken with '\' as '/'
// and, when it does not exist, with ".mc" in place of ".dll"; failing those,
// Messages.mc beside the running program. Empty when nothing exists.
std::string FindMessageFile(const std::string& source);

// The record's message formatted with its insertion strings. When no message
// file or no text for the identifier is found, a line naming the identifier
// and listing the insertion strings.
std::string FormatEventRecord(const EventRecord& record);

}  // namespace tarvo::platform
