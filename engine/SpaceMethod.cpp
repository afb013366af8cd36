// SpaceMethod.cpp --- SPACE: start, phase 1 with its deferred pass, the move procedure, finish and end.
#include "engine/SpaceMethod.h"

#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "engine/Analysis.h"
#include "engine/DeferredPass.h"
#include "engine/EngineReport.h"
#include "engine/MethodHandOff.h"
#include "engine/MoveFile.h"
#include "engine/RunEnding.h"
#include "engine/RunTexts.h"
#include "engine/SpaceRun.h"
#include "platform/process/Priority.h"
#include "volume/ViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

namespace {
constexpr int kMaxPassesWithoutMove = 300;
constexpr int kPushesInARow = 4;
// Phase 1's deferred pass goes on only while the list holds this many files.
constexpr int64_t kDeferredPassMinimumFiles = 4;
}  // namespace

int RunSpaceMethod(volume::CDefragJob& job) {
    SpaceRun run(job);
    return run.Run();
}

int SpaceRun::Run() {
    Next next = Start();
    if (m_handedOver) return m_handOffResult;
    if (next == Next::Continue) next = PhaseOne();
    if (next == Next::Continue) next = PhaseTwo();
    if (next == Next::Continue) next = PhaseThree();
    if (next == Next::Continue) next = PhaseFour();
    if (next != Next::Abort) Finish();
    return End();
}

SpaceRun::Next SpaceRun::Start() {
    if (!m_job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        return Next::Abort;
    }
    const std::string drive = DriveName(m_job);
    if (app::Settings().AllDrives()) {
        const int option = m_job.IsNtfs() ? app::Settings().NTFSOption() : app::Settings().FATOption();
        MethodEntry complete = CompleteMethodEntry();
        if (option == 0 && complete) {
            m_handedOver = true;
            m_handOffResult = complete(m_job);
            return Next::Abort;
        }
        RunAnalysis(m_job, WorkerMark::Keep);
    }
    EngineReport(app::MSG_INF_SPACE_STARTED, drive.c_str(), m_job.m_fileSystemName.c_str());
    if (!volume::ClusterSizeSupported(m_job)) {
        EngineReport(app::MSG_ERR_CLUSTER_TOO_LARGE, drive.c_str());
        m_completed = true;
        return Next::Abort;
    }
    if (!m_job.m_fileTable) RunAnalysis(m_job, WorkerMark::Keep);
    if (!m_job.KeepGoing()) return Next::Abort;
    // Without a table and a bitmap there is nothing to work on; the run ends early, not completed.
    if (!m_job.m_fileTable || !m_job.m_clusterBitmap) return Next::Abort;
    m_table = m_job.m_fileTable.get();
    m_bitmap = m_job.m_clusterBitmap.get();

    m_job.SetDriveState(volume::DriveState::SpaceStarted);
    m_percent.Force(0);
    m_countAtStart = m_job.m_fragmentedFiles;
    m_lastIndex = m_table->LastIndex();
    if (m_lastIndex <= 0) return Next::Finish;
    for (int64_t i = 0; i <= m_lastIndex; ++i)
        if (m_table->Item(i)->IsFragmented()) ++m_initialFragmented;
    app::BeginRunMessages(m_job.m_drive.empty() ? 0 : m_job.m_drive[0]);
    return Next::Continue;
}

MoveResult SpaceRun::MoveFile(volume::FileRecord& file, volume::Lcn target) {
    m_working.Begin(file);
    const MoveResult result = MoveFileTo(m_job, &file, target);
    m_working.End();
    return result;
}

SpaceRun::Next SpaceRun::AfterMove(MoveResult result) {
    if (EndsRun(result)) {
        ReportRunEnding(m_job, result);
        m_volumeFailed = true;
        return Next::Finish;
    }
    if (!m_job.KeepGoing()) return Next::Abort;
    return Next::Continue;
}

