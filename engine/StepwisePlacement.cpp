// StepwisePlacement.cpp --- building a file into its planned range front first.
#include "engine/StepwisePlacement.h"

#include <algorithm>
#include <vector>

#include "engine/CompressionUnits.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "volume/ClusterBitmap.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;
using volume::Vcn;

namespace {

constexpr int kFailuresInARow = 20;
// Volumes below this size get no piece of another file moved aside (as PushFileUp).
constexpr uint64_t kSmallVolumeBytes = 20000000;

// The VCN of cluster lcn in the file and the length of its extent from there; false when not the file's.
bool PieceAt(const FileRecord& file, Lcn lcn, Vcn& vcn, uint64_t& length) {
    Vcn start = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        const uint64_t n = pair.nextVcn - start;
        if (pair.lcn != volume::kVirtualLcn && lcn >= pair.lcn && lcn - pair.lcn < n) {
            vcn = start + (lcn - pair.lcn);
            length = n - (lcn - pair.lcn);
            return true;
        }
        start = pair.nextVcn;
    }
    return false;
}

// A free run of length clusters of the file outside first .. last: above it first, else below it.
std::optional<Lcn> RunOutside(volume::CDefragJob& job, const FileRecord& file, Lcn first, Lcn last,
                              uint64_t length) {
    volume::CClusterBitmap& bitmap = *job.m_clusterBitmap;
    const volume::SearchUnit unit = SearchUnitOf(job, file);
    if (auto run = bitmap.FindLastFit(last + 1, length, unit)) return run;
    uint64_t longest = 0;
    if (first > 0)
        if (auto run = bitmap.FindFirstFitInRange(0, first - 1, length, longest, unit);
            run && *run + InMoveUnits(job, file, length) <= first)
            return run;
    return std::nullopt;
}

// The longest run (up to want) that RunOutside finds, halving the length until one fits.
std::optional<Lcn> LongestRunOutside(volume::CDefragJob& job, const FileRecord& file, Lcn first, Lcn last,
                                     uint64_t& want) {
    for (; want > 0; want /= 2)
        if (auto run = RunOutside(job, file, first, last, want)) return run;
    return std::nullopt;
}

// Free clusters at lcn, counted up to limit, in the volume map.
uint64_t FreeAt(const volume::CClusterBitmap& bitmap, Lcn lcn, uint64_t limit) {
    uint64_t n = 0;
    while (n < limit && lcn + n < bitmap.TotalClusters() && !bitmap.Bit(volume::ClusterMap::Volume, lcn + n)) ++n;
    return n;
}

// The first free stretch of from .. last in the volume map: its start and length.
bool FreeHoleInRange(const volume::CClusterBitmap& bitmap, Lcn from, Lcn last, Lcn& start, uint64_t& length) {
    last = std::min<Lcn>(last, bitmap.TotalClusters() - 1);
    for (Lcn lcn = from; lcn <= last; ++lcn) {
        if (bitmap.Bit(volume::ClusterMap::Volume, lcn)) continue;
        start = lcn;
        while (lcn <= last && !bitmap.Bit(volume::ClusterMap::Volume, lcn)) ++lcn;
        length = lcn - start;
        return true;
    }
    return false;
}

}  // namespace

Vcn PlacedPrefix(const FileRecord& file, Lcn planned) {
    Vcn start = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0 || pair.lcn != planned + start) break;
        start = pair.nextVcn;
    }
    return start;
}

