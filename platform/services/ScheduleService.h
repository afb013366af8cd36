// ScheduleService.h --- the Schedule service itself: keeps the AT jobs and runs each at its time.
//
// Run by `tarvoctl svc run Schedule` (the service's ImagePath). Jobs live in
// $TARVO_HOME/schedule.db, written only here; clients talk to it through
// NetSchedule.h. The clock is ScheduleNow() (ServiceClock.h).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/HandleObject.h"
#include "platform/services/JobStore.h"
#include "platform/services/ScheduleProtocol.h"

namespace tarvo::platform {

// Runs the service until SIGTERM or SIGINT; answers the process exit status
// (0 after a stop, 1 when it could not start: already running, store or socket failure).
int RunScheduleService();

// The service's state and work, separate from its socket loop so that tests
// can drive it directly.
class CScheduleService {
public:
    // userDisplay: the display interactive jobs get ("" when none is known).
    CScheduleService(CJobStore& store, std::string userDisplay);
    ~CScheduleService();

    // After a restart: a run that was claimed is never repeated, and runs
    // missed while the service was down move to their next time.
    void Recover(time_t now);

    // Answers one client request.
    Frame Handle(const Frame& request, time_t now);

    // Starts every job that is due at `now`; answers how many were started.
    int RunDueJobs(time_t now);

    // The earliest next run of any job, if there is one.
    std::optional<time_t> NextDue();

    // Closes the handles of jobs that have ended.
    void ReapChildren();

private:
    Frame Add(const Frame& request, time_t now);
    Frame Enumerate(const Frame& request, time_t now);
    Frame Delete(const Frame& request);
    bool Launch(const StoredJob& job);

    CJobStore& m_store;
    std::string m_userDisplay;
    std::vector<HANDLE> m_children;
};

}  // namespace tarvo::platform
