// CompleteMethod.cpp --- COMPLETE: start with sort and plan, the closing passes, finish and end.
#include "engine/CompleteMethod.h"

#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "engine/Analysis.h"
#include "engine/CompleteRun.h"
#include "engine/Consolidation.h"
#include "engine/DeferredPass.h"
#include "engine/EngineReport.h"
#include "engine/MethodHandOff.h"
#include "engine/MftZoneRelief.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "engine/RunEnding.h"
#include "engine/RunTexts.h"
#include "engine/SpaceMethod.h"
#include "platform/process/Priority.h"
#include "volume/ViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

namespace {
// SPACE reaches COMPLETE through the hand-off entry; it is there whenever this file is linked.
const bool g_registered = (SetCompleteMethodEntry(&RunCompleteMethod), true);
}  // namespace

int RunCompleteMethod(volume::CDefragJob& job) {
    (void)g_registered;
    CompleteRun run(job);
    return run.Run();
}

int CompleteRun::Run() {
    Next next = Start();
    if (m_handedOver) return m_handOffResult;
    if (next == Next::Continue) next = MainLoop();
    if (next == Next::Continue) next = FinalPasses();
    if (next != Next::Abort) Finish();
    return End();
}

CompleteRun::Next CompleteRun::Start() {
    if (!m_job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        return Next::Abort;
    }
    if (!m_job.KeepGoing()) return Next::Abort;
    const std::string drive = DriveName(m_job);
    if (app::Settings().AllDrives()) {
        const int option = m_job.IsNtfs() ? app::Settings().NTFSOption() : app::Settings().FATOption();
        if (option != 0) {
            m_handedOver = true;
            m_handOffResult = RunSpaceMethod(m_job);
            return Next::Abort;
        }
        RunAnalysis(m_job, WorkerMark::Keep);
    }
    EngineReport(app::MSG_INF_COMPLETE_STARTED, drive.c_str(), m_job.m_fileSystemName.c_str());
    if (!volume::ClusterSizeSupported(m_job)) {
        EngineReport(app::MSG_ERR_CLUSTER_TOO_LARGE, drive.c_str());
        m_completed = true;
        return Next::Abort;
    }
    if (!m_job.m_fileTable) RunAnalysis(m_job, WorkerMark::Keep);
    if (!m_job.KeepGoing()) return Next::Abort;

    m_job.SetDriveState(volume::DriveState::CompleteStarted);
    m_countAtStart = m_job.m_fragmentedFiles;
    SendStatus(m_job, app::LoadString(app::IDS_INITIALIZING));
    if (m_job.m_totalClusters == 0 || !m_job.m_fileTable || !m_job.m_clusterBitmap) return Next::Finish;
    m_table = m_job.m_fileTable.get();
    m_bitmap = m_job.m_clusterBitmap.get();
    m_table->Sort(PlacementSortOrder(m_job));
    m_lastIndex = m_table->LastIndex();
    if (m_lastIndex <= 0) return Next::Finish;

    for (int64_t i = 0; i <= m_lastIndex; ++i) {
        if (!m_job.KeepGoing()) return Next::Abort;
        m_table->Item(i)->SetPlannedLcn(0);
        m_table->Item(i)->SetDone(false);
    }
    m_percent.Force(0);
    RefreshClusterBitmap(m_job);
    SendStatus(m_job, app::LoadString(app::IDS_INITIALIZING));
    if (PlanPlacementWithMftZone(m_job) == 0) {
        EngineReport(app::MSG_ERR_NOT_ENOUGH_SPACE, m_job.m_rootPath.c_str());
        return Next::Finish;
    }
    m_piecesAtStart = CountPieces(m_job);
    app::BeginRunMessages(m_job.m_drive.empty() ? 0 : m_job.m_drive[0]);
    return Next::Continue;
}

CompleteRun::Next CompleteRun::AfterMove(MoveResult result) {
    if (EndsRun(result)) {
        ReportRunEnding(m_job, result);
        m_volumeFailed = true;
        return Next::Finish;
    }
    if (!m_job.KeepGoing()) return Next::Abort;
    return Next::Continue;
}

