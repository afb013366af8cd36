// ClusterSearch.cpp --- the free-space searches of the cluster bitmap.
//
// Each search answers what a cluster-by-cluster scan would: on NTFS the MFT
// zone never belongs to a run (a scan reaching it jumps over it with its run
// count reset) and, for files that move in compression units, the wanted
// length is rounded up to a multiple of 16. The
// scans below run over maximal runs found 64 clusters at a time.
#include <algorithm>

#include "volume/BitScan.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"

namespace tarvo::volume {

namespace bs = bitscan;

namespace {

// A closed range of clusters [first, last] searched as one piece.
struct Segment {
    uint64_t first;
    uint64_t last;
};

// The parts of [low, high] outside the zone, lowest first (at most two).
int SplitAroundZone(uint64_t low, uint64_t high, bool zone, uint64_t zoneFirst, uint64_t zoneLast, Segment out[2]) {
    if (low > high) return 0;
    if (!zone || zoneLast < low || zoneFirst > high) {
        out[0] = {low, high};
        return 1;
    }
    int n = 0;
    if (zoneFirst > low) out[n++] = {low, zoneFirst - 1};
    if (zoneLast < high) out[n++] = {zoneLast + 1, high};
    return n;
}

// A run of at least this many clusters always covers one whole aligned word,
// so longer searches may step over words that hold a used cluster.
constexpr uint64_t kWordSkipLength = 127;

// The next word index at or above w, below end, whose clusters are all clear.
template <typename Source>
uint64_t NextClearWord(Source&& used, uint64_t w, uint64_t end) {
    while (w < end && used(w) != 0) ++w;
    return w;
}

// The next word index at or below w, not below floor, whose clusters are all clear; kNone when none.
template <typename Source>
uint64_t PrevClearWord(Source&& used, uint64_t w, uint64_t floor) {
    while (w != bs::kNone && w >= floor && used(w) != 0) w = w == 0 ? bs::kNone : w - 1;
    return (w == bs::kNone || w < floor) ? bs::kNone : w;
}

// Lowest run of clear bits of at least length inside segment; the longest run met is kept.
template <typename Source>
std::optional<Lcn> FirstClearRun(Source&& used, const Segment& s, uint64_t length, uint64_t* longest) {
    const uint64_t limit = s.last + 1;
    uint64_t pos = s.first;
    if (!longest && length >= kWordSkipLength) {
        while (pos < limit) {
            const uint64_t w = NextClearWord(used, (pos + 63) >> 6, limit >> 6);
            if (w >= (limit >> 6)) return std::nullopt;
            const uint64_t below = bs::PrevSet(used, w << 6, pos);
            const uint64_t free = below == bs::kNone ? pos : below + 1;
            const uint64_t end = bs::NextSet(used, (w + 1) << 6, limit);
            if (end - free >= length) return free;
            pos = end;
        }
        return std::nullopt;
    }
    while (pos < limit) {
        const uint64_t free = bs::NextSet([&](uint64_t i) { return ~used(i); }, pos, limit);
        if (free >= limit) break;
        const uint64_t end = bs::NextSet(used, free, limit);
        const uint64_t run = end - free;
        if (longest) *longest = std::max(*longest, run);
        if (run >= length) return free;
        pos = end;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Lcn> CClusterBitmap::FindFirstFit(Lcn start, uint64_t length, SearchUnit unit) {
    std::shared_lock lock(m_lock);
    length = RoundedLength(length, unit);
    if (!m_ready || length == 0 || start >= m_total) return std::nullopt;
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= start && start <= zl) start = zl + 1;
    Segment segments[2];
    const int n = SplitAroundZone(start, m_total - 1, zone, zf, zl, segments);
    const bs::Bits used{Words(ClusterMap::Volume)};
    for (int i = 0; i < n; ++i)
        if (auto found = FirstClearRun(used, segments[i], length, nullptr)) return found;
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::FindFirstFitNonSystem(Lcn start, uint64_t length, SearchUnit unit) {
    std::shared_lock lock(m_lock);
    length = RoundedLength(length, unit);
    if (!m_ready || length == 0 || start >= m_total) return std::nullopt;
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= start && start <= zl) start = zl + 1;
    Segment segments[2];
    const int n = SplitAroundZone(start, m_total - 1, zone, zf, zl, segments);
    const bs::Bits system{Words(ClusterMap::System)};
    for (int i = 0; i < n; ++i)
        if (auto found = FirstClearRun(system, segments[i], length, nullptr)) return found;
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::FindFirstFitInRange(Lcn start, Lcn end, uint64_t length, uint64_t& longest,
                                                       SearchUnit unit) {
    std::shared_lock lock(m_lock);
    longest = 0;
    length = RoundedLength(length, unit);
    if (!m_ready || length == 0 || start >= m_total) return std::nullopt;
    end = std::min<Lcn>(end, m_total - 1);
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= start && start <= zl) start = zl + 1;
    Segment segments[2];
    const int n = SplitAroundZone(start, end, zone, zf, zl, segments);
    const bs::Bits used{Words(ClusterMap::Volume)};
    for (int i = 0; i < n; ++i)
        if (auto found = FirstClearRun(used, segments[i], length, &longest)) return found;
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::IsFreeRunAt(Lcn start, uint64_t length, SearchUnit unit) {
    std::shared_lock lock(m_lock);
    length = RoundedLength(length, unit);
    if (!m_ready || length == 0) return std::nullopt;
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= start && start <= zl) start = zl + 1;
    if (start >= m_total || length > m_total - start) return std::nullopt;
    const Lcn last = start + length - 1;
    if (zone && start < zf && last >= zf) return std::nullopt;
    const uint64_t* volume = Words(ClusterMap::Volume);
    if (bs::TestBit(volume, last)) return std::nullopt;
    if (bs::NextSet(volume, start, last + 1) <= last) return std::nullopt;
    return start;
}

std::optional<Lcn> CClusterBitmap::FindLastFit(Lcn lowerLimit, uint64_t length, SearchUnit unit) {
    Lcn cursor = ~uint64_t{0};
    return FindLastFitFrom(lowerLimit, length, cursor, unit);
}

std::optional<Lcn> CClusterBitmap::FindLastFitFrom(Lcn lowerLimit, uint64_t length, Lcn& cursor, SearchUnit unit) {
    std::shared_lock lock(m_lock);
    length = RoundedLength(length, unit);
    if (!m_ready || length == 0 || m_total == 0) return std::nullopt;
    Lcn top = std::min<Lcn>(cursor, m_total - 1);
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= top && top <= zl) {
        if (zf == 0) return std::nullopt;
        top = zf - 1;
    }
    Segment segments[2];
    const int n = SplitAroundZone(lowerLimit, top, zone, zf, zl, segments);
    const bool aligned = m_job && m_job->IsNtfs() && unit == SearchUnit::CompressionUnit;
    const uint64_t* volume = Words(ClusterMap::Volume);
    for (int i = n - 1; i >= 0; --i) {
        const Segment& s = segments[i];
        uint64_t pos = s.last;
        const bs::Bits bits{volume};
        while (true) {
            uint64_t high;
            uint64_t used;
            if (length >= kWordSkipLength) {
                // Only a run that covers a whole clear word can be long enough.
                if (pos + 1 < 64) break;
                const uint64_t w = PrevClearWord(bits, ((pos + 1) >> 6) - 1, (s.first + 63) >> 6);
                if (w == bs::kNone) break;
                const uint64_t above = bs::NextSet(volume, (w + 1) << 6, pos + 1);
                high = above - 1;
                used = bs::PrevSet(volume, w << 6, s.first);
            } else {
                high = bs::PrevClear(volume, pos, s.first);
                if (high == bs::kNone) break;
                used = bs::PrevSet(volume, high, s.first);
            }
            const uint64_t low = used == bs::kNone ? s.first : used + 1;
            if (high - low + 1 >= length) {
                uint64_t candidate = high - length + 1;
                if (aligned) candidate &= ~uint64_t{15};
                if (candidate >= low) {
                    cursor = candidate;
                    return candidate;
                }
            }
            if (used == bs::kNone || used == 0) break;
            pos = used - 1;
        }
    }
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::FindFreeRunDown(Lcn start, uint64_t& length) {
    std::shared_lock lock(m_lock);
    const uint64_t wanted = RoundedLength(length);
    if (!m_ready || wanted == 0 || m_total == 0) return std::nullopt;
    const Lcn floor = m_total / 2;
    Lcn top = std::min<Lcn>(start, m_total - 1);
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= top && top <= zl) {
        if (zf == 0) return std::nullopt;
        top = zf - 1;
    }
    Segment segments[2];
    const int n = SplitAroundZone(floor, top, zone, zf, zl, segments);
    const uint64_t* volume = Words(ClusterMap::Volume);
    for (int i = n - 1; i >= 0; --i) {
        const Segment& s = segments[i];
        const uint64_t high = bs::PrevClear(volume, s.last, s.first);
        if (high == bs::kNone) continue;
        const uint64_t used = bs::PrevSet(volume, high, s.first);
        const uint64_t low = used == bs::kNone ? s.first : used + 1;
        const uint64_t run = high - low + 1;
        if (run >= wanted) {
            length = wanted;
            return high - wanted + 1;
        }
        // The run ends at an allocated cluster or at the lower bound; one that
        // reaches the MFT zone is dropped and the scan goes on below the zone.
        if (used != bs::kNone || s.first == floor) {
            length = run;
            return low;
        }
    }
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::FindNonSystemRun(Lcn start, uint64_t& length) {
    std::shared_lock lock(m_lock);
    if (!m_ready || start >= m_total) return std::nullopt;
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= start && start <= zl) start = zl + 1;
    Segment segments[2];
    const int n = SplitAroundZone(start, m_total - 1, zone, zf, zl, segments);
    const uint64_t* system = Words(ClusterMap::System);
    for (int i = 0; i < n; ++i) {
        const uint64_t limit = segments[i].last + 1;
        const uint64_t first = bs::NextClear(system, segments[i].first, limit);
        if (first >= limit) continue;
        const uint64_t end = bs::NextSet(system, first, limit);
        if (end < limit) {
            length = end - first;
            return first;
        }
        // The run reaches the volume's end (not reported) or the zone (dropped).
    }
    return std::nullopt;
}

std::optional<Lcn> CClusterBitmap::FindHighestFileCluster(Lcn start) {
    std::shared_lock lock(m_lock);
    if (!m_ready || m_total < 2) return std::nullopt;
    Lcn top = std::min<Lcn>(start, m_total - 1);
    Lcn zf = 0, zl = 0;
    const bool zone = ZoneOf(zf, zl);
    if (zone && zf <= top && top <= zl) {
        if (zf <= 1) return std::nullopt;
        top = zf - 1;
    }
    Segment segments[2];
    const int n = SplitAroundZone(1, top, zone, zf, zl, segments);
    const uint64_t* volume = Words(ClusterMap::Volume);
    const uint64_t* system = Words(ClusterMap::System);
    auto fileBits = [&](uint64_t i) { return volume[i] & ~system[i]; };
    for (int i = n - 1; i >= 0; --i) {
        const uint64_t found = bs::PrevSet(fileBits, segments[i].last, segments[i].first);
        if (found != bs::kNone) return found;
    }
    return std::nullopt;
}

}  // namespace tarvo::volume
