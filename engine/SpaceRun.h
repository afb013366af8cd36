// SpaceRun.h --- the state of one SPACE run and its steps (internal to the SPACE sources).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/MoveResult.h"
#include "engine/WorkingFile.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

class SpaceRun {
public:
    explicit SpaceRun(volume::CDefragJob& job) : m_job(job), m_working(job) {}
    int Run();

private:
    // Where a step leads: on to the next step, to the finish, or to the end as stopped.
    enum class Next { Continue, Finish, Abort };

    Next Start();
    Next PhaseOne();
    Next DeferredPassOne();
    Next PhaseTwo();
    Next PhaseThree();
    Next PhaseFour();
    // Moves the deferred file at position i if a first fit lies below its first
    // extent; removed answers whether it left the list. leaveOnGiveUp: 11 also removes it.
    Next TryDeferred(int64_t i, bool leaveOnGiveUp, bool& removed);
    Next Finish();
    int End();

    // The move procedure: mark, snapshot, path, MoveFileTo, reset, redraw.
    MoveResult MoveFile(volume::FileRecord& file, volume::Lcn target);
    // What every move result leads to first: write protection to the finish, a stop to the abort.
    Next AfterMove(MoveResult result);
    void Percent(int percent);
    void Searching();
    void GivenUp(volume::FileRecord& file);

    volume::CDefragJob& m_job;
    WorkingFile m_working;
    volume::FileTable* m_table = nullptr;
    volume::CClusterBitmap* m_bitmap = nullptr;
    int64_t m_lastIndex = -1;
    int64_t m_countAtStart = 0;
    int64_t m_initialFragmented = 0;
    int m_lastPercent = 0;
    bool m_completed = false;
    // A move met a write-protected or failing volume (reported); the run ends without completing.
    bool m_volumeFailed = false;
    bool m_handedOver = false;
    int m_handOffResult = 1;
};

}  // namespace tarvo::engine
