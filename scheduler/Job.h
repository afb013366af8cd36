// Job.h --- one scheduled defragmentation run as the scheduling program sees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::scheduler {

enum Occurrence : int16_t { OccurrenceNone = -1, Today = 0, Tomorrow = 1, Every = 2, Next = 3 };
enum Method : int16_t { MethodUnknown = -1, MethodSpace = 0, MethodComplete = 1 };
enum SortOrder : int32_t { SortBySettings = 0, SortLastModified = 1, SortName = 2 };

// Day codes: 0..30 the days 1..31 of a month, 40..46 Monday..Sunday.
constexpr int16_t kFirstWeekDayCode = 40;

// Keys of listed jobs start above this; the windows tell jobs from drives by it.
constexpr uint32_t kFirstJobKey = 1000;

struct Job {
    uint32_t key = 0;           // local identifier in the job list; 0 until listed
    uint32_t serviceJobId = 0;  // the Schedule service's id
    std::string command;        // as stored in the service (upper-cased when read back)
    uint16_t hour = 0;
    uint16_t minute = 0;
    int16_t occurrence = OccurrenceNone;
    std::vector<int16_t> days;  // in the order they were added
    int16_t method = MethodUnknown;
    int16_t drive = -1;  // 0 all drives, n > 0 the drive 'A' + n, -1 before the command is read
    int32_t sort = SortBySettings;
    bool logging = false;
    int32_t logLevel = 0;   // 1..4 while logging is on
    bool execError = false;  // the service could not start the job's program at its last run
};

}  // namespace tarvo::scheduler
