// MoveRange.cpp --- the single move calls: one range, following extents, single clusters; the count rule.
#include <algorithm>
#include <cstdint>

#include "engine/CompressionUnits.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/MoveSupport.h"
#include "engine/RunTexts.h"
#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/ExtentReader.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

using namespace tarvo::platform;

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr uint64_t kMaxBytesPerCall = 5000000;

// The count one call carries: volumes hold at most 2^32 clusters, so a larger
// count is bounded rather than cut to its low 32 bits.
DWORD CallCount(uint64_t count) { return static_cast<DWORD>(std::min<uint64_t>(count, 0xFFFFFFFFu)); }

bool IsNegative(uint64_t value) { return static_cast<int64_t>(value) < 0; }

}  // namespace

MoveResult MapMoveAnswer(const volume::MoveAnswer& answer) {
    // A pending call has completed by now; its status is the one in the I/O status block.
    const NTSTATUS status = answer.status == STATUS_PENDING ? answer.ioStatus : answer.status;
    if (status == STATUS_SUCCESS && answer.ioStatus == STATUS_SUCCESS) return kMoved;
    if (status == STATUS_ALREADY_COMMITTED || status == STATUS_INVALID_PARAMETER ||
        status == STATUS_MEDIA_WRITE_PROTECTED)
        return static_cast<MoveResult>(status);
    // A failing device is passed through as it is, never folded into a plain failure:
    // the callers end the run on it instead of retrying the file until they give up.
    if (IsDeviceFailure(static_cast<MoveResult>(status))) return static_cast<MoveResult>(status);
    if (answer.ioStatus != STATUS_SUCCESS && answer.ioStatus != STATUS_PENDING) return kMoveFailed;
    return static_cast<MoveResult>(status);
}

void FragmentedCountRule::Apply(CDefragJob& job, FileRecord& file) const {
    const bool now = file.IsFragmented();
    if (now && !m_before) {
        ++job.m_fragmentedFiles;
        SendFragCount(job);
    } else if (!now && m_before) {
        if (job.m_fragmentedFiles > 0) --job.m_fragmentedFiles;
        SendFragCount(job);
    }
}

uint64_t CappedMoveCount(const CDefragJob& job, const FileRecord& file, uint64_t count) {
    if (!job.IsNtfs() || job.m_bytesPerCluster == 0) return count;
    uint64_t most = kMaxBytesPerCall / job.m_bytesPerCluster;
    // NTFS refuses a count that ends inside a compression unit short of the
    // file's end: a capped call of such a file would never move anything.
    if (MovesInCompressionUnits(job, file) && most >= kCompressionUnitClusters)
        most -= most % kCompressionUnitClusters;
    return count > most ? most : count;
}

void RefreshClusterBitmap(CDefragJob& job) {
    if (!job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        return;
    }
    if (job.m_clusterBitmap) job.m_clusterBitmap->Refresh();
}

uint32_t PieceCount(FileRecord& file) {
    if (file.AllocatedClusters() == 0) return 0;
    return std::max<uint32_t>(1, file.CountFragments());
}

MoveResult MoveRange(CDefragJob& job, FileRecord* file, Vcn start, Lcn target, uint64_t count, CountUpdate update) {
    if (!file) return kMoveFailed;
    if (!job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        return kMoveFailed;
    }
    if (start == kAllOnes || target == kAllOnes || count == kAllOnes) return kMoveInvalidParameter;
    HANDLE handle = volume::OpenFileForExtents(file->Path(), volume::ExtentOpenForm::PlainShareReadWrite);
    if (handle == INVALID_HANDLE_VALUE) return kMoveCannotOpen;
    const FragmentedCountRule rule(*file);
    const auto answer = volume::MoveClusters(job, handle, start, target, CallCount(CappedMoveCount(job, *file, count)));
    const MoveResult result = MapMoveAnswer(answer);
    CloseHandle(handle);
    volume::RefreshExtents(job, *file);
    if (update == CountUpdate::Yes) rule.Apply(job, *file);
    return result;
}

MoveResult MoveFollowingExtents(CDefragJob& job, FileRecord* file, Vcn start, Lcn target, uint64_t count,
                                CountUpdate update) {
    if (!file) return kMoveFailed;
    if (!job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        return kMoveFailed;
    }
    if (IsNegative(start) || IsNegative(target)) return kMoveInvalidParameter;
    HANDLE handle = volume::OpenFileForExtents(file->Path(), volume::ExtentOpenForm::PlainShareReadWrite);
    if (handle == INVALID_HANDLE_VALUE) return kMoveCannotOpen;
    const FragmentedCountRule rule(*file);
    volume::MoveAnswer answer = volume::MoveClusters(job, handle, start, target, CallCount(count));
    Vcn vcn = start;
    Lcn lcn = target;
    while (MapMoveAnswer(answer) == kMoved) {
        volume::RefreshExtents(job, *file);
        const volume::PairLookup next = file->NextPairAfter(vcn);
        if (!next.found) {
            answer = {};
            break;
        }
        // Each step moves on past the extent just placed; the end marker stops it as invalid.
        if (IsNegative(next.nextVcn) || next.nextVcn <= vcn) {
            answer = {STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER};
            break;
        }
        lcn += next.nextVcn - vcn;
        vcn = next.nextVcn;
        if (IsNegative(lcn)) {
            answer = {STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER};
            break;
        }
        answer = volume::MoveClusters(job, handle, vcn, lcn, CallCount(count));
    }
    const MoveResult result = MapMoveAnswer(answer);
    CloseHandle(handle);
    volume::RefreshExtents(job, *file);
    if (update == CountUpdate::Yes) rule.Apply(job, *file);
    return result;
}

MoveResult MoveClustersSingly(CDefragJob& job, HANDLE file, Vcn start, Lcn target, uint64_t count) {
    if (start == kAllOnes || target == kAllOnes) return kMoveInvalidParameter;
    volume::MoveAnswer answer;
    for (uint64_t i = 0; i < count; ++i) {
        answer = volume::MoveClusters(job, file, start + i, target + i, 1);
        if (MapMoveAnswer(answer) != kMoved) break;
    }
    const NTSTATUS status = answer.status == STATUS_PENDING ? answer.ioStatus : answer.status;
    if (status == STATUS_SUCCESS && answer.ioStatus == STATUS_SUCCESS) return kMoved;
    return static_cast<MoveResult>(status);
}

}  // namespace tarvo::engine
