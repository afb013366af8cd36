// SplitFileRebuild.cpp --- moving files the run split back into one piece each.
#include "engine/SplitFileRebuild.h"

#include "engine/CompressionUnits.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "engine/RunEnding.h"
#include "volume/ClusterBitmap.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;

PieceCounts CountPieces(volume::CDefragJob& job) {
    PieceCounts counts;
    if (!job.m_fileTable) return counts;
    volume::FileTable& table = *job.m_fileTable;
    counts.reserve(static_cast<size_t>(table.LastIndex() + 1));
    for (int64_t i = 0; i <= table.LastIndex(); ++i) counts[table.Item(i)] = PieceCount(*table.Item(i));
    return counts;
}

PassEnd RebuildSplitFiles(volume::CDefragJob& job, WorkingFile& working, const PieceCounts& before) {
    volume::FileTable* table = job.m_fileTable.get();
    volume::CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (!table || !bitmap) return PassEnd::Done;
    bool refreshed = false;
    for (int64_t i = 0; i <= table->LastIndex(); ++i) {
        FileRecord& file = *table->Item(i);
        const auto was = before.find(&file);
        if (was == before.end() || PieceCount(file) <= was->second) continue;
        if (!job.KeepGoing()) return PassEnd::Stopped;
        if (!refreshed) {
            RefreshClusterBitmap(job);
            refreshed = true;
        }
        const uint64_t size = PlannedSize(job, file);
        const volume::SearchUnit unit = SearchUnitOf(job, file);
        const Lcn planned = file.PlannedLcn();
        std::optional<Lcn> run = bitmap->IsFreeRunAt(planned, size, unit);
        if (!run || *run != planned) run = bitmap->FindFirstFit(0, size, unit);
        if (!run) continue;
        working.Begin(file);
        const MoveResult result = MoveFileTo(job, &file, *run);
        working.End();
        if (EndsRun(result)) {
            ReportRunEnding(job, result);
            return PassEnd::VolumeFailed;
        }
        if (!job.KeepGoing()) return PassEnd::Stopped;
        if (result == kMoved && IsAtPlannedPlace(file)) file.SetDone(true);
    }
    return PassEnd::Done;
}

}  // namespace tarvo::engine
