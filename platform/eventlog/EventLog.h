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

// RegisterEventSourceA for a server other than this computer.
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;

// serverName must be null, empty or this computer's name. sourceName must be
// a non-empty name without backslashes. Answers null on failure (GetLastError).
HEVENTLOG RegisterEventSourceA(const char* serverName, const char* sourceName);
// Appends one record. userSid is null or the text form of a SID
// ("S-1-5-21-..."), a NUL-terminated string; strings holds numStrings texts
// (a null entry is kept as an empty text); rawData may be null when dataSize
// is 0. Answers FALSE with GetLastError on failure (ERROR_BADDB for a damaged
// log file).
BOOL ReportEventA(HEVENTLOG eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, const char** strings, void* rawData);
// Closes the handle; FALSE with ERROR_INVALID_HANDLE for an unknown one.
BOOL DeregisterEventSource(HEVENTLOG eventLog);

}  // namespace tarvo::platform
