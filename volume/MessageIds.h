// MessageIds.h --- the messages the volume layer reports, and the one function it reports through.
#pragma once

#include <functional>

#include "app/Logger.h"
#include "app/MessageIds.h"

namespace tarvo::volume {

// Internal diagnostic (information); the insertion string is a short literal.
constexpr app::MessageId kMsgDiagnostic = app::MSG_DIAG_INFO;
// Internal error; the insertion string names what failed.
constexpr app::MessageId kMsgInternalError = app::MSG_DIAG_ERROR;
// Warning: a file's extents could not be read; the insertion string is its path.
constexpr app::MessageId kMsgCannotReadExtents = app::MSG_WAR_EXTENTS_UNREADABLE;

// Reports through the logger (app::Report), after telling the observer, if any.
void VolumeReport(app::MessageId id, const char* s1 = nullptr, const char* s2 = nullptr);

// Sees every report of the volume layer before the logger does (tests, the
// console's verbose mode). Null removes it. Not thread-safe against reports in
// flight: install it before a run starts.
using ReportObserver = std::function<void(app::MessageId id, const char* s1, const char* s2)>;
void SetReportObserver(ReportObserver observer);

}  // namespace tarvo::volume
