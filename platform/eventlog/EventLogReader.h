// EventLogReader.h --- reading the records of the application event log, oldest first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

// One record as ReportEventA wrote it. Times are seconds since 1970-01-01 UTC.
struct EventRecord {
    DWORD recordNumber = 0;
    int64_t timeGenerated = 0;
    int64_t timeWritten = 0;
    std::string source;
    std::string computerName;
    DWORD eventId = 0;
    WORD eventType = 0;
    WORD category = 0;
    std::string userSid;  // text form, empty when none was given
    std::vector<std::string> strings;
    std::vector<BYTE> data;
};

// Which records to read: all of one source (case-insensitive) and/or of one
// type; last > 0 keeps only the newest `last` of those.
struct EventFilter {
    std::string source;
    std::optional<WORD> eventType;
    size_t last = 0;
};

// Reads the matching records, oldest first. Answers false with a readable
// reason in error when the log cannot be read (a damaged file, say); a log
// that does not exist yet reads as empty.
bool ReadEventLog(const EventFilter& filter, std::vector<EventRecord>& records, std::string& error);

}  // namespace tarvo::platform
