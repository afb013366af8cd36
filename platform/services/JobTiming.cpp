// JobTiming.cpp --- next-run computation over mktime and localtime.
#include "platform/services/JobTiming.h"

namespace tarvo::platform {

namespace {
bool Matches(time_t t, int year, int month, int day, int hour, int minute) {
    tm local{};
    localtime_r(&t, &local);
    return local.tm_year == year - 1900 && local.tm_mon == month - 1 && local.tm_mday == day &&
           local.tm_hour == hour && local.tm_min == minute;
}

time_t MakeLocal(int year, int month, int day, int hour, int minute, int second, int isDst) {
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = isDst;
    return mktime(&t);
}
}  // namespace

time_t LocalTimeOnDay(int year, int month, int day, DWORD jobTimeMs) {
    int minutes = static_cast<int>(jobTimeMs / 60000);
    int second = static_cast<int>(jobTimeMs / 1000 % 60);
    int hour = minutes / 60;
    int minute = minutes % 60;
    std::optional<time_t> best;
    for (int dst : {1, 0}) {
        time_t t = MakeLocal(year, month, day, hour, minute, second, dst);
        if (t != -1 && Matches(t, year, month, day, hour, minute) && (!best || t < *best)) {
            best = t;
        }
    }
    if (best) {
        return *best;
    }
    // The clocks skip this time today: the next minute that exists.
    for (int m = minutes + 1; m < 24 * 60; ++m) {
        time_t t = MakeLocal(year, month, day, m / 60, m % 60, 0, -1);
        if (Matches(t, year, month, day, m / 60, m % 60)) {
            return t;
        }
    }
    return MakeLocal(year, month, day + 1, 0, 0, 0, -1);
}

std::optional<time_t> NextRunTime(DWORD jobTimeMs, DWORD daysOfMonth, UCHAR daysOfWeek, time_t after,
                                  FromDay fromDay) {
    tm start{};
    localtime_r(&after, &start);
    bool anyDay = daysOfMonth == 0 && daysOfWeek == 0;
    for (int offset = fromDay == FromDay::Skipped ? 1 : 0; offset < 800; ++offset) {
        // Normalise the calendar day through mktime at noon, away from any clock change.
        tm day{};
        day.tm_year = start.tm_year;
        day.tm_mon = start.tm_mon;
        day.tm_mday = start.tm_mday + offset;
        day.tm_hour = 12;
        day.tm_isdst = -1;
        mktime(&day);
        int weekBit = (day.tm_wday + 6) % 7;  // Monday is bit 0
        bool matches = anyDay || (daysOfWeek & (1u << weekBit)) || (daysOfMonth & (1u << (day.tm_mday - 1)));
        if (!matches) {
            continue;
        }
        time_t t = LocalTimeOnDay(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday, jobTimeMs);
        if (t > after) {
            return t;
        }
    }
    return std::nullopt;
}

bool SameLocalDay(time_t a, time_t b) {
    tm x{};
    tm y{};
    localtime_r(&a, &x);
    localtime_r(&b, &y);
    return x.tm_year == y.tm_year && x.tm_yday == y.tm_yday;
}

}  // namespace tarvo::platform
