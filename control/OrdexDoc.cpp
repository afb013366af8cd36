// OrdexDoc.cpp --- starting a job and its worker, the stop procedure and the release of a job.
#include "control/OrdexDoc.h"

#include "app/MessageIds.h"
#include "app/StringTable.h"
#include "engine/EngineReport.h"
#include "platform/core/HandleObject.h"
#include "platform/process/Priority.h"
#include "platform/process/Process.h"
#include "volume/VolumeOps.h"

namespace tarvo::control {

using engine::EngineReport;
using volume::CDefragJob;

COrdexDoc::COrdexDoc(DocumentHost& host, ClusterMapView* view, DriveTree& tree, WorkerEntries entries, RunKind kind)
    : m_host(host), m_view(view), m_tree(tree), m_entries(entries), m_kind(kind) {
    app::Settings().SetAllDrives(0, app::Persist::No);
}

COrdexDoc::~COrdexDoc() {
    ReleaseJob();
    if (m_schedulerProcess != nullptr) {
        platform::TerminateProcess(m_schedulerProcess, 0);
        platform::CloseHandle(m_schedulerProcess);
    }
}

void COrdexDoc::SetStopWait(int maxWaits, std::chrono::milliseconds period) {
    m_maxWaits = maxWaits;
    m_waitPeriod = period;
}

bool COrdexDoc::WorkerRunning() const {
    return m_job && m_job->m_workerActive.load();
}

BOOL COrdexDoc::StartDriveRun(const std::string& drive, int mode) {
    return StartJob(drive, mode, StartKind::DriveRun);
}

BOOL COrdexDoc::AnalyzeDrive(const std::string& drive) {
    return StartJob(drive, kModeAnalysis, StartKind::Analyze);
}

BOOL COrdexDoc::RunCommandLineDrive(int listMethod, int driveIndex) {
    if (driveIndex < 0 || driveIndex > 25) return 0;
    const char letter = static_cast<char>('A' + driveIndex);
    ReleaseJob();
    m_tree.SelectDrive(letter);
    return StartJob(std::string(1, letter), listMethod == kSpaceList ? kModeSpace : kModeComplete,
                    StartKind::ListDrive);
}

BOOL COrdexDoc::StartJob(const std::string& drive, int mode, StartKind kind) {
    m_currentDrive = drive;
    ReleaseJob();
    if (drive.empty()) {
        EngineReport(app::MSG_ERR_EMPTY_DRIVE);
        return 0;
    }
    if (m_view == nullptr) {
        EngineReport(app::MSG_ERR_NO_CLUSTER_MAP_VIEW);
        return 0;
    }
    m_job = std::make_unique<CDefragJob>();
    // A queued drive that will not open or start must not hold up its queue: it
    // is dropped and the queue moves on (all-drives mode stays as it was).
    const bool queued = kind == StartKind::DriveRun || kind == StartKind::ListDrive;
    if (!InitialiseJob()) {
        m_tree.ClearDriveState();
        EngineReport(app::MSG_ERR_JOB_INIT_FAILED);
        if (queued) {
            ReleaseJob();
            OnRunFinished();
        }
        return 0;
    }
    if (!StartJobThread(mode)) {
        m_tree.ClearDriveState();
        EngineReport(kind == StartKind::Analyze ? app::MSG_ERR_ANALYSIS_NOT_STARTED : app::MSG_ERR_JOB_NOT_STARTED);
        if (queued) {
            ReleaseJob();
            OnRunFinished();
        }
        return 0;
    }
    return 1;
}

BOOL COrdexDoc::InitialiseJob() {
    m_job->m_driveStateHook = [this](volume::DriveState state) { m_tree.SetDriveState(state); };
    return volume::OpenDrive(*m_job, &m_view->Sink(), m_currentDrive, app::Settings().BlockSize()) ? 1 : 0;
}

BOOL COrdexDoc::StartJobThread(int mode) {
    struct WaitCursor {
        DocumentHost& host;
        explicit WaitCursor(DocumentHost& h) : host(h) { host.ShowWaitCursor(true); }
        ~WaitCursor() { host.ShowWaitCursor(false); }
    } waitCursor(m_host);

    if (!m_job) return 0;
    // A worker still recorded has ended or is ending: it is waited for, never killed.
    if (m_worker) {
        if (m_job->m_workerActive.load()) return 0;
        m_worker->Join();
        m_worker.reset();
    }
    if (m_view == nullptr) return 0;
    m_view->DropRedrawRequest();
    CDefragJob* job = m_job.get();
    job->m_pendingMode = mode;
    job->m_gate.Start();
    const WorkerEntry entry = m_entries.ForMode(mode);
    auto worker = std::make_unique<CWorkerThread>();
    const bool created = entry != nullptr && worker->CreateSuspended([this, job, entry] {
        entry(*job);
        job->m_workerActive.store(false);
        m_host.PostDiscardable([this, job] { OnWorkerEnded(job); });
        m_host.Wake();
    });
    if (!created) {
        EngineReport(app::MSG_ERR_THREAD_NOT_CREATED);
        job->m_pendingMode = 0;
        return 0;
    }
    worker->SetPriority(m_kind == RunKind::Scheduled ? platform::THREAD_PRIORITY_LOWEST
                                                     : platform::THREAD_PRIORITY_NORMAL);
    job->m_workerActive.store(true);
    m_runningMode = mode;
    m_runFinishedSeen = false;
    m_worker = std::move(worker);
    m_worker->Resume();
    job->m_pendingMode = 0;
    return 1;
}

void COrdexDoc::ReleaseJob() {
    if (!m_job) {
        if (m_worker) {
            m_worker->Join();
            m_worker.reset();
        }
        return;
    }
    m_paused = false;
    if (m_view) m_view->WaitDrawingIdle();
    std::unique_ptr<CDefragJob> job = std::move(m_job);
    std::unique_ptr<CWorkerThread> worker = std::move(m_worker);
    // The stop releases a paused worker too: it must run to its end.
    job->m_gate.Stop();
    job->m_pendingMode = 0;
    const std::string ready = app::LoadString(app::IDS_READY);
    if (m_view) m_view->Sink().SetStatusText(volume::kStatusPaneMain, ready);

    auto ended = [&] { return !job->m_workerActive.load() || (worker && worker->Finished()); };
    if (worker) {
        for (int waits = 0; waits < m_maxWaits; ++waits) {
            if (m_host.WaitServingSent(m_waitPeriod, ended)) break;
            m_host.DiscardPostedMessages();
            job->m_gate.Stop();
        }
        if (!ended()) {
            // A thread cannot be ended safely in the middle of a move: report, then
            // wait for the move in flight to return before the job goes away.
            EngineReport(app::MSG_ERR_RELEASE_JOB_FAULT);
            while (!m_host.WaitServingSent(m_waitPeriod, ended)) job->m_gate.Stop();
        }
        worker->Join();
    }
    // Notices the released run posted are stale now.
    m_host.DiscardPostedMessages();
    if (m_view) {
        m_view->Sink().SetFragCount(0);
        m_view->Sink().SetPercent(-1);
        m_view->Sink().SetStatusText(volume::kStatusPaneMain, ready);
        m_view->Invalidate();
    }
    job.reset();
}

void COrdexDoc::StopRun() {
    m_host.ShowWaitCursor(true);
    app::Settings().SetAllDrives(0, app::Persist::No);
    m_paused = false;
    if (m_view == nullptr) {
        EngineReport(app::MSG_ERR_NO_CLUSTER_MAP_VIEW);
        m_host.ShowWaitCursor(false);
        return;
    }
    m_view->SetCursor(ViewCursor::AppStarting);
    ReleaseJob();
    m_view->WaitDrawingIdle();
    m_view->SetCursor(ViewCursor::Arrow);
    m_tree.ClearDriveState();
    m_view->Invalidate();
    m_host.ShowWaitCursor(false);
}

void COrdexDoc::OnCloseDocument() {
    if (m_view) m_view->WaitDrawingIdle();
    ReleaseJob();
    const std::string name = app::LoadString(app::IDS_PROGRAM_NAME);
    EngineReport(app::MSG_INF_PROGRAM_END, name.c_str());
}

void COrdexDoc::OnWorkerEnded(const CDefragJob* job) {
    // A method that ended without posting UM_RUN_FINISHED (write protection, an
    // internal failure) must not hold up a queue: the queue moves on.
    if (job != m_job.get() || !m_job->m_gate.KeepGoing() || m_runFinishedSeen) return;
    if (m_runningMode == kModeAnalysis) return;
    if (m_listMethod == kNoList && !app::Settings().AllDrives()) return;
    OnRunFinished();
}

volume::CDefragJob* COrdexDoc::GetRunningJob() {
    return m_job && m_job->m_gate.KeepGoing() ? m_job.get() : nullptr;
}

}  // namespace tarvo::control
