// MoveFileTo.cpp --- placing a whole file contiguously at a target, and pushing a file's low pieces up.
#include <algorithm>
#include <chrono>

#include "app/SettingsTable.h"
#include "engine/CompressionUnits.h"
#include "engine/MoveFile.h"
#include "engine/MoveSupport.h"
#include "engine/RunTexts.h"
#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/ExtentReader.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

using namespace tarvo::platform;
using volume::kPairMapEnd;
using volume::kVirtualLcn;
using volume::PairLookup;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStallRestart = 20;
constexpr int kSingleClusterEvery = 30;
constexpr int kMaxPasses = 300;
constexpr uint64_t kSmallVolumeBytes = 20000000;
constexpr uint64_t kPushLcnLimit = 99999999;

Clock::time_point Deadline() {
    int seconds = app::ReadSpaceMaxTryTime();
    if (seconds < 0) seconds = 240;
    return Clock::now() + std::chrono::seconds(seconds);
}

bool AtEnd(const PairLookup& look) { return look.found && look.nextVcn == kPairMapEnd; }

// The extent starting at vcn, passing over virtual extents (vcn follows them).
PairLookup RealExtentFrom(FileRecord& file, Vcn& vcn) {
    PairLookup look = file.NextPairAfter(vcn);
    while (look.found && !AtEnd(look) && look.lcn == kVirtualLcn) {
        vcn = look.nextVcn;
        look = file.NextPairAfter(vcn);
    }
    return look;
}

// The piecewise placement of MoveFileTo and its finish.
class Placement {
public:
    Placement(CDefragJob& job, FileRecord& file, Lcn target)
        : m_job(job), m_file(file), m_rule(file), m_piecesBefore(PieceCount(file)), m_t0(target) {}

    MoveResult Run(Lcn target);

private:
    MoveResult Finish(MoveResult result);
    MoveResult Piecewise(MoveResult result);
    void SendWaiting(Lcn target);

    CDefragJob& m_job;
    FileRecord& m_file;
    FragmentedCountRule m_rule;
    uint32_t m_piecesBefore;
    Lcn m_t0;
    Clock::time_point m_deadline = Deadline();
};

MoveResult Placement::Finish(MoveResult result) {
    if (result == kMoveAlreadyCommitted) result = kMoved;
    volume::RefreshExtents(m_job, m_file);
    m_rule.Apply(m_job, m_file);
    RefreshClusterBitmap(m_job);
    return result;
}

void Placement::SendWaiting(Lcn target) {
    std::string text = m_file.Path() + " (W)";
    if (target == 0) text += " (-> 0 )\n";
    SendStatus(m_job, std::move(text));
}

MoveResult Placement::Run(Lcn target) {
    const uint64_t length = m_file.VirtualLength();
    // Only a file that moves in compression units asks for whole units first:
    // for any other file a count past its end is refused and costs a call.
    const uint64_t rounded = InMoveUnits(m_job, m_file, length);
    MoveResult result = MoveRange(m_job, &m_file, 0, target, rounded, CountUpdate::No);
    if (result == kMoved && !m_file.IsFragmented() && m_file.PairCount() > 0 && m_file.GetPair(0).lcn == target)
        return Finish(kMoved);
    // A failing device is not asked again: a retry that happened to succeed would hide the failure.
    if (result != kMoved && !EndsRun(result)) result = MoveRange(m_job, &m_file, 0, target, length, CountUpdate::No);
    if (EndsRun(result)) return Finish(result);
    return Piecewise(result);
}