CompleteRun::Next CompleteRun::FromPass(PassEnd end) {
    switch (end) {
    case PassEnd::VolumeFailed:
        m_volumeFailed = true;
        return Next::Finish;
    case PassEnd::Stopped:
        return Next::Abort;
    default:
        return Next::Continue;
    }
}

CompleteRun::Next CompleteRun::FinalPasses() {
    m_percent.Send(97);
    // The pass between files leaves up to five files waiting: each gets its
    // planned place once more before the pass below puts it at the lowest
    // fit, out of order. Files still waiting then found too little room
    // outside the MFT zone: the final passes may use it, the planned places
    // first.
    if (m_table->LastDeferredIndex() >= 0)
        if (const Next next = LoopDeferredPass(1); next != Next::Continue) return next;
    if (m_table->LastDeferredIndex() >= 0 && GiveUpMftZone(m_job, "MFT zone given up for the final passes"))
        if (const Next next = LoopDeferredPass(1); next != Next::Continue) return next;
    // A file placed by a pass between files stays listed until the next one
    // visits it; the pass below would take it from its place again.
    for (int64_t pos = m_table->LastDeferredIndex(); pos >= 0; --pos) {
        volume::FileRecord* file = m_table->Deferred(pos);
        if (file->IsDone() && IsAtPlannedPlace(*file)) m_table->RemoveDeferred(file);
    }
    if (m_table->LastDeferredIndex() >= 0) {
        DeferredPassOptions options;
        options.givenUp = GivenUpFiles::Leave;
        options.searching = SearchingText::BeforeEachFile;
        if (const Next next = FromPass(RunDeferredPass(m_job, m_working, options)); next != Next::Continue)
            return next;
    }
    if (const Next next = FromPass(RebuildSplitFiles(m_job, m_working, m_piecesAtStart)); next != Next::Continue)
        return next;
    return FromPass(ConsolidateFragmentedFiles(m_job, m_working, m_percent));
}

void CompleteRun::Finish() {
    platform::SetThreadPriority(platform::GetCurrentThread(), platform::THREAD_PRIORITY_HIGHEST);
    m_working.End();
    if (m_bitmap) RefreshClusterBitmap(m_job);
    if (!m_job.KeepGoing()) return;
    // A write-protected or failing volume ends the run early: it is reported as such, not as completed.
    if (m_volumeFailed) return;
    if (const MoveResult flushed = FlushMoves(m_job); flushed != kMoved) {
        ReportRunEnding(m_job, flushed);
        m_volumeFailed = true;
        return;
    }
    m_job.m_view->RedrawAll();
    m_percent.Force(100);
    SendStatus(m_job, " ");
    SendStatus(m_job, app::LoadString(app::IDS_READY));
    const std::string drive = DriveName(m_job);
    const std::string last = std::to_string(m_lastIndex);
    const std::string before = std::to_string(m_countAtStart);
    const std::string now = std::to_string(m_job.m_fragmentedFiles);
    EngineReport(app::MSG_INF_COMPLETE_COMPLETED, drive.c_str(), m_job.m_fileSystemName.c_str(), last.c_str(),
                 before.c_str(), now.c_str());
    SendPercent(m_job, -1);
    m_completed = true;
}

int CompleteRun::End() {
    m_working.End();
    if (!m_completed && m_job.m_view) {
        const std::string drive = DriveName(m_job);
        EngineReport(app::MSG_INF_COMPLETE_STOPPED, drive.c_str(), m_job.m_fileSystemName.c_str());
    }
    m_job.m_workerActive.store(false);
    // The controller moves on to the next drive when the run ended by itself, stopped or not by the user.
    if (m_job.m_view && (m_completed || (m_volumeFailed && m_job.KeepGoing()))) m_job.m_view->PostRunFinished();
    return 1;
}

}  // namespace tarvo::engine
