// Startup.cpp --- InitInstance in its order of steps, priorities and ExitInstance.
#include "app/Startup.h"

#include "app/Logger.h"
#include "app/ProcessPriority.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "platform/core/HandleObject.h"
#include "platform/process/Mutex.h"
#include "platform/process/Priority.h"
#include "platform/registry/Registry.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;

// The SID handed to the event source must outlive every report, up to process exit.
std::string& SourceSid() {
    static std::string* sid = new std::string();
    return *sid;
}

}  // namespace

CTarvoApp::CTarvoApp() = default;

CTarvoApp::~CTarvoApp() {
    if (m_guard != nullptr) CloseHandle(m_guard);
}

std::string CTarvoApp::GuardName() {
    std::string text = LoadString(static_cast<UINT>(IDS_SINGLE_INSTANCE));
    return text.substr(0, text.find('\n')) + " Class";
}

BOOL CTarvoApp::Fail(StartFailure failure) {
    m_failure = failure;
    return FALSE;
}

BOOL CTarvoApp::InitInstance(const std::vector<std::string>& words, DriveProbe probe) {
    // 1. Privileges for volume access.
    if (!EnablePrivilege("SeBackupPrivilege", 1) || !EnablePrivilege("SeRestorePrivilege", 1)) {
        Report(MSG_ERR_NO_BACKUP_RIGHTS);
        return Fail(StartFailure::NoBackupRights);
    }
    // 2-3. The interactive desktop and the view's locks belong to the windows.
    // 4. The user check; its verdict is applied after the command line.
    m_user = CheckUser();
    // 5. Settings.
    SetRegistryKey(LoadString(IDS_REGISTRY_KEY).c_str(), LoadString(IDS_APP_TITLE).c_str());
    Settings().Load(&IsBootServiceRegistered);
    // 6. Event source and message file.
    SourceSid() = m_user.sid;
    RegisterSource(SourceSid().data());
    RegisterMessageFile();
    const std::string programName = LoadString(IDS_PROGRAM_NAME);
    Report(MSG_INF_PROGRAM_START, programName.c_str());
    // 8. The command line.
    m_record = ParseCommandLine(words, probe);
    if (!m_record.valid) {
        Report(MSG_INF_PROGRAM_END);
        return Fail(StartFailure::InvalidCommandLine);
    }
    // 9. A command-line run is applied to the settings record for this run only.
    const bool commandLineRun = m_record.IsCommandLineRun();
    if (commandLineRun) ApplyCommandLine(m_record, Settings());
    // 10. Single-instance guard.
    m_guard = CreateMutexA(nullptr, FALSE, GuardName().c_str());
    if (m_guard != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_guard);
        m_guard = nullptr;
        if (m_activateRunningInstance) m_activateRunningInstance();
        Report(commandLineRun ? MSG_INF_SECOND_INSTANCE_CMDLINE : MSG_INF_SECOND_INSTANCE);
        return Fail(StartFailure::SecondInstance);
    }
    // 11. Message display: off for an unattended run.
    SetDisplay(commandLineRun ? Display::Off : Display::On);
    m_commandLineRun = commandLineRun ? 1 : 0;
    // 12. The user check's verdict.
    if (!m_user.administrator) {
        Report(MSG_ERR_NOT_ADMINISTRATOR, m_user.userName.c_str());
        return Fail(StartFailure::NotAdministrator);
    }
    // 13. Interactive runs are offered to become the default defragmenter.
    if (!commandLineRun && m_offerDefault && VolumeOpensForReading('C') && ShouldOfferDefault()) m_offerDefault();
    return TRUE;
}

void CTarvoApp::SetPriorities() {
    CSettings& settings = Settings();
    const int setting = m_commandLineRun ? settings.ScheduledPriority() : settings.NormalPriority();
    SetPriorityClass(GetCurrentProcess(), PriorityClassOfSetting(setting));
    if (m_commandLineRun) SetProcessIoPriority(IoPriority::Idle);
    const int threadPriority = m_commandLineRun ? THREAD_PRIORITY_NORMAL : THREAD_PRIORITY_HIGHEST;
    if (!SetThreadPriority(GetCurrentThread(), threadPriority)) Report(MSG_DIAG_ERROR, "0013");
}

void CTarvoApp::ExitInstance() {
    WritePageFileFlag();
    if (m_guard != nullptr) {
        CloseHandle(m_guard);
        m_guard = nullptr;
    }
}

}  // namespace tarvo::app
