// BlockKind.cpp --- the block-kind reduction over run answers of the cluster bitmap.
#include "ui/map/BlockKind.h"

#include "ui/map/MapPalette.h"
#include "volume/ClusterBitmap.h"

namespace tarvo::ui {

ClusterKindSource ClusterKindSource::For(volume::CClusterBitmap& bitmap, StateLookup lookup) {
    if (lookup == StateLookup::VolumeOnly)
        return ClusterKindSource([&bitmap](Lcn lcn, Lcn& runEnd) { return bitmap.VolumeClusterState(lcn, runEnd); });
    return ClusterKindSource([&bitmap](Lcn lcn, Lcn& runEnd) { return bitmap.ClusterState(lcn, runEnd); });
}

int ClusterKindSource::KindOf(Lcn lcn) {
    if (m_valid && lcn >= m_start && lcn <= m_end) return m_kind;
    Lcn runEnd = 0;
    m_kind = m_lookup(lcn, runEnd);
    ++m_lookups;
    m_valid = true;
    m_start = lcn;
    m_end = runEnd >= lcn ? runEnd : lcn;
    return m_kind;
}

int ReduceBlock(ClusterKindSource& source, Lcn first, Lcn last, RedrawScope scope) {
    int k = kBlockEmpty;
    int s = 0;
    for (Lcn lcn = first; lcn <= last; ++lcn) {
        switch (const int kind = source.KindOf(lcn)) {
            case 50: k = kBlockWorking; break;
            case 1:
                if (k == kBlockEmpty) k = kBlockUsed;
                break;
            case 2: k = kBlockFragmented; break;
            case 3:
                if (k < 4) k = kBlockCompressed;
                break;
            case 4:
                if (k <= 5) k = kBlockCompressedFragmented;
                break;
            case 96: k = kBlockKind96; break;
            case 51: k = kBlockKind51; break;
            case 97:
            case 98:
            case 99:
                if (k == kBlockEmpty) s = kind;
                break;
            default: break;
        }
        if (k == kBlockWorking) break;
        if (scope == RedrawScope::Full && (k == kBlockFragmented || k == kBlockCompressedFragmented)) break;
        if (lcn == last) break;  // never wrap past the largest cluster number
    }
    if (k == kBlockEmpty && (s == 97 || s == 98 || s == 99)) k = s;
    return k;
}

}  // namespace tarvo::ui
