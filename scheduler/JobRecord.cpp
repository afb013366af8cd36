// JobRecord.cpp --- job to AT record and back.
#include "scheduler/JobRecord.h"

#include "scheduler/JobCommand.h"

namespace tarvo::scheduler {

using namespace tarvo::platform;

ServiceRecord ToServiceRecord(const Job& job) {
    ServiceRecord record;
    AT_INFO& info = record.Info();
    info.JobTime = (static_cast<DWORD>(job.hour) * 60 + job.minute) * 60000;
    for (int16_t code : job.days) {
        if (code >= 0 && code <= 30) {
            info.DaysOfMonth |= 1u << code;
        } else if (code >= kFirstWeekDayCode && code <= kFirstWeekDayCode + 6) {
            info.DaysOfWeek |= static_cast<UCHAR>(1u << (code - kFirstWeekDayCode));
        }
    }
    if (job.occurrence == Every) {
        info.Flags = JOB_RUN_PERIODICALLY;
    } else if (job.occurrence == Tomorrow) {
        // No day bits and the service's "not today": reads back as Tomorrow
        // until midnight, and from then on as Today, which it is.
        info.DaysOfMonth = 0;
        info.DaysOfWeek = 0;
        info.Flags = JOB_NOT_TODAY;
    }
    record.SetCommand(ToWide(job.command));
    return record;
}

Job FromServiceRecord(const AT_ENUM& entry) {
    Job job;
    if (entry.Flags & JOB_RUN_PERIODICALLY) {
        job.occurrence = Every;
    } else if (entry.DaysOfMonth != 0 || entry.DaysOfWeek != 0) {
        job.occurrence = Next;
    } else {
        job.occurrence = (entry.Flags & JOB_RUNS_TODAY) ? Today : Tomorrow;
    }
    for (int i = 0; i < 7; ++i) {
        if (entry.DaysOfWeek & (1u << i)) {
            job.days.push_back(static_cast<int16_t>(kFirstWeekDayCode + i));
        }
    }
    for (int i = 0; i < 31; ++i) {
        if (entry.DaysOfMonth & (1u << i)) {
            job.days.push_back(static_cast<int16_t>(i));
        }
    }
    DWORD minutes = entry.JobTime / 60000;
    job.minute = static_cast<uint16_t>(minutes % 60);
    job.hour = static_cast<uint16_t>(minutes / 60);
    job.command = UpperCase(FromWide(entry.Command));
    job.serviceJobId = entry.JobId;
    job.execError = (entry.Flags & JOB_EXEC_ERROR) != 0;
    return job;
}

}  // namespace tarvo::scheduler
