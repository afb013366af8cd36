// BlockKind.h --- the reduction of a block's cluster kinds to the one kind that colours it.
#pragma once

#include <functional>

#include "volume/VolumeTypes.h"

namespace tarvo::volume {
class CClusterBitmap;
}

namespace tarvo::ui {

using volume::Lcn;

// A full redraw ends a block's scan at the first fragmented cluster; a range
// redraw reads on, so that a later cluster being moved still shows.
enum class RedrawScope { Full, Range };

// Which lookup of the cluster bitmap answers the kinds: the full state, or the
// volume map alone while the analysis has no file table yet.
enum class StateLookup { Cluster, VolumeOnly };

// Answers cluster kinds from a lookup that reports runs, asking again only
// after a cluster passes the end of the run last reported.
class ClusterKindSource {
public:
    // lookup(lcn, runEnd) answers the kind of lcn and the last cluster of its run (0: no run).
    using Lookup = std::function<int(Lcn lcn, Lcn& runEnd)>;
    explicit ClusterKindSource(Lookup lookup) : m_lookup(std::move(lookup)) {}
    // The source for a cluster bitmap, with the lookup given.
    static ClusterKindSource For(volume::CClusterBitmap& bitmap, StateLookup lookup);

    int KindOf(Lcn lcn);
    // How many times the lookup was asked (for tests of run reuse).
    uint64_t Lookups() const { return m_lookups; }

private:
    Lookup m_lookup;
    bool m_valid = false;
    Lcn m_start = 0;
    Lcn m_end = 0;
    int m_kind = 0;
    uint64_t m_lookups = 0;
};

// The block kind of clusters first..last (inclusive; last already clipped to
// the volume's last cluster).
int ReduceBlock(ClusterKindSource& source, Lcn first, Lcn last, RedrawScope scope);

}  // namespace tarvo::ui
