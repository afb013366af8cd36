// SpaceRun.h --- the state of one SPACE run and its steps (internal to the SPACE sources).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/MoveResult.h"
#include "engine/PassEnd.h"
#include "engine/WorkingFile.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

class SpaceRun {
public:
    explicit SpaceRun(volume::CDefragJob& job) : m_job(job), m_working(job), m_percent(job) {}
    int Run();

private:
    // Where a step leads: on to the next step, to the finish, or to the end as stopped.
    enum class Next { Continue, Finish, Abort };

    Next Start();
    Next PhaseOne();
    // The deferred pass of phase 1: the shared pass, while the list holds 4 files.
    Next DeferredPassOne();
    Next PhaseTwo();
    // The deferred files again, the whole list: the pass COMPLETE ends with too.
    Next PhaseThree();
    // Heavily fragmented files: the consolidation COMPLETE ends with too.
    Next PhaseFour();
    Next Finish();
    int End();

    // The move procedure: mark, snapshot, path, MoveFileTo, reset, redraw.
    MoveResult MoveFile(volume::FileRecord& file, volume::Lcn target);
    // What every move result leads to first: write protection to the finish, a stop to the abort.
    Next AfterMove(MoveResult result);
    // Where a shared pass leads: a failed volume to the finish, a stop to the abort.
    Next FromPass(PassEnd end);
    void Percent(int percent) { m_percent.Send(percent); }
    void Searching();
    void GivenUp(volume::FileRecord& file);

    volume::CDefragJob& m_job;
    WorkingFile m_working;
    RunPercent m_percent;
    volume::FileTable* m_table = nullptr;
    volume::CClusterBitmap* m_bitmap = nullptr;
    int64_t m_lastIndex = -1;
    int64_t m_countAtStart = 0;
    int64_t m_initialFragmented = 0;
    bool m_completed = false;
    // A move met a write-protected or failing volume (reported); the run ends without completing.
    bool m_volumeFailed = false;
    bool m_handedOver = false;
    int m_handOffResult = 1;
};

}  // namespace tarvo::engine
