// ClearClusterRange.cpp --- moving blocking files out of a planned range.
#include "engine/ClearClusterRange.h"

#include "engine/CompressionUnits.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "engine/RunTexts.h"
#include "volume/ClusterBitmap.h"
#include "volume/FileTable.h"
#include "volume/ViewSink.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;

MoveResult MoveBlockerOut(volume::CDefragJob& job, WorkingFile& working, FileRecord& blocker, Lcn k, Lcn e) {
    volume::CClusterBitmap& bitmap = *job.m_clusterBitmap;
    working.Begin(blocker);
    RefreshClusterBitmap(job);
    const uint64_t size = blocker.AllocatedClusters();
    const volume::SearchUnit unit = SearchUnitOf(job, blocker);
    MoveResult result = kMoveFailed;
    const Lcn planned = blocker.PlannedLcn();
    const auto free = bitmap.IsFreeRunAt(planned, size, unit);
    if (free && *free == planned) {
        SendStatus(job, blocker.Path());
        result = MoveFileTo(job, &blocker, planned);
        // Done only when it really lies there: a move that ended "around" its
        // target must still be placed later.
        if (result != kMoveFailed && IsAtPlannedPlace(blocker)) blocker.SetDone(true);
        if (EndsRun(result) || result == kMoveStopped) return result;
    }
    if (bitmap.IsFileCluster(k) && bitmap.FindFileAt(k) == &blocker) {
        // Above the range only: a run that reached into it would have to be cleared again.
        const auto run = bitmap.FindLastFit(e + 1, size, unit);
        result = run ? MoveFileTo(job, &blocker, *run) : kMoveNoFreeSpace;
    }
    return result;
}

void DropUnopenableFile(volume::CDefragJob& job, FileRecord& file) {
    if (job.m_clusterBitmap) job.m_clusterBitmap->UnregisterFile(file);
    file.ClearState();
    file.SetDone(true);
    if (job.m_fileTable) job.m_fileTable->RemoveDeferred(&file);
}

int ClearClusterRange(volume::CDefragJob& job, Lcn start, uint64_t length, MoveResult* lastResult) {
    if (lastResult) *lastResult = kMoved;
    const uint64_t total = job.m_totalClusters;
    if (start >= total || length == 0) return 1;
    if (!job.m_clusterBitmap) return 0;
    volume::CClusterBitmap& bitmap = *job.m_clusterBitmap;
    const Lcn e = start + length - 1;
    const Lcn stop = e < total - 1 ? e : total - 1;
    WorkingFile working(job);
    for (Lcn k = start; k <= stop; ++k) {
        if (!job.KeepGoing()) return 0;
        FileRecord* blocker = bitmap.FindFileAt(k);
        if (!blocker || blocker->IsDone()) continue;
        const MoveResult result = MoveBlockerOut(job, working, *blocker, k, e);
        if (lastResult) *lastResult = result;
        // The caller reports a result that ends the run and ends it.
        if (EndsRun(result)) return 0;
        switch (result) {
        case kMoved:
            working.End();
            if (!job.KeepGoing()) return 0;
            continue;
        case kMoveStopped:
        case kMoveGaveUp:
            return 0;
        case kMoveCannotOpen:
            working.End();
            DropUnopenableFile(job, *blocker);
            if (job.m_view) job.m_view->RedrawFile(*blocker);
            return 0;
        case kMoveNoFreeSpace:
            if (blocker->IsFragmented()) {
                const MoveResult pushed = PushFileUp(job, blocker, e);
                if (EndsRun(pushed)) {
                    if (lastResult) *lastResult = pushed;
                } else if (pushed == 0) {
                    EngineReport(app::MSG_DIAG_INFO, "MSG_WAR_NOT_ENOUGH_DISKSPACE2");
                }
            }
            return 0;
        case kMoveInvalidParameter:
            RefreshClusterBitmap(job);
            working.End();
            if (job.m_view) job.m_view->RedrawAll();
            return 0;
        default:
            EngineReport(app::MSG_DIAG_INFO, "1003");
            working.End();
            if (job.KeepGoing()) EngineReport(app::MSG_WAR_DEFRAG_ABORTED);
            return 0;
        }
    }
    return 1;
}

}  // namespace tarvo::engine