namespace {

// The building itself; PlaceInSteps gathers a file it leaves in more pieces.
MoveResult BuildInRange(volume::CDefragJob& job, FileRecord& file, Lcn planned) {
    volume::CClusterBitmap& bitmap = *job.m_clusterBitmap;
    // Files with virtual runs move in whole compression units only: not built piecewise.
    const bool wasWhole = !file.IsFragmented();
    if (file.CompressedFlag()) return kMoveNoFreeSpace;
    const uint64_t allocated = file.AllocatedClusters();
    const Lcn last = planned + PlannedSize(job, file) - 1;
    int failures = 0;
    RefreshClusterBitmap(job);
    while (!IsAtPlannedPlace(file)) {
        // A stop waits only while the file is in pieces it was not in before.
        if (!job.KeepGoing() && !(wasWhole && file.IsFragmented())) return kMoveStopped;
        if (failures >= kFailuresInARow) return kMoveNoFreeSpace;
        const Vcn placed = PlacedPrefix(file, planned);
        if (placed >= allocated) break;  // in place (or its VCNs run past its clusters: nothing left)
        const Lcn target = planned + placed;
        FileRecord* owner = nullptr;
        MoveResult result = kMoved;
        if (const uint64_t free = FreeAt(bitmap, target, allocated - placed); free > 0) {
            result = MoveRange(job, &file, placed, target, free, CountUpdate::Yes);
        } else {
            owner = bitmap.FindFileAt(target);
            if (!owner || (owner != &file && owner->IsDone())) return kMoveNoFreeSpace;
            Vcn vcn = 0;
            uint64_t length = 0;
            if (!PieceAt(*owner, target, vcn, length)) return kMoveNoFreeSpace;
            const auto whole =
                owner == &file ? std::nullopt : RunOutside(job, *owner, planned, last, owner->AllocatedClusters());
            Lcn hole = 0;
            uint64_t holeLength = 0;
            if (whole) {
                result = MoveFileTo(job, owner, *whole);
            } else if (owner != &file && FreeHoleInRange(bitmap, target, planned + allocated - 1, hole, holeLength)) {
                // The blocker fits nowhere whole yet: the file's clusters for a later free
                // stretch of the range go there first, and the room they leave grows.
                result = MoveRange(job, &file, hole - planned, hole, holeLength, CountUpdate::Yes);
                owner = nullptr;
            } else if (owner != &file && !job.KeepGoing()) {
                // Splitting another file is the last resort, and never done after a stop.
                return kMoveStopped;
            } else if (owner != &file && job.m_totalClusters * job.m_bytesPerCluster < kSmallVolumeBytes) {
                // Pieces of other files are moved aside only where the push-up does it too.
                return kMoveNoFreeSpace;
            } else {
                // Only the blocker's piece inside the range leaves it, in the longest runs there are.
                uint64_t want = std::min<uint64_t>(length, last - target + 1);
                const auto run = LongestRunOutside(job, *owner, planned, last, want);
                if (run) {
                    result = MoveRange(job, owner, vcn, *run, want, CountUpdate::Yes);
                } else if (owner == &file &&
                           FreeHoleInRange(bitmap, target, planned + allocated - 1, hole, holeLength)) {
                    // The free space outside is used up by the file's own pieces moved out of
                    // the way: its clusters for a later free stretch of the range go there,
                    // for good, and the room they leave outside takes the next piece.
                    result = MoveRange(job, &file, hole - planned, hole, holeLength, CountUpdate::Yes);
                    owner = nullptr;
                } else {
                    result = kMoveNoFreeSpace;
                }
            }
        }
        if (EndsRun(result) || result == kMoveCannotOpen) return result;
        RefreshClusterBitmap(job);
        // Progress is judged from the volume, not from the answers: a move "around" its
        // target answers 1 and may have left the cluster where it was.
        const bool progress = owner ? bitmap.FindFileAt(target) != owner : result == kMoved;
        failures = progress ? 0 : failures + 1;
    }
    return kMoved;
}

// One real extent of a file: VCNs start .. next - 1 at lcn.
struct FormerExtent {
    Vcn start;
    Vcn next;
    Lcn lcn;
};

std::vector<FormerExtent> RealExtents(const FileRecord& file) {
    std::vector<FormerExtent> extents;
    Vcn start = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        if (pair.lcn != volume::kVirtualLcn) extents.push_back({start, pair.nextVcn, pair.lcn});
        start = pair.nextVcn;
    }
    return extents;
}

// Moves the first piece of the file that is not where the former extents had
// it back there. kMoved when one went back, 0 when every piece is in its former
// place, else the move's answer.
MoveResult MoveOnePieceBack(volume::CDefragJob& job, FileRecord& file, const std::vector<FormerExtent>& former) {
    for (const FormerExtent& now : RealExtents(file)) {
        for (Vcn v = now.start; v < now.next;) {
            const auto was = std::find_if(former.begin(), former.end(),
                                          [&](const FormerExtent& x) { return x.start <= v && v < x.next; });
            if (was == former.end()) return 0;  // a VCN the file did not hold: nothing to go back to
            const Vcn end = std::min(now.next, was->next);
            const Lcn home = was->lcn + (v - was->start);
            if (now.lcn + (v - now.start) != home)
                return MoveRange(job, &file, v, home, end - v, CountUpdate::Yes);
            v = end;
        }
    }
    return 0;
}

// A file left in more pieces than it had goes back together: its pieces back
// to where they were, else the whole file into a free run of its size outside
// its range. Best effort, also after a stop: the caller judges the file by its
// extents.
void Gather(volume::CDefragJob& job, FileRecord& file, Lcn planned, const std::vector<FormerExtent>& former,
            uint32_t piecesBefore) {
    MoveResult back = kMoved;
    for (size_t tries = 2 * (former.size() + file.PairCount()); tries > 0 && back == kMoved; --tries)
        back = MoveOnePieceBack(job, file, former);
    if (EndsRun(back) || PieceCount(file) <= piecesBefore) return;
    RefreshClusterBitmap(job);
    const Lcn last = planned + PlannedSize(job, file) - 1;
    if (const auto run = RunOutside(job, file, planned, last, file.AllocatedClusters()))
        MoveFileTo(job, &file, *run);
}

}  // namespace

MoveResult PlaceInSteps(volume::CDefragJob& job, FileRecord& file, Lcn planned) {
    if (!job.m_clusterBitmap) return kMoveFailed;
    const uint32_t piecesBefore = PieceCount(file);
    const std::vector<FormerExtent> former = RealExtents(file);
    const MoveResult result = BuildInRange(job, file, planned);
    // A build that cannot be finished now must not leave the file in more
    // pieces than it had: it is retried later, and a stop may come first.
    if ((result == kMoveNoFreeSpace || result == kMoveStopped) && PieceCount(file) > piecesBefore)
        Gather(job, file, planned, former, piecesBefore);
    return result;
}

}  // namespace tarvo::engine