MoveResult Placement::Piecewise(MoveResult result) {
    Vcn v = 0;
    Lcn t = m_t0;
    int stalls = 0;
    int passes = 0;
    MoveResult lastFailure = 0;
    // Passes count from the last time the file grew at the target; finding pieces
    // in place again after a restart is no progress, so a target that another
    // program keeps taking cannot hold the loop forever.
    Vcn placedUpTo = 0;
    for (;;) {
        if (!m_file.IsFragmented() && m_rule.Before()) return Finish(result);
        if (lastFailure == kMoveAlreadyCommitted && Clock::now() > m_deadline) {
            volume::RereadExtents(m_job, m_file);
            return Finish(kMoveGaveUp);
        }
        lastFailure = kMoved;
        SendStatus(m_job, m_file.Path());
        // A stop leaves the file, but never in more pieces than it had at the call.
        if (!m_job.KeepGoing() && PieceCount(m_file) <= m_piecesBefore) return Finish(kMoveStopped);

        PairLookup look = m_file.NextPairAfter(v);
        if (v == 0 && look.found && !AtEnd(look) && look.lcn == t) {
            // The front of the file is in place already.
            do {
                t += look.nextVcn - v;
                v = look.nextVcn;
                look = RealExtentFrom(m_file, v);
            } while (look.found && !AtEnd(look) && look.lcn == t);
        }
        if (AtEnd(look) || (look.found && look.lcn == 0)) return Finish(result);
        if (!look.found || stalls >= kStallRestart) {
            if (stalls > kStallRestart) {
                stalls = 0;
                RefreshClusterBitmap(m_job);
            }
            v = 0;
            t = m_t0;
            look = m_file.NextPairAfter(0);
            if (look.found && !AtEnd(look) && look.lcn == m_t0) {
                t += look.nextVcn;
                v = look.nextVcn;
                look = m_file.NextPairAfter(v);
            }
        }
        look = RealExtentFrom(m_file, v);
        if (!look.found || AtEnd(look)) return Finish(result);

        Vcn next = look.nextVcn;
        Lcn p = look.lcn;
        uint64_t n = next - v;
        // A piece inside the target window stays; the file is built on after it.
        while (t < p && p < t + n) {
            t = p + n;
            v = next;
            look = m_file.NextPairAfter(v);
            if (!look.found || AtEnd(look)) return Finish(kMoved);
            next = look.nextVcn;
            p = look.lcn;
            n = next - v;
        }

        bool tried = false;
        if (p == t) {
            // Every piece that follows in place is passed in this one pass: a
            // compressed file holds one piece per unit, and walking them a pass
            // each after a restart would reach the pass limit with nothing wrong.
            for (;;) {
                t += n;
                v = next;
                const PairLookup after = RealExtentFrom(m_file, v);
                if (!after.found || AtEnd(after) || after.lcn != t) break;
                next = after.nextVcn;
                n = next - v;
            }
            stalls = 0;
            if (v > placedUpTo) {
                placedUpTo = v;
                passes = 0;
            }
            result = kMoved;
        } else if (p != kVirtualLcn && v != ~Vcn{0}) {
            tried = true;
            // Counts are VCNs: a file that moves in compression units asks for
            // whole units up to its end, which NTFS accepts, not its real clusters.
            const bool units = MovesInCompressionUnits(m_job, m_file);
            const uint64_t length = m_file.VirtualLength();
            const uint64_t rest = units ? (length > v ? length - v : 0) : m_file.AllocatedClustersAfter(v);
            const uint64_t piece = units ? std::min(InMoveUnits(m_job, m_file, n), rest) : n;
            result = kMoveFailed;
            if (rest > 0) result = MoveRange(m_job, &m_file, v, t, rest, CountUpdate::No);
            if (result != kMoved && !EndsRun(result) && piece > 0)
                result = MoveRange(m_job, &m_file, v, t, piece, CountUpdate::No);
        }

        ++passes;
        // A single cluster of a file that moves in compression units is refused
        // with STATUS_INVALID_PARAMETER, which would end the placement: no such try.
        if (tried && passes % kSingleClusterEvery == 0 && !MovesInCompressionUnits(m_job, m_file)) {
            HANDLE handle = volume::OpenFileForExtents(m_file.Path(), volume::ExtentOpenForm::PlainShareReadWrite);
            if (handle == INVALID_HANDLE_VALUE) return Finish(kMoveCannotOpen);
            result = MoveClustersSingly(m_job, handle, v, t, 1);
            volume::RefreshExtents(m_job, m_file);
            CloseHandle(handle);
        }
        // Never retried: the method ends the run on it.
        if (EndsRun(result)) return Finish(result);
        if (passes > kMaxPasses) return Finish(kMoveGaveUp);

        switch (result) {
        case kMoveCannotOpen:
            return Finish(result);
        case kMoveInvalidParameter:
            volume::RereadExtents(m_job, m_file);
            return Finish(result);
        case kMoveAlreadyCommitted:
            lastFailure = kMoveAlreadyCommitted;
            RefreshClusterBitmap(m_job);
            SendWaiting(t);
            if (p == t) {
                t += next - v;
                v = next;
            } else {
                ++stalls;
            }
            break;
        default:
            break;
        }
    }
}

