// CompleteLoop.cpp --- COMPLETE's main loop: clear each planned range, move the file there, retry deferred files.
#include <algorithm>
#include <string>

#include "app/StringTable.h"
#include "engine/ClearClusterRange.h"
#include "engine/CompleteRun.h"
#include "engine/CompressionUnits.h"
#include "engine/MftZoneRelief.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "engine/RunTexts.h"
#include "engine/StepwisePlacement.h"
#include "volume/ViewSink.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;

namespace {

constexpr uint32_t kMaxPassesWithoutProgress = 300;
constexpr uint8_t kAttemptsLimit = 200;
constexpr uint8_t kAttemptsPassedOver = 220;
constexpr uint32_t kInvalidParametersBeforeRedraw = 20;
constexpr int kPercentForEveryFilePass = 90;
constexpr uint8_t kStepwiseAttempts = 3;

// The last cluster of the blocker's extent that holds k, not beyond e: the
// clusters up to there are known to be the blocker's and need no look-up.
Lcn LastBlockedCluster(const FileRecord& blocker, Lcn k, Lcn e) {
    const Lcn start = blocker.ExtentStartAt(k);
    const uint64_t length = blocker.ExtentLengthAt(k);
    if (length == 0 || start > k) return k;
    return std::min(e, start + length - 1);
}

}  // namespace

void CompleteRun::Searching() { SendStatus(m_job, app::LoadString(app::IDS_SEARCHING)); }

void CompleteRun::Placed(int64_t base) {
    m_passes = 0;
    ++m_placed;
    const double divisor = static_cast<double>(std::max<int64_t>(base, 1));
    m_percent.Send(std::min(95, static_cast<int>(95.0 / divisor * static_cast<double>(m_placed))));
}

bool CompleteRun::TakenByAnotherProgram(Lcn start, uint64_t length) {
    const uint64_t total = m_job.m_totalClusters;
    for (Lcn lcn = start; lcn < total && lcn - start < length; ++lcn)
        if (m_bitmap->Bit(volume::ClusterMap::Volume, lcn) && !m_bitmap->Bit(volume::ClusterMap::Allocation, lcn) &&
            !m_bitmap->Bit(volume::ClusterMap::System, lcn))
            return true;
    return false;
}

void CompleteRun::ReportDestinationOccupied(FileRecord& file) {
    if (m_occupiedReported.insert(&file).second)
        EngineReport(app::MSG_WAR_DESTINATION_OCCUPIED, file.Path().c_str());
}

CompleteRun::Next CompleteRun::MainLoop() {
    for (m_fileIndex = 0; static_cast<int64_t>(m_fileIndex) <= m_lastIndex; ++m_fileIndex) {
        if (m_passes > kMaxPassesWithoutProgress) {
            EngineReport(app::MSG_WAR_NOT_COMPLETELY_DEFRAGMENTED, DriveName(m_job).c_str());
            return Next::Continue;
        }
        ++m_passes;
        if (!m_job.KeepGoing()) return Next::Abort;
        if ((m_table->LastDeferredIndex() >= 1 && m_fileIndex % 4 == 0) ||
            m_percent.Last() > kPercentForEveryFilePass) {
            if (const Next next = LoopDeferredPass(); next != Next::Continue) return next;
        }
        if (m_table->LastDeferredIndex() >= 0) Searching();

        FileRecord* file = m_table->Item(static_cast<int64_t>(m_fileIndex));
        if (!file) return Next::Continue;
        if (IsAtPlannedPlace(*file)) {
            file->SetDone(true);
            Placed(m_lastIndex - 1);
            continue;
        }
        // A file that cannot be opened was dropped; clearing a range for it would move others for nothing.
        if (file->IsDone() && file->StateCode() == volume::kStateCleared) continue;

        const Lcn planned = file->PlannedLcn();
        const uint64_t size = PlannedSize(m_job, *file);
        const Lcn e = planned + size - 1;
        if (const Next next = ClearPlannedRange(*file, planned, e); next != Next::Continue) return next;
        const auto free = m_bitmap->IsFreeRunAt(planned, size, SearchUnitOf(m_job, *file));
        if (free && *free == planned) {
            if (const Next next = PlaceFile(*file, planned); next != Next::Continue) return next;
            continue;
        }

        // Too little room outside the range to move all that holds it at once:
        // the file is built into it front first, with its own clusters as room.
        if (TakenByAnotherProgram(planned, size)) {
            ReportDestinationOccupied(*file);
        } else if (RangeIsMovable(m_job, planned, e, file)) {
            bool placed = false;
            if (const Next next = PlaceStepwise(*file, planned, placed); next != Next::Continue) return next;
            if (placed) continue;
        }
        // The range could not be cleared: the file waits in the deferred list,
        // its pieces pushed up out of the way when it is fragmented.
        if (file->IsFragmented()) {
            m_working.Begin(*file, WorkingFile::SendPath::No);
            const MoveResult pushed = PushFileUp(m_job, file, m_job.m_totalClusters);
            m_working.End();
            if (pushed == kMoved) m_passes = 0;
            if (const Next next = AfterMove(pushed); next != Next::Continue) return next;
        }
        m_table->AddDeferred(file);
    }
    return Next::Continue;
}

