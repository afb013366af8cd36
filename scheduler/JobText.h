// JobText.h --- a job's one-line description and the checks of the job editor.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "scheduler/Job.h"

namespace tarvo::scheduler {

enum class DescribeFor { List, Tree };

// "Every Monday, Friday at 3:05h", with " (LogLevel = 2)" for the job tree while logging is on.
std::string Describe(const Job& job, DescribeFor target);

// What the job editor holds when it is confirmed.
struct EditorValues {
    int16_t method = MethodSpace;
    int16_t occurrence = OccurrenceNone;
    std::vector<int16_t> days;
    uint16_t hour = 0;
    uint16_t minute = 0;
    bool loggingEnabled = false;
    int logLevelIndex = -1;  // chosen entry of the level list; level = index + 1
    int32_t sort = SortBySettings;
};

// Checks the editor's values against the present time (the Schedule clock);
// answers the message to show (the editor stays open), or "" after copying
// the values into the job.
std::string Validate(const EditorValues& values, Job& job, time_t now);

// Texts of the string table used here.
inline constexpr const char* kNoOccurrenceText = "You have to select at least one occurence option.";
inline constexpr const char* kTimeOverText =
    "The time you have choosen for your job is already over. Please  choose a later point of time or a "
    "different occurence for the job.";
inline constexpr const char* kNoDayText = "You have to select at least one day to schedule the command.";

}  // namespace tarvo::scheduler
