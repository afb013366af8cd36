// Consolidation.cpp --- moving the pieces of heavily fragmented files into large free runs high on the volume.
#include "engine/Consolidation.h"

#include <string>

#include "app/StringTable.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/RunEnding.h"
#include "engine/RunTexts.h"
#include "volume/ClusterBitmap.h"
#include "volume/ExtentReader.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;
using volume::Vcn;

namespace {
constexpr uint32_t kHeavilyFragmentedExtents = 10;
}

bool NextPieceStart(const FileRecord& file, Vcn current, Vcn& out) {
    Vcn start = 0;
    bool haveReal = false;
    Lcn expected = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        if (pair.lcn != volume::kVirtualLcn) {
            if (haveReal && pair.lcn != expected && start > current) {
                out = start;
                return true;
            }
            haveReal = true;
            expected = pair.lcn + (pair.nextVcn - start);
        }
        start = pair.nextVcn;
    }
    return false;
}

PassEnd ConsolidateFragmentedFiles(volume::CDefragJob& job, WorkingFile& working, RunPercent& percent) {
    volume::FileTable* table = job.m_fileTable.get();
    volume::CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (!table || !bitmap) return PassEnd::Done;
    RefreshClusterBitmap(job);
    const uint64_t total = job.m_totalClusters;
    const uint64_t half = total / 2;
    const uint64_t shortRun = job.IsNtfs() ? 16 : 2;
    const std::string searching = app::LoadString(app::IDS_SEARCHING);
    Lcn upper = total;  // where the next downward search starts
    for (size_t k = 0;; ++k) {
        FileRecord* file = table->NthFragmented(k);
        if (!file) break;
        const auto progress = [&] {
            percent.Send(98);
            SendStatus(job, searching + std::to_string(k));
        };
        progress();
        if (!job.KeepGoing()) return PassEnd::Stopped;
        const uint64_t allocated = file->AllocatedClusters();
        if (allocated == 0 || file->PairCount() <= kHeavilyFragmentedExtents) continue;
        const uint64_t wanted = allocated / 10;
        uint64_t length = wanted;
        auto run = bitmap->FindFreeRunDown(upper, length);
        if (!run || upper <= half) continue;
        Vcn current = 0;
        // Each search starts one below the last run found, so the walk only goes down.
        while (*run > 0 && *run - 1 > half) {
            progress();
            length = wanted;
            run = bitmap->FindFreeRunDown(*run - 1, length);
            if (!run) break;
            if (length <= shortRun) upper = *run > 0 ? *run - 1 : 0;
            if (length < wanted) continue;
            volume::RereadExtents(job, *file);
            working.Begin(*file);
            Vcn piece = 0;
            if (!NextPieceStart(*file, current, piece)) {
                working.End();
                break;
            }
            current = piece;
            const MoveResult result = MoveFollowingExtents(job, file, piece, *run, length, CountUpdate::Yes);
            if (EndsRun(result)) {
                working.End();
                ReportRunEnding(job, result);
                return PassEnd::VolumeFailed;
            }
            if (result != kMoved) {
                working.End();
                break;
            }
            RefreshClusterBitmap(job);
            working.End();
        }
    }
    return PassEnd::Done;
}

}  // namespace tarvo::engine