CompleteRun::Next CompleteRun::ClearPlannedRange(FileRecord& file, Lcn start, Lcn e) {
    const Lcn last = m_job.m_totalClusters - 1;
    for (Lcn k = start; k <= e && k <= last; ++k) {
        if (!m_job.KeepGoing()) return Next::Abort;
        FileRecord* blocker = m_bitmap->FindFileAt(k);
        if (!blocker || blocker->IsDone()) continue;
        const MoveResult result = MoveBlockerOut(m_job, m_working, *blocker, k, e);
        if (EndsRun(result)) {
            m_working.End();
            return AfterMove(result);
        }
        switch (result) {
        case kMoved:
            m_passes = 0;
            m_working.End();
            break;
        case kMoveStopped:
            m_working.End();
            return Next::Abort;
        case kMoveGaveUp:
            m_working.End();
            blocker->SetDone(true);
            EngineReport(app::MSG_WAR_FILE_GIVEN_UP, blocker->Path().c_str());
            break;
        case kMoveCannotOpen:
            m_passes = 0;
            m_working.End();
            DropUnopenableFile(m_job, *blocker);
            m_job.m_view->RedrawFile(*blocker);
            break;
        case kMoveNoFreeSpace: {
            const MoveResult pushed = PushFileUp(m_job, blocker, e);
            m_working.End();
            if (EndsRun(pushed)) return AfterMove(pushed);
            if (pushed == kMoved) {
                m_passes = 0;
            } else {
                EngineReport(app::MSG_DIAG_INFO, "MSG_WAR_NOT_ENOUGH_DISKSPACE2");
                k = LastBlockedCluster(*blocker, k, e);
            }
            break;
        }
        case kMoveInvalidParameter:
            EngineReport(app::MSG_DIAG_ERROR, "1005");
            RefreshClusterBitmap(m_job);
            m_working.End();
            blocker->SetDone(true);
            if (m_job.KeepGoing()) m_job.m_view->RedrawAll();
            break;
        default:
            EngineReport(app::MSG_DIAG_INFO, "1006");
            m_working.End();
            if (m_job.KeepGoing()) EngineReport(app::MSG_WAR_DEFRAG_ABORTED);
            return Next::Abort;
        }
        if (!m_job.KeepGoing()) return Next::Abort;
    }
    (void)file;
    return Next::Continue;
}

CompleteRun::Next CompleteRun::PlaceFile(FileRecord& file, Lcn planned) {
    m_working.Begin(file);
    const MoveResult result = MoveFileTo(m_job, &file, planned);
    switch (result) {
    case kMoveCannotOpen:
        m_working.End();
        DropUnopenableFile(m_job, file);
        m_job.m_view->RedrawFile(file);
        EngineReport(app::MSG_INF_FILE_CANNOT_OPEN, file.Path().c_str());
        break;
    case kMoveGaveUp:
        if (TakenByAnotherProgram(planned, PlannedSize(m_job, file)))
            ReportDestinationOccupied(file);
        else
            EngineReport(app::MSG_WAR_FILE_GIVEN_UP, file.Path().c_str());
        m_table->AddDeferred(&file);
        m_working.End();
        break;
    case kMoved:
        m_working.End();
        if (IsAtPlannedPlace(file)) {
            file.SetDone(true);
            Placed(m_lastIndex);
        } else {
            // Moved "around" its target: part of the place was taken during the move.
            ReportDestinationOccupied(file);
            m_table->AddDeferred(&file);
        }
        break;
    case kMoveInvalidParameter:
        EngineReport(app::MSG_DIAG_ERROR, "1004");
        m_working.End();
        m_table->AddDeferred(&file);
        if (++m_invalidParameters >= kInvalidParametersBeforeRedraw) {
            RefreshClusterBitmap(m_job);
            m_job.m_view->RedrawAll();
            m_invalidParameters = 0;
        }
        break;
    default:
        m_working.End();
        break;
    }
    return AfterMove(result);
}

