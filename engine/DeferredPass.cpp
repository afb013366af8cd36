// DeferredPass.cpp --- the pass over the deferred list that SPACE and COMPLETE share.
#include "engine/DeferredPass.h"

#include "app/StringTable.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "engine/RunEnding.h"
#include "engine/RunTexts.h"
#include "volume/ClusterBitmap.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

namespace {

constexpr uint8_t kAttemptsLimit = 200;
constexpr uint8_t kAttemptsPassedOver = 220;

void Searching(volume::CDefragJob& job) { SendStatus(job, app::LoadString(app::IDS_SEARCHING)); }

}  // namespace

PassEnd RunDeferredPass(volume::CDefragJob& job, WorkingFile& working, const DeferredPassOptions& options) {
    volume::FileTable* table = job.m_fileTable.get();
    volume::CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (!table || !bitmap) return PassEnd::Done;
    if (options.searching == SearchingText::OnlyWhenNoRun) RefreshClusterBitmap(job);

    for (int64_t i = 0; table->LastDeferredIndex() + 1 >= options.minimumFiles && i <= table->LastDeferredIndex();
         ++i) {
        volume::FileRecord* file = table->Deferred(i);
        if (options.attempts == AttemptCount::Yes && file->IncrementAttempts() > kAttemptsLimit) {
            file->SetAttempts(kAttemptsPassedOver);
            continue;
        }
        if (options.searching == SearchingText::BeforeEachFile) Searching(job);
        const uint64_t size = file->AllocatedClusters();
        if (size == 0) {
            table->RemoveDeferred(file);
            --i;  // the next file now stands at this position
            continue;
        }
        RefreshClusterBitmap(job);
        const auto run = bitmap->FindFirstFit(0, size);
        if (!run || *run >= FirstLcn(*file)) {
            Searching(job);
            continue;
        }
        working.Begin(*file);
        const MoveResult result = MoveFileTo(job, file, *run);
        working.End();
        if (EndsRun(result)) {
            ReportRunEnding(job, result);
            return PassEnd::VolumeFailed;
        }
        if (!job.KeepGoing()) return PassEnd::Stopped;

        if (result == kMoveGaveUp) EngineReport(app::MSG_WAR_FILE_GIVEN_UP, file->Path().c_str());
        const bool leaves = result == kMoved || result == kMoveCannotOpen ||
                            (result == kMoveGaveUp && options.givenUp == GivenUpFiles::Leave);
        if (result == kMoved || result == kMoveCannotOpen || result == kMoveGaveUp) file->SetDone(true);
        if (leaves) {
            table->RemoveDeferred(file);
            --i;
        }
    }
    return PassEnd::Done;
}

}  // namespace tarvo::engine
