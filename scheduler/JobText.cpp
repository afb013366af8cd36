// JobText.cpp --- describing and validating jobs.
#include "scheduler/JobText.h"

#include <algorithm>
#include <cstdio>

namespace tarvo::scheduler {

namespace {
const char* const kOccurrenceWords[] = {"Today", "Tomorrow", "Every", "Next"};
const char* const kWeekDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
const char* const kSuffixes[] = {"st", "nd", "rd", "th", "th", "th", "th", "th", "th", "th"};

std::string DayText(int16_t code) {
    if (code >= kFirstWeekDayCode && code <= kFirstWeekDayCode + 6) {
        return kWeekDayNames[code - kFirstWeekDayCode];
    }
    int n = code + 1;
    const char* suffix = (n >= 11 && n <= 19) ? "th" : kSuffixes[((n - 1) % 10 + 10) % 10];
    return std::to_string(n) + suffix;
}
}  // namespace

std::string Describe(const Job& job, DescribeFor target) {
    std::string text;
    if (job.occurrence >= Today && job.occurrence <= Next) {
        text = kOccurrenceWords[job.occurrence];
    }
    text += " ";
    for (size_t i = 0; i < job.days.size(); ++i) {
        text += DayText(job.days[i]);
        text += i + 1 < job.days.size() ? ", " : " ";
    }
    char time[48];
    std::snprintf(time, sizeof time, "%s %d:%02d%s", "at", job.hour, job.minute, "h");
    text += time;
    if (target == DescribeFor::Tree && job.logging) {
        char level[32];
        std::snprintf(level, sizeof level, "(LogLevel = %d)", job.logLevel);
        text += std::string(" ") + level;
    }
    return text;
}

std::string Validate(const EditorValues& values, Job& job, time_t now) {
    if (values.occurrence < Today || values.occurrence > Next) {
        return kNoOccurrenceText;
    }
    if (values.occurrence == Today) {
        tm local{};
        localtime_r(&now, &local);
        if (values.hour * 60 + values.minute <= local.tm_hour * 60 + local.tm_min) {
            return kTimeOverText;
        }
    }
    bool withDays = values.occurrence == Every || values.occurrence == Next;
    if (withDays && values.days.empty()) {
        return kNoDayText;
    }
    job.method = values.method;
    job.occurrence = values.occurrence;
    job.days.clear();
    if (withDays) {
        job.days = values.days;
    }
    job.hour = values.hour;
    job.minute = values.minute;
    job.logging = values.loggingEnabled;
    // An enabled log with no level chosen takes level 1, never a /LOG:0 the job list could not read back.
    job.logLevel = values.loggingEnabled ? std::max(values.logLevelIndex, 0) + 1 : 0;
    job.sort = values.method == MethodComplete ? values.sort : SortBySettings;
    return {};
}

}  // namespace tarvo::scheduler