CompleteRun::Next CompleteRun::PlaceStepwise(FileRecord& file, Lcn planned, bool& placed) {
    placed = false;
    m_working.Begin(file);
    const MoveResult result = PlaceInSteps(m_job, file, planned);
    m_working.End();
    if (result == kMoveCannotOpen) {
        DropUnopenableFile(m_job, file);
        m_job.m_view->RedrawFile(file);
        EngineReport(app::MSG_INF_FILE_CANNOT_OPEN, file.Path().c_str());
        placed = false;
        return Next::Continue;
    }
    if (result == kMoved && IsAtPlannedPlace(file)) {
        file.SetDone(true);
        Placed(m_lastIndex);
        placed = true;
    }
    return AfterMove(result);
}

CompleteRun::Next CompleteRun::LoopDeferredPass(int64_t minimumFiles) {
    RefreshClusterBitmap(m_job);
    const int64_t placedBefore = m_placed;
    const bool wholePass = m_table->LastDeferredIndex() + 1 >= minimumFiles;
    for (int64_t pos = 0; m_table->LastDeferredIndex() + 1 >= minimumFiles && pos <= m_table->LastDeferredIndex();
         ++pos) {
        FileRecord* file = m_table->Deferred(pos);
        const uint8_t attempt = file->IncrementAttempts();
        if (attempt > kAttemptsLimit) {
            file->SetAttempts(kAttemptsPassedOver);
            continue;
        }
        if (file->IsDone() || file->AllocatedClusters() == 0) {
            m_table->RemoveDeferred(file);
            --pos;  // the next file now stands at this position
            continue;
        }
        const Lcn planned = file->PlannedLcn();
        const uint64_t size = file->AllocatedClusters();
        const volume::SearchUnit unit = SearchUnitOf(m_job, *file);
        const auto isFree = [&] {
            const auto run = m_bitmap->IsFreeRunAt(planned, size, unit);
            return run && *run == planned;
        };
        if (!isFree()) {
            // The whole planned range, as the plan reserved it (whole units for a compressed file).
            MoveResult last = kMoved;
            ClearClusterRange(m_job, planned, PlannedSize(m_job, *file), &last);
            if (EndsRun(last) || !m_job.KeepGoing()) return AfterMove(last);
        }
        if (!isFree() && file->IsFragmented()) {
            const MoveResult pushed = PushFileUp(m_job, file, planned + size - 1);
            if (EndsRun(pushed)) return AfterMove(pushed);
        }
        if (!isFree()) {
            const Lcn last = planned + PlannedSize(m_job, *file) - 1;
            if (TakenByAnotherProgram(planned, size) || !RangeIsMovable(m_job, planned, last, file)) continue;
            // Building a file into its range moves the clusters of others about;
            // a file that keeps failing at it is passed over after a few tries
            // instead of stirring the same ranges on every pass.
            if (attempt > kStepwiseAttempts) continue;
            bool placed = false;
            if (const Next next = PlaceStepwise(*file, planned, placed); next != Next::Continue) return next;
            if (file->IsDone() && !placed) --pos;  // dropped: it left the list
            continue;
        }

        m_working.Begin(*file);
        const MoveResult result = MoveFileTo(m_job, file, planned);
        m_working.End();
        switch (result) {
        case kMoved:
            if (IsAtPlannedPlace(*file)) {
                file->SetDone(true);
                Placed(m_lastIndex);
            } else {
                ReportDestinationOccupied(*file);
            }
            break;
        case kMoveGaveUp: {
            const auto fit = m_bitmap->FindFirstFit(planned, size, unit);
            EngineReport(app::MSG_WAR_FILE_GIVEN_UP, file->Path().c_str());
            if (fit && *fit == planned) file->SetDone(true);
            break;
        }
        case kMoveCannotOpen:
            m_passes = 0;
            DropUnopenableFile(m_job, *file);
            m_job.m_view->RedrawFile(*file);
            --pos;
            break;
        default:
            break;
        }
        if (const Next next = AfterMove(result); next != Next::Continue) return next;
    }
    // A whole pass that placed none of the waiting files: the room outside
    // the MFT zone is too small for them, so the rest of the run may use it.
    if (minimumFiles == kLoopPassMinimumFiles && wholePass && m_placed == placedBefore &&
        m_table->LastDeferredIndex() + 1 >= minimumFiles)
        GiveUpMftZone(m_job, "MFT zone given up for the waiting files");
    return Next::Continue;
}

}  // namespace tarvo::engine