// Moves one piece of s clusters from v to target. On NTFS a piece larger than one
// call may carry goes in capped calls one after the other, so that it lands in
// VCN order and stays one piece.
MoveResult MovePiece(CDefragJob& job, FileRecord& file, Vcn v, Lcn target, uint64_t s) {
    if (CappedMoveCount(job, file, s) >= s) return MoveRange(job, &file, v, target, s, CountUpdate::Yes);
    const uint64_t length = file.VirtualLength();
    uint64_t left = length > v ? std::min(s, length - v) : s;
    MoveResult result = kMoved;
    while (left > 0) {
        const uint64_t step = CappedMoveCount(job, file, left);
        result = MoveRange(job, &file, v, target, left, CountUpdate::Yes);
        if (result != kMoved) break;
        left -= step;
        v += step;
        target += step;
    }
    return result;
}

}  // namespace

MoveResult MoveFileTo(CDefragJob& job, FileRecord* file, Lcn target) {
    if (!file) return kMoveFailed;
    Placement placement(job, *file, target);
    return placement.Run(target);
}

MoveResult PushFileUp(CDefragJob& job, FileRecord* file, Lcn limit) {
    if (!file || !job.m_clusterBitmap) return 0;
    if (job.m_totalClusters * job.m_bytesPerCluster < kSmallVolumeBytes) return 0;
    volume::CClusterBitmap& bitmap = *job.m_clusterBitmap;
    RefreshClusterBitmap(job);
    volume::RefreshExtents(job, *file);
    const uint64_t minPiece = job.IsNtfs() ? 32 : 4;
    // A piece of a file that moves cluster by cluster is pushed at its own length.
    const volume::SearchUnit unit = SearchUnitOf(job, *file);
    const Clock::time_point deadline = Deadline();
    const uint64_t total = job.m_totalClusters;
    bool moved = false;
    bool havePrevious = false;
    Lcn previous = 0;
    uint64_t extents = file->PairCount();
    for (uint64_t pass = 0; pass < 2 * extents && Clock::now() <= deadline; ++pass, extents = file->PairCount()) {
        if (!job.KeepGoing()) return 0;
        volume::ExtentPosition lowest{kVirtualLcn, 0};
        file->LowestExtent(lowest);
        const Lcn p = lowest.lcn;
        SendStatus(job, file->Path() + " [" + std::to_string(static_cast<int64_t>(p)) + "," +
                            std::to_string(extents) + "]");
        if (p == kVirtualLcn) continue;
        if (p > limit) break;
        uint64_t s = InMoveUnits(job, *file, file->ExtentLengthAt(p));
        if (havePrevious && p == previous) s = file->AllocatedClustersAfter(lowest.startVcn);
        havePrevious = true;
        previous = p;
        if (p + s >= kPushLcnLimit) continue;
        Lcn cursor = total;
        std::optional<Lcn> found = bitmap.FindLastFitFrom(p + s, s, cursor, unit);
        if (!found && s > minPiece) {
            s = std::max(s / 10, minPiece);
            cursor = total;
            found = bitmap.FindLastFitFrom(p + s, s, cursor, unit);
            if (!found && s > minPiece) {
                s = minPiece;
                cursor = total;
                found = bitmap.FindLastFitFrom(p + minPiece, minPiece, cursor, unit);
            }
        }
        if (!found) break;
        if (s == 0 || *found + s - 1 > total - 1) break;
        const MoveResult result = MovePiece(job, *file, lowest.startVcn, *found, s);
        if (EndsRun(result)) return result;
        RefreshClusterBitmap(job);
        // Only a move that succeeded counts as a piece moved.
        if (result == kMoved) moved = true;
    }
    return moved ? 1 : 0;
}

}  // namespace tarvo::engine
