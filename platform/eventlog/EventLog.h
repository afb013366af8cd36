// EventLog.h --- the application event log over our SQLite store ($TARVO_HOME/eventlog.db).
//
// RegisterEventSourceA/ReportEventA/DeregisterEventSource append records shared
// by all processes. Texts are not stored: a reader formats each record with the
// message file registered for its source (EventMessageFile, see MessageFile.h).
#pragma once

#include <string>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct EventSourceObject;
using HEVENTLOG = EventSourceObject*;
using PSID = void*;

constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;

// serverName must be null or the local computer. Answers null on failure.
HEVENTLOG RegisterEventSourceA(const char* serverName, const char* sourceName);
BOOL ReportEventA(HEVENTLOG eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, const char** strings, void* rawData);
BOOL DeregisterEventSource(HEVENTLOG eventLog);

}  // namespace tarvo::platform
