// Startup.h --- the application object: start-up in order, the single-instance guard, priorities, exit.
//
// InitInstance runs the steps that need no window: privileges, the user check,
// settings, the event source, the command line, the single-instance guard,
// message display and the default-defragmenter offer. The program then creates
// its document and front-end, and calls SetPriorities. UI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/StartupChecks.h"
#include "app/SystemIntegration.h"
#include "platform/core/FsctlBuffers.h"
#include "platform/core/NtTypes.h"

namespace tarvo::app {

// Why InitInstance ended the program.
enum class StartFailure { None, NoBackupRights, InvalidCommandLine, SecondInstance, NotAdministrator };

class CTarvoApp {
public:
    CTarvoApp();
    // Releases the single-instance guard.
    ~CTarvoApp();
    CTarvoApp(const CTarvoApp&) = delete;
    CTarvoApp& operator=(const CTarvoApp&) = delete;

    // Runs start-up over the words after the program name. FALSE when the
    // program must end (Failure() says why; the reason is already reported).
    BOOL InitInstance(const std::vector<std::string>& words, DriveProbe probe = nullptr);

    // Process priority class (ScheduledPriority for a command-line run, else
    // NormalPriority: 0 idle, 1 normal, 2 high, other idle), the idle I/O class
    // for a command-line run, and the UI thread's priority.
    void SetPriorities();

    // Writes the page-file flag and releases the single-instance guard.
    void ExitInstance();

    BOOL CommandLineRun() const { return m_commandLineRun; }
    const CommandLineRecord& Record() const { return m_record; }
    StartFailure Failure() const { return m_failure; }
    const UserCheck& User() const { return m_user; }

    // The guard's name: the first "\n"-separated field of the string named by
    // the SingleInstance setting, followed by " Class".
    static std::string GuardName();

    // Shown to an interactive start whose guard already exists, before it ends
    // (the window brings the running instance to the front).
    std::function<void()> m_activateRunningInstance;
    // The default-defragmenter offer of an interactive start (the window's
    // dialog); not set: no offer is made.
    std::function<void()> m_offerDefault;

private:
    BOOL Fail(StartFailure failure);

    CommandLineRecord m_record;
    UserCheck m_user;
    BOOL m_commandLineRun = 0;
    StartFailure m_failure = StartFailure::None;
    platform::HANDLE m_guard = nullptr;
};

}  // namespace tarvo::app
