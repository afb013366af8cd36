// SimMove.cpp --- moving a file's VCN range on the simulated volume, and the concurrent writer.
#include <algorithm>

#include "platform/sim/SimJournal.h"
#include "platform/sim/SimVolume.h"

namespace tarvo::platform {

namespace {
struct Segment {
    Vcn start;
    uint64_t length;
    Lcn lcn;
};

std::vector<Segment> ToSegments(const std::vector<SimRun>& runs) {
    std::vector<Segment> segments;
    segments.reserve(runs.size() + 2);
    Vcn previous = 0;
    for (const SimRun& run : runs) {
        segments.push_back({previous, run.nextVcn - previous, run.lcn});
        previous = run.nextVcn;
    }
    return segments;
}

// Splits the segment containing vcn so that a segment starts exactly there.
void SplitAt(std::vector<Segment>& segments, Vcn vcn) {
    for (size_t i = 0; i < segments.size(); ++i) {
        Segment& s = segments[i];
        if (vcn > s.start && vcn < s.start + s.length) {
            uint64_t head = vcn - s.start;
            Segment tail{vcn, s.length - head, s.lcn == kVirtualLcn ? kVirtualLcn : s.lcn + head};
            s.length = head;
            segments.insert(segments.begin() + static_cast<long>(i) + 1, tail);
            return;
        }
    }
}

std::vector<SimRun> ToRuns(const std::vector<Segment>& segments) {
    std::vector<SimRun> runs;
    runs.reserve(segments.size());
    for (const Segment& s : segments) {
        if (!runs.empty()) {
            SimRun& last = runs.back();
            Vcn lastStart = runs.size() == 1 ? 0 : runs[runs.size() - 2].nextVcn;
            bool bothVirtual = last.lcn == kVirtualLcn && s.lcn == kVirtualLcn;
            bool adjacent = last.lcn != kVirtualLcn && s.lcn != kVirtualLcn && last.lcn + (last.nextVcn - lastStart) == s.lcn;
            if (bothVirtual || adjacent) {
                last.nextVcn = s.start + s.length;
                continue;
            }
        }
        runs.push_back({s.start + s.length, s.lcn});
    }
    return runs;
}
}  // namespace

FsctlResult SimVolume::MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) {
    std::lock_guard lock(m_mutex);
    bool pends = NextCallPends();
    NTSTATUS status = file >= m_nodes.size() ? STATUS_INVALID_PARAMETER
                                             : DoMove(static_cast<uint32_t>(file), startingVcn, targetLcn, clusterCount, true);
    return {pends ? STATUS_PENDING : status, 0, status};
}

