// CompleteRun.h --- the state of one COMPLETE run and its steps (internal to the COMPLETE sources).
#pragma once

#include <cstdint>
#include <unordered_set>

#include "engine/MoveResult.h"
#include "engine/PassEnd.h"
#include "engine/SplitFileRebuild.h"
#include "engine/WorkingFile.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

class CompleteRun {
public:
    explicit CompleteRun(volume::CDefragJob& job) : m_job(job), m_working(job), m_percent(job) {}
    int Run();

private:
    // Where a step leads: on to the next step, to the finish, or to the end as stopped.
    enum class Next { Continue, Finish, Abort };

    // The in-loop deferred pass runs while the list holds at least this many files.
    static constexpr int64_t kLoopPassMinimumFiles = 6;

    Next Start();
    Next MainLoop();
    // The deferred pass between files: retries the listed files at their planned
    // places while the list holds at least minimumFiles.
    Next LoopDeferredPass(int64_t minimumFiles = kLoopPassMinimumFiles);
    // Clears the planned range of the file being placed, cluster by cluster.
    Next ClearPlannedRange(volume::FileRecord& file, volume::Lcn start, volume::Lcn e);
    // Moves the file to its planned LCN once its range is free.
    Next PlaceFile(volume::FileRecord& file, volume::Lcn planned);
    // Builds the file into its range front first when the range cannot be cleared at once.
    Next PlaceStepwise(volume::FileRecord& file, volume::Lcn planned, bool& placed);
    Next FinalPasses();
    void Finish();
    int End();

    // The move results every step treats alike: write protection and a failing
    // device go to the finish (logged once), a cleared flag to the abort.
    Next AfterMove(MoveResult result);
    Next FromPass(PassEnd end);
    void Placed(int64_t base);
    void Searching();
    // Whether the range holds clusters taken since the analysis by no listed file.
    bool TakenByAnotherProgram(volume::Lcn start, uint64_t length);
    // Reports (once per file) that its planned place was taken meanwhile.
    void ReportDestinationOccupied(volume::FileRecord& file);

    volume::CDefragJob& m_job;
    WorkingFile m_working;
    RunPercent m_percent;
    volume::FileTable* m_table = nullptr;
    volume::CClusterBitmap* m_bitmap = nullptr;
    int64_t m_lastIndex = -1;
    uint64_t m_fileIndex = 0;
    uint32_t m_passes = 0;
    int64_t m_placed = 0;
    uint32_t m_invalidParameters = 0;
    uint32_t m_countAtStart = 0;
    bool m_completed = false;
    // A move met a write-protected or failing volume (reported); the run ends without completing.
    bool m_volumeFailed = false;
    bool m_handedOver = false;
    int m_handOffResult = 1;
    std::unordered_set<const volume::FileRecord*> m_occupiedReported;
    // Each file's pieces before the first move: none may end in more.
    PieceCounts m_piecesAtStart;
};

}  // namespace tarvo::engine