SpaceRun::Next SpaceRun::FromPass(PassEnd end) {
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

void SpaceRun::Searching() { SendStatus(m_job, app::LoadString(app::IDS_SEARCHING)); }

void SpaceRun::GivenUp(volume::FileRecord& file) {
    file.SetDone(true);
    EngineReport(app::MSG_WAR_FILE_GIVEN_UP, file.Path().c_str());
}

SpaceRun::Next SpaceRun::PhaseOne() {
    int passes = 0;
    int noSpace = 0;
    for (;;) {
        volume::FileRecord* file = m_table->FirstFragmented();
        if (!file) return DeferredPassOne();
        if (passes > kMaxPassesWithoutMove) {
            EngineReport(app::MSG_WAR_NOT_COMPLETELY_DEFRAGMENTED, DriveName(m_job).c_str());
            return Next::Continue;
        }
        ++passes;
        if (!m_job.KeepGoing()) return Next::Abort;
        if (m_initialFragmented > 0)
            Percent(static_cast<int>(50.0 - static_cast<double>(m_job.m_fragmentedFiles) *
                                                (100.0 / static_cast<double>(m_initialFragmented)) * 0.5));

        m_working.Begin(*file);
        RefreshClusterBitmap(m_job);
        const uint64_t size = file->AllocatedClusters();
        const auto run = m_bitmap->FindFirstFit(size > 0 ? size - 1 : 0, size);
        const MoveResult result = run ? MoveFileTo(m_job, file, *run) : kMoveNoFreeSpace;
        m_working.End();
        if (const Next next = AfterMove(result); next != Next::Continue) return next;

        switch (result) {
        case kMoved:
            // A file placed "around" its target may still be in pieces: it is left
            // alone then, or phase 1 would pick it again for ever.
            if (file->IsFragmented()) {
                file->SetDone(true);
            } else {
                passes = 0;
                noSpace = 0;
            }
            break;
        case kMoveGaveUp:
            GivenUp(*file);
            break;
        case kMoveNoFreeSpace:
            ++noSpace;
            if (noSpace <= kPushesInARow) {
                const MoveResult pushed = PushFileUp(m_job, file, m_job.m_totalClusters);
                if (const Next next = AfterMove(pushed); next != Next::Continue) return next;
            }
            file->SetDone(true);
            m_table->AddDeferred(file);
            break;
        case kMoveInvalidParameter:
            EngineReport(app::MSG_DIAG_ERROR, "1010");
            m_job.m_view->RedrawAll();
            file->SetDone(true);
            m_table->AddDeferred(file);
            break;
        default:
            EngineReport(app::MSG_DIAG_INFO, "1011");
            file->SetDone(true);
            break;
        }
    }
}

SpaceRun::Next SpaceRun::DeferredPassOne() {
    DeferredPassOptions options;
    options.minimumFiles = kDeferredPassMinimumFiles;
    options.attempts = AttemptCount::Yes;
    options.givenUp = GivenUpFiles::Stay;
    options.searching = SearchingText::OnlyWhenNoRun;
    return FromPass(RunDeferredPass(m_job, m_working, options));
}

SpaceRun::Next SpaceRun::Finish() {
    platform::SetThreadPriority(platform::GetCurrentThread(), platform::THREAD_PRIORITY_HIGHEST);
    m_working.End();
    if (m_bitmap) RefreshClusterBitmap(m_job);
    if (!m_job.KeepGoing()) return Next::Abort;
    // A write-protected or failing volume ends the run early: it is reported as such, not as completed.
    if (m_volumeFailed) return Next::Abort;
    if (const MoveResult flushed = FlushMoves(m_job); flushed != kMoved) {
        ReportRunEnding(m_job, flushed);
        m_volumeFailed = true;
        return Next::Abort;
    }
    m_job.m_view->RedrawAll();
    SendPercent(m_job, 100);
    SendStatus(m_job, " ");
    SendStatus(m_job, app::LoadString(app::IDS_READY));
    const std::string drive = DriveName(m_job);
    const std::string last = std::to_string(m_lastIndex);
    const std::string before = std::to_string(m_countAtStart);
    const std::string now = std::to_string(m_job.m_fragmentedFiles);
    EngineReport(app::MSG_INF_SPACE_COMPLETED, drive.c_str(), m_job.m_fileSystemName.c_str(), last.c_str(),
                 before.c_str(), now.c_str());
    SendPercent(m_job, -1);
    m_completed = true;
    return Next::Continue;
}

int SpaceRun::End() {
    if (!m_completed && m_job.m_view) {
        const std::string drive = DriveName(m_job);
        EngineReport(app::MSG_INF_SPACE_STOPPED, drive.c_str(), m_job.m_fileSystemName.c_str());
    }
    m_job.m_workerActive.store(false);
    // The controller moves on to the next drive when the run ended by itself, stopped or not by the user.
    if (m_job.m_view && (m_completed || (m_volumeFailed && m_job.KeepGoing()))) m_job.m_view->PostRunFinished();
    return 1;
}

}  // namespace tarvo::engine
