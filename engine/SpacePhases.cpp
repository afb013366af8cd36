// SpacePhases.cpp --- SPACE phases 2 to 4: filling from the end, the deferred files, heavily fragmented files.
#include <algorithm>

#include "engine/Consolidation.h"
#include "engine/DeferredPass.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/RunTexts.h"
#include "engine/SpaceRun.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;

namespace {

constexpr size_t kSizeClasses = 10;
constexpr uint64_t kDeferAboveBytes = 3000000;

uint64_t RoundTo16(uint64_t n) { return (n + 15) / 16 * 16; }

}  // namespace

SpaceRun::Next SpaceRun::PhaseTwo() {
    Searching();
    const bool ntfs = m_job.IsNtfs();
    const uint64_t total = m_job.m_totalClusters;
    if (total < 2) return Next::Continue;
    std::array<Lcn, kSizeClasses> classStart{};
    uint64_t longest = 0;
    if (const auto first = m_bitmap->FindFirstFitInRange(0, total - 1, ntfs ? 16 : 1, longest))
        for (Lcn& start : classStart) start = std::max(start, *first);
    uint64_t threshold = total;
    Lcn cursor = total;
    while (cursor != 0) {
        if (!m_job.KeepGoing()) return Next::Abort;
        const auto highest = m_bitmap->FindHighestFileCluster(cursor - 1);
        if (!highest) break;
        cursor = *highest;
        Percent(static_cast<int>(95.0 - (95.0 / static_cast<double>(2 * total - 2)) * static_cast<double>(cursor)));

        FileRecord* file = m_bitmap->FindFileAt(cursor);
        if (!file) {
            Searching();
            continue;
        }
        const uint64_t allocated = file->AllocatedClusters();
        const uint64_t size = ntfs ? RoundTo16(allocated) : allocated;
        const int64_t rawClass = ntfs ? static_cast<int64_t>(size / 16) - 1 : static_cast<int64_t>(size) - 1;
        const size_t sizeClass = static_cast<size_t>(std::clamp<int64_t>(rawClass, 0, kSizeClasses - 1));

        std::optional<Lcn> target;
        if (size > threshold || file->IsDone()) {
            Searching();
        } else {
            target = m_bitmap->FindFirstFitInRange(classStart[sizeClass], cursor, size, longest);
            if (target) {
                classStart[sizeClass] = *target;
                for (size_t c = sizeClass + 1; c < kSizeClasses; ++c) classStart[c] = std::max(classStart[c], *target);
            } else {
                threshold = std::min(threshold, longest);
                file->SetDone(true);
                Searching();
                // Not even the smallest files fit below here: the phase ends after this file.
                if (sizeClass == 0) cursor = 1;
            }
        }

        if (!target || file->IsDone()) {
            // Jump past the file: to the start of its extent at the cursor, or below the whole file.
            if (file->IsFragmented()) {
                const Lcn start = file->ExtentStartAt(cursor);
                if (start != 0) cursor = start;
            } else if (allocated > 1 && cursor > 1) {
                cursor = cursor >= allocated - 1 ? cursor - allocated + 1 : 0;
            }
            continue;
        }

        const MoveResult result = MoveFile(*file, *target);
        if (const Next next = AfterMove(result); next != Next::Continue) return next;
        switch (result) {
        case kMoved:
            if (size * m_job.m_bytesPerCluster > kDeferAboveBytes) m_table->AddDeferred(file);
            break;
        case kMoveGaveUp:
            GivenUp(*file);
            break;
        case kMoveInvalidParameter:
            EngineReport(app::MSG_DIAG_ERROR, "1012");
            file->SetDone(true);
            RefreshClusterBitmap(m_job);
            m_table->AddDeferred(file);
            break;
        default:
            EngineReport(app::MSG_DIAG_ERROR, "1013");
            file->SetDone(true);
            m_table->AddDeferred(file);
            break;
        }
    }
    return Next::Continue;
}

SpaceRun::Next SpaceRun::PhaseThree() {
    Percent(97);
    DeferredPassOptions options;
    options.givenUp = GivenUpFiles::Leave;
    options.searching = SearchingText::BeforeEachFile;
    return FromPass(RunDeferredPass(m_job, m_working, options));
}

SpaceRun::Next SpaceRun::PhaseFour() { return FromPass(ConsolidateFragmentedFiles(m_job, m_working, m_percent)); }

}  // namespace tarvo::engine
