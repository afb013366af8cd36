// OrdexCommands.cpp --- the menu commands of the run controller and their enable rules.
#include "app/MessageIds.h"
#include "app/SystemIntegration.h"
#include "control/OrdexDoc.h"
#include "engine/EngineReport.h"
#include "platform/core/HandleObject.h"
#include "platform/process/Process.h"
#include "volume/FileTable.h"
#include "volume/VolumeOps.h"

namespace tarvo::control {

using engine::EngineReport;

bool COrdexDoc::JobIdle() const {
    return m_job && !m_job->m_drive.empty() && m_job->m_totalClusters > 0 && !m_job->m_workerActive.load();
}

bool COrdexDoc::JobActive() const {
    return m_job && m_job->m_gate.KeepGoing();
}

CommandState COrdexDoc::UpdateCommand(CommandId id) {
    const bool allDrives = app::Settings().AllDrives() != 0;
    const bool running = WorkerRunning();
    const bool driveSelected = m_tree.SelectedDriveState() != 0;
    const bool runCommand = id == CommandId::StartSpace || id == CommandId::StartComplete ||
                            id == CommandId::Analyze || id == CommandId::Stop || id == CommandId::Pause;
    // A stopped job disables the run commands and ends a pause.
    if (runCommand && m_job && !m_job->m_gate.KeepGoing()) {
        m_paused = false;
        return {};
    }
    switch (id) {
        case CommandId::StartSpace:
        case CommandId::StartComplete:
            return {driveSelected && !m_paused && !running && !allDrives, false};
        case CommandId::Analyze:
            return {driveSelected && !m_paused && !running, false};
        case CommandId::DefragAllDrives:
            if (m_job && !allDrives) return {JobIdle(), false};
            return {!allDrives && volume::IsDriveIndexEligible(2), false};
        case CommandId::Pause:
            return {running, m_paused};
        case CommandId::Stop:
            return {running && !m_paused, false};
        case CommandId::DriveInfo:
            return {m_job && !allDrives && JobIdle(), false};
        case CommandId::Refresh:
            return {m_job && !allDrives && JobIdle() && JobActive() && m_job->m_fileTable != nullptr, false};
        case CommandId::SystemUsedFiles:
            return {m_job && !allDrives, false};
        case CommandId::Options:
            return {!allDrives, false};
        case CommandId::Scheduling:
            return {!app::SchedulerPath().empty(), false};
        case CommandId::ExclusionList:
        case CommandId::ReloadDriveList:
            return {!running, false};
    }
    return {};
}

void COrdexDoc::OnCommand(CommandId id) {
    switch (id) {
        case CommandId::StartSpace:
            return OnStartSpace();
        case CommandId::StartComplete:
            return OnStartComplete();
        case CommandId::Analyze:
            return OnAnalyze();
        case CommandId::DefragAllDrives:
            return OnDefragAllDrives();
        case CommandId::Pause:
            return OnPause();
        case CommandId::Stop:
            return OnStop();
        case CommandId::DriveInfo:
            if (m_job) m_host.ShowDriveInfo(*m_job);
            return;
        case CommandId::Refresh:
            return OnRefresh();
        case CommandId::SystemUsedFiles:
            if (m_job) m_host.ShowSystemUsedFiles(*m_job);
            return;
        case CommandId::Options:
            return OnOptions();
        case CommandId::Scheduling:
            return OnScheduling();
        case CommandId::ExclusionList:
            return m_host.ShowExclusionList();
        case CommandId::ReloadDriveList:
            return m_tree.RebuildDriveList();
    }
}

void COrdexDoc::MenuStart(int mode) {
    app::Settings().SetAllDrives(0, app::Persist::No);
    const int state = m_tree.SelectedDriveState();
    if (state < 1 || state > 4) return;
    if (state == static_cast<int>(volume::DriveState::Analysed) && m_job) {
        if (!StartJobThread(mode)) m_tree.ClearDriveState();
        return;
    }
    const char letter = m_tree.SelectedDriveLetter();
    StartJob(letter ? std::string(1, letter) : std::string(), mode, StartKind::Menu);
}

void COrdexDoc::DriveChosen() {
    if (m_paused) return;
    if (m_job && !m_job->m_gate.KeepGoing()) return;
    if (WorkerRunning()) StopRun();
    m_tree.AnalyzeSelectedDrive();
}

void COrdexDoc::OnPause() {
    if (!JobActive()) return;
    if (m_paused) {
        m_job->m_gate.Resume();
        m_paused = false;
    } else {
        m_job->m_gate.Pause();
        m_paused = true;
    }
}

void COrdexDoc::OnRefresh() {
    app::Settings().SetAllDrives(0, app::Persist::No);
    if (!m_job) return;
    if (!StartJobThread(kModeAnalysis)) {
        m_tree.ClearDriveState();
        ReleaseJob();
    }
}

void COrdexDoc::OnOptions() {
    const OptionsOutcome outcome = m_host.RunOptionsSheet();
    if (!outcome.confirmed) return;
    if (outcome.drawShadowChanged) m_host.RefreshMainFrame();
    if ((outcome.blockSizeChanged && m_job) || outcome.drawShadowChanged) {
        if (m_job) m_job->m_blockSize = app::Settings().BlockSize();
        if (m_view == nullptr)
            EngineReport(app::MSG_ERR_NO_CLUSTER_MAP_VIEW);
        else
            m_view->MarkFullRedraw();
    }
}

void COrdexDoc::OnScheduling() {
    const std::string path = app::SchedulerPath();
    if (path.empty()) {
        EngineReport(app::MSG_ERR_SCHEDULER_UNAVAILABLE);
        return;
    }
    if (m_schedulerProcess != nullptr) {
        platform::TerminateProcess(m_schedulerProcess, 0);
        platform::CloseHandle(m_schedulerProcess);
        m_schedulerProcess = nullptr;
    }
    platform::STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    platform::PROCESS_INFORMATION info{};
    if (!platform::CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, platform::FALSE, platform::NORMAL_PRIORITY_CLASS,
                                  nullptr, nullptr, &startup, &info)) {
        EngineReport(app::MSG_ERR_SCHEDULER_UNAVAILABLE);
        return;
    }
    m_schedulerProcess = info.hProcess;
}

}  // namespace tarvo::control
