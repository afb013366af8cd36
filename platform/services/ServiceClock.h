// ServiceClock.h --- the wall clock the Schedule service and its clients go by, movable for tests.
//
// TARVO_CLOCK_OFFSET (seconds, may be negative) moves the clock; TARVO_CLOCK_FREEZE
// (seconds since 1970) stops it at one instant. Read on every call.
#pragma once

#include <ctime>

namespace tarvo::platform {

// The present time in seconds since 1970 (UTC), as the service sees it.
time_t ScheduleNow();

}  // namespace tarvo::platform