NTSTATUS SimVolume::DoMove(uint32_t id, Vcn startingVcn, Lcn targetLcn, uint64_t count, bool journal) {
    if (m_broken) {
        return STATUS_DISK_CORRUPT_ERROR;
    }
    SimNode& node = m_nodes[id];
    if (node.flags & (kSimMetadata | kSimPageFile | kSimDirectory)) {
        return STATUS_ACCESS_DENIED;
    }
    if (journal && (m_readOnly || m_faults.writeProtected)) {
        return STATUS_MEDIA_WRITE_PROTECTED;
    }
    Vcn length = node.VirtualLength();
    if (count == 0 || startingVcn >= length || count > length - startingVcn) {
        return STATUS_INVALID_PARAMETER;
    }
    if (m_fileSystem == SimFileSystem::Ntfs && (node.flags & kSimCompressed) &&
        (startingVcn % 16 != 0 || (count % 16 != 0 && startingVcn + count != length))) {
        return STATUS_INVALID_PARAMETER;  // compressed files move in whole compression units
    }
    std::vector<Segment> segments = ToSegments(node.runs);
    SplitAt(segments, startingVcn);
    SplitAt(segments, startingVcn + count);
    uint64_t real = 0;
    for (const Segment& s : segments) {
        if (s.start >= startingVcn && s.start < startingVcn + count && s.lcn != kVirtualLcn) {
            real += s.length;
        }
    }
    if (targetLcn >= m_totalClusters || real > m_totalClusters - targetLcn) {
        return STATUS_INVALID_PARAMETER;
    }
    if (real == 0) {
        return STATUS_SUCCESS;  // only virtual clusters in the range: nothing to place
    }
    if (!m_bitmap.AllClear(targetLcn, real)) {
        return STATUS_ALREADY_COMMITTED;
    }
    // The range's real clusters land back to back from the target, in VCN order.
    std::vector<std::pair<Lcn, uint64_t>> sources;
    Lcn next = targetLcn;
    for (Segment& s : segments) {
        if (s.start >= startingVcn && s.start < startingVcn + count && s.lcn != kVirtualLcn) {
            sources.emplace_back(s.lcn, s.length);
            s.lcn = next;
            next += s.length;
        }
    }
    std::vector<SimRun> before = std::move(node.runs);
    node.runs = ToRuns(segments);
    for (const auto& [lcn, n] : sources) {
        m_bitmap.Clear(lcn, n);
    }
    m_bitmap.Set(targetLcn, real);

    auto rollBack = [&] {
        m_bitmap.Clear(targetLcn, real);
        for (const auto& [lcn, n] : sources) {
            m_bitmap.Set(lcn, n);
        }
        node.runs = std::move(before);
    };
    std::string report;
    bool consistent = CheckMovedFile(id, before, targetLcn, real, report);
    for (const auto& [lcn, n] : sources) {
        if (consistent && !m_bitmap.AllClear(lcn, n)) {
            consistent = false;
            report += "moved-out clusters at LCN " + std::to_string(lcn) + " are still allocated\n";
        }
    }
    if (consistent && m_checkMode == SimCheckMode::Full) {
        consistent = FullCheck(report);
    }
    if (!consistent) {
        rollBack();
        ReportViolation("after moving " + std::to_string(count) + " clusters of \"" + PathOfLocked(id) +
                        "\" from VCN " + std::to_string(startingVcn) + " to LCN " + std::to_string(targetLcn) +
                        ": " + report);
        return STATUS_DISK_CORRUPT_ERROR;
    }
    if (journal && !m_path.empty() && !AppendJournal(kJournalMove, id, startingVcn, targetLcn, count)) {
        rollBack();
        return STATUS_IO_DEVICE_ERROR;
    }
    ++m_moves;
    if (journal) {
        FireRaces();
    }
    return STATUS_SUCCESS;
}

bool SimVolume::ApplyRace(size_t index) {
    if (index >= m_faults.races.size() || m_foreignNode >= m_nodes.size()) {
        return false;
    }
    SimRace& race = m_faults.races[index];
    SimNode& foreign = m_nodes[m_foreignNode];
    Lcn end = race.lcn < m_totalClusters ? race.lcn + std::min(race.count, m_totalClusters - race.lcn) : race.lcn;
    for (Lcn lcn = race.lcn; lcn < end;) {
        if (m_bitmap.Test(lcn)) {
            ++lcn;
            continue;
        }
        Lcn stop = lcn;
        while (stop < end && !m_bitmap.Test(stop)) {
            ++stop;
        }
        m_bitmap.Set(lcn, stop - lcn);
        foreign.runs.push_back({foreign.VirtualLength() + (stop - lcn), lcn});
        lcn = stop;
    }
    race.fired = true;
    return true;
}

void SimVolume::FireRaces() {
    for (size_t i = 0; i < m_faults.races.size(); ++i) {
        SimRace& race = m_faults.races[i];
        if (!race.fired && m_moves >= race.afterMove) {
            if (!m_path.empty() && !AppendJournal(kJournalRace, i, 0, 0, 0)) {
                continue;  // not durable: try again after the next move
            }
            ApplyRace(i);
        }
    }
}

}  // namespace tarvo::platform
