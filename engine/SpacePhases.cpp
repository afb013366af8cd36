// SpacePhases.cpp --- SPACE phases 2 to 4: filling from the end, the deferred files, heavily fragmented files.
#include <algorithm>
#include <string>

#include "app/StringTable.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/RunTexts.h"
#include "engine/SpaceRun.h"
#include "volume/ExtentReader.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;
using volume::Vcn;

namespace {

constexpr size_t kSizeClasses = 10;
constexpr uint64_t kDeferAboveBytes = 3000000;
constexpr uint32_t kHeavilyFragmentedExtents = 10;

uint64_t RoundTo16(uint64_t n) { return (n + 15) / 16 * 16; }

// The first VCN above current at which a piece of the file begins: an extent
// whose LCN does not follow the end of the previous real extent. Virtual
// extents are passed over. False when no piece begins above current.
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
    for (int64_t i = 0; i <= m_table->LastDeferredIndex(); ++i) {
        Searching();
        bool removed = false;
        if (const Next next = TryDeferred(i, true, removed); next != Next::Continue) return next;
        if (removed) --i;
    }
    return Next::Continue;
}

SpaceRun::Next SpaceRun::PhaseFour() {
    RefreshClusterBitmap(m_job);
    const uint64_t total = m_job.m_totalClusters;
    const uint64_t half = total / 2;
    const uint64_t shortRun = m_job.IsNtfs() ? 16 : 2;
    Lcn upper = total;
    const std::string searching = app::LoadString(app::IDS_SEARCHING);
    for (size_t k = 0;; ++k) {
        FileRecord* file = m_table->NthFragmented(k);
        if (!file) break;
        const auto progress = [&] {
            Percent(98);
            SendStatus(m_job, searching + std::to_string(k));
        };
        progress();
        if (!m_job.KeepGoing()) return Next::Abort;
        const uint64_t allocated = file->AllocatedClusters();
        if (allocated == 0 || file->PairCount() <= kHeavilyFragmentedExtents) continue;
        const uint64_t wanted = allocated / 10;
        uint64_t length = wanted;
        auto run = m_bitmap->FindFreeRunDown(upper, length);
        if (!run || upper <= half) continue;
        Vcn current = 0;
        while (*run > 0 && *run - 1 > half) {
            progress();
            length = wanted;
            run = m_bitmap->FindFreeRunDown(*run - 1, length);
            if (!run) break;
            if (length <= shortRun) upper = *run > 0 ? *run - 1 : 0;
            if (length < wanted) continue;
            volume::RereadExtents(m_job, *file);
            m_working.Begin(*file);
            Vcn piece = 0;
            if (!NextPieceStart(*file, current, piece)) {
                m_working.End();
                break;
            }
            current = piece;
            const MoveResult result = MoveFollowingExtents(m_job, file, piece, *run, length, CountUpdate::Yes);
            if (EndsRun(result)) {
                m_working.End();
                return AfterMove(result);
            }
            if (result != kMoved) {
                m_working.End();
                break;
            }
            RefreshClusterBitmap(m_job);
            m_working.End();
        }
    }
    return Next::Continue;
}

}  // namespace tarvo::engine
