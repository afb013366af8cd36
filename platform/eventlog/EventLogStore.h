// EventLogStore.h --- the shared SQLite store behind the event log's writer and reader.
#pragma once

#include "platform/registry/SqliteStore.h"

namespace tarvo::platform {

// The process-wide connection to $TARVO_HOME/eventlog.db (table "events").
SqliteStore& EventLogStore();

// Insertion strings are kept as one blob, each text followed by a NUL.
std::vector<uint8_t> PackStrings(const std::vector<std::string>& strings);
std::vector<std::string> UnpackStrings(const std::vector<uint8_t>& packed);

}  // namespace tarvo::platform
