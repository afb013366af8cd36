// NaiveSearch.h --- cluster-by-cluster reference answers of the free-space searches.
//
// Written straight from the rules, one cluster at a time, so that the fast
// scans of CClusterBitmap can be compared against them.
#pragma once

#include <functional>
#include <optional>

#include "volume/VolumeTypes.h"

namespace tarvo::volume::testing {

struct NaiveVolume {
    uint64_t total = 0;
    bool ntfs = false;
    Lcn zoneFirst = 0, zoneLast = 0;  // no zone when zoneLast is 0
    std::function<bool(Lcn)> used;    // the map's bit

    bool HasZone() const { return ntfs && zoneLast != 0 && zoneFirst <= zoneLast; }
    bool InZone(Lcn n) const { return HasZone() && zoneFirst <= n && n <= zoneLast; }
    uint64_t Round(uint64_t l) const { return ntfs ? (l + 15) / 16 * 16 : l; }

    std::optional<Lcn> FirstFit(Lcn start, uint64_t length) const {
        length = Round(length);
        if (length == 0) return {};
        if (InZone(start)) start = zoneLast + 1;
        uint64_t count = 0;
        for (Lcn c = start; c < total; ++c) {
            if (InZone(c)) { c = zoneLast; count = 0; continue; }
            if (used(c)) count = 0;
            else if (++count >= length) return c - length + 1;
        }
        return {};
    }
    std::optional<Lcn> FirstFitInRange(Lcn start, Lcn end, uint64_t length, uint64_t& longest) const {
        length = Round(length);
        longest = 0;
        if (length == 0) return {};
        if (InZone(start)) start = zoneLast + 1;
        uint64_t count = 0;
        for (Lcn c = start; c <= end && c < total; ++c) {
            if (InZone(c)) { c = zoneLast; count = 0; continue; }
            if (used(c)) count = 0;
            else {
                longest = std::max(longest, ++count);
                if (count >= length) return c - length + 1;
            }
        }
        return {};
    }
    std::optional<Lcn> LastFitFrom(Lcn lower, uint64_t length, Lcn cursor) const {
        length = Round(length);
        if (length == 0 || total == 0) return {};
        Lcn c = std::min<Lcn>(cursor, total - 1);
        if (InZone(c)) {
            if (zoneFirst == 0) return {};
            c = zoneFirst - 1;
        }
        uint64_t count = 0;
        for (;; --c) {
            if (c < lower) break;
            if (InZone(c)) {
                count = 0;
                if (zoneFirst == 0) break;
                c = zoneFirst;  // the loop's decrement lands below the zone
                continue;
            }
            if (used(c)) count = 0;
            else if (++count >= length && (!ntfs || c % 16 == 0)) return c;
            if (c == 0) break;
        }
        return {};
    }
    std::optional<Lcn> FreeRunDown(Lcn start, uint64_t& length) const {
        const uint64_t wanted = Round(length);
        if (wanted == 0 || total == 0) return {};
        const Lcn floor = total / 2;
        Lcn c = std::min<Lcn>(start, total - 1);
        if (InZone(c)) {
            if (zoneFirst == 0) return {};
            c = zoneFirst - 1;
        }
        uint64_t count = 0;
        Lcn low = 0;
        for (;; --c) {
            if (c < floor) break;
            if (InZone(c)) {
                count = 0;
                if (zoneFirst == 0) return {};
                c = zoneFirst;
                continue;
            }
            if (!used(c)) {
                low = c;
                if (++count == wanted) { length = wanted; return c; }
            } else if (count > 0) {
                length = count;
                return low;
            }
            if (c == 0) break;
        }
        if (count > 0) { length = count; return low; }
        return {};
    }
    std::optional<Lcn> NonSystemRun(Lcn start, uint64_t& length) const {
        if (InZone(start)) start = zoneLast + 1;
        uint64_t count = 0;
        for (Lcn c = start; c < total; ++c) {
            if (InZone(c)) { c = zoneLast; count = 0; continue; }
            if (!used(c)) ++count;
            else if (count > 0) { length = count; return c - count; }
        }
        return {};
    }
};

}  // namespace tarvo::volume::testing
