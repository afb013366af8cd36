// MessageIds.h --- the message identifiers the volume layer reports through the logger.
#pragma once

#include "app/Logger.h"

namespace tarvo::volume {

// Internal diagnostic (information); the insertion string is a short literal.
constexpr app::MessageId kMsgDiagnostic = 0x40024001;
// Internal error; the insertion string names what failed.
constexpr app::MessageId kMsgInternalError = 0xC0024002;
// Warning: a file's extents could not be read; the insertion string is its path.
constexpr app::MessageId kMsgCannotReadExtents = 0x80021011;

}  // namespace tarvo::volume
