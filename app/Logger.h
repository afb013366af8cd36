// Logger.h --- the one logger: event log, message boxes, ask box, status report and message log.
//
// Report decides from the identifier, the settings and the program's state where
// a message goes. Callable from the UI thread and from workers. Insertion strings
// are data: they are never used as format strings.
#pragma once

#include <cstdint>

namespace tarvo::app {

using MessageId = uint32_t;

// Up to six insertion strings; they count up to the first null. Answers the
// box's result, the row's logged return value, 0 when nothing was shown, or -1
// for an identifier the message table lacks.
int Report(MessageId id, const char* s1 = nullptr, const char* s2 = nullptr, const char* s3 = nullptr,
           const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr);

}  // namespace tarvo::app
