// JobTiming.h --- when an AT job runs next, on the local calendar with its daylight-saving changes.
#pragma once

#include <ctime>
#include <optional>

#include "platform/services/AtInfo.h"

namespace tarvo::platform {

// The instant of a time of day (ms after midnight) on a local calendar day. A
// time the clocks skip (a spring-forward gap) gives the next minute that
// exists; a time that occurs twice gives its first occurrence.
time_t LocalTimeOnDay(int year, int month, int day, DWORD jobTimeMs);

enum class FromDay { Included, Skipped };

// The first run strictly after `after`: on a day whose week-day bit (bit 0
// Monday) or month-day bit (bit 0 the 1st) is set, or on any day when no bit
// is set. With FromDay::Skipped the local day of `after` is not considered.
// Nothing when no day within the next two years matches.
std::optional<time_t> NextRunTime(DWORD jobTimeMs, DWORD daysOfMonth, UCHAR daysOfWeek, time_t after,
                                  FromDay fromDay = FromDay::Included);

// True when two instants fall on the same local calendar day.
bool SameLocalDay(time_t a, time_t b);

}  // namespace tarvo::platform
