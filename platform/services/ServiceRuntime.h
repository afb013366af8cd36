// ServiceRuntime.h --- how a running service process makes itself known: a lock and a status file in $TARVO_HOME/run.
//
// The service holds an exclusive flock on "<name>.lock" while it lives, so a
// killed service reads as stopped at once; "<name>.status" holds its state and
// process id.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct ServiceRuntimeState {
    DWORD state;  // SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_RUNNING or SERVICE_STOP_PENDING
    pid_t pid;    // 0 when stopped
};

// The state as seen from any process.
ServiceRuntimeState ReadServiceRuntime(const std::string& name);

// Forgets the status of a stopped service (one that was killed leaves it behind).
void ClearServiceRuntime(const std::string& name);

// Held by the service process itself.
class CServiceInstance {
public:
    ~CServiceInstance();
    // Takes the service's lock; false when another instance holds it.
    bool Claim(const std::string& name);
    void SetState(DWORD state);
    // False once the lock file at the service's path is no longer the one this
    // instance holds (the run-time folder or the home was removed): clients can
    // no longer see or stop this instance, and a second one could start beside it.
    bool StillOwned() const;

private:
    std::string m_name;
    int m_lockFd = -1;
};

}  // namespace tarvo::platform
