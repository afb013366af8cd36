// PlacementPlan.cpp --- the sort key and the packing of the sorted files from the start of the volume.
#include "engine/PlacementPlan.h"

#include <algorithm>
#include <vector>

#include "app/Settings.h"
#include "engine/CompressionUnits.h"
#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "volume/ClusterBitmap.h"

namespace tarvo::engine {

using volume::FileRecord;
using volume::Lcn;

namespace {

int NoRoom(const char* where) {
    EngineReport(app::MSG_DIAG_INFO, where);
    return 0;
}

}  // namespace

volume::SortOrder PlacementSortOrder(const volume::CDefragJob& job) {
    const int key = job.IsNtfs() ? app::Settings().NTFSSortedBy() : app::Settings().FATSortedBy();
    return key == 0 ? volume::SortOrder::ByPath : volume::SortOrder::ByModificationTime;
}

uint64_t PlannedSize(const volume::CDefragJob& job, const FileRecord& file) {
    return InMoveUnits(job, file, file.AllocatedClusters());
}

Lcn FirstLcn(const FileRecord& file) {
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const volume::Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        if (pair.lcn != volume::kVirtualLcn) return pair.lcn;
    }
    return 0;
}

bool IsAtPlannedPlace(FileRecord& file) {
    if (file.AllocatedClusters() == 0) return true;
    return !file.IsFragmented() && FirstLcn(file) == file.PlannedLcn();
}

bool RangeIsMovable(volume::CDefragJob& job, Lcn first, Lcn last, const FileRecord* except) {
    volume::CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (!bitmap) return false;
    last = std::min<Lcn>(last, job.m_totalClusters - 1);
    for (Lcn lcn = first; lcn <= last; ++lcn) {
        if (!bitmap->Bit(volume::ClusterMap::Volume, lcn) && !bitmap->Bit(volume::ClusterMap::Allocation, lcn))
            continue;
        if (bitmap->Bit(volume::ClusterMap::System, lcn)) return false;
        FileRecord* owner = bitmap->FindFileAt(lcn);
        if (!owner || (owner != except && owner->IsDone())) return false;
        // The rest of the owner's extent needs no look-up.
        const Lcn start = owner->ExtentStartAt(lcn);
        const uint64_t length = owner->ExtentLengthAt(lcn);
        if (length > 0 && start <= lcn) lcn = std::max(lcn, start + length - 1);
    }
    return true;
}

int PlanPlacement(volume::CDefragJob& job) {
    volume::FileTable* table = job.m_fileTable.get();
    volume::CClusterBitmap* bitmap = job.m_clusterBitmap.get();
    if (!table || !bitmap) return 0;
    RefreshClusterBitmap(job);

    // The plan counts single clusters on NTFS as on FAT: a file that moves in
    // compression units carries a size of whole units and is searched for in
    // units, every other file takes its own clusters and may fill any gap.
    const uint64_t unit = 1;
    const int64_t last = table->LastIndex();
    // Planned-ness is kept beside the records: LCN 0 is a real place on some
    // volumes, so a plan of 0 must not read as "not planned".
    std::vector<bool> planned(static_cast<size_t>(last + 1));
    std::vector<uint64_t> sizes(static_cast<size_t>(last + 1));
    std::vector<volume::SearchUnit> units(static_cast<size_t>(last + 1));
    for (int64_t i = 0; i <= last; ++i) {
        planned[static_cast<size_t>(i)] = table->Item(i)->PlannedLcn() != 0;
        sizes[static_cast<size_t>(i)] = PlannedSize(job, *table->Item(i));
        units[static_cast<size_t>(i)] = SearchUnitOf(job, *table->Item(i));
    }

    Lcn d = 0;  // placement cursor
    Lcn f = 0;  // fit position of the file being planned
    for (int64_t i = 0; i <= last;) {
        FileRecord* file = table->Item(i);
        const size_t at = static_cast<size_t>(i);
        if (file->IsDone() || planned[at]) {
            // Left where it is: a done file without a plan keeps its present place.
            if (!planned[at]) file->SetPlannedLcn(FirstLcn(*file));
            planned[at] = true;
            ++i;
            continue;
        }
        const auto cursor = bitmap->FindFirstFitNonSystem(d, unit, volume::SearchUnit::Cluster);
        if (!cursor) return NoRoom("Can't get Space in Checkand...");
        d = *cursor;
        const uint64_t s = sizes[at];
        if (s == 0) {
            // An empty file needs no room; a search for 0 clusters would find none and fail the plan.
            file->SetPlannedLcn(d);
            planned[at] = true;
            ++i;
            continue;
        }
        if (f <= d) {
            const auto fit = bitmap->FindFirstFitNonSystem(d, s, units[at]);
            if (!fit) return NoRoom("Can't get Space in Checkand...2");
            f = *fit;
        }
        if (f <= d) {
            // The file fits at the cursor.
            const auto fit = bitmap->FindFirstFitNonSystem(d, s, units[at]);
            if (!fit) return NoRoom("Can't get Space in Checkand...4");
            f = *fit;
            file->SetPlannedLcn(f);
            planned[at] = true;
            d = f + s;
            ++i;
            continue;
        }

        // The gap at the cursor is too small for the file: fill it with later
        // files that fit into it entirely and end no later than the file's fit.
        uint64_t r = 0;
        const auto gap = bitmap->FindNonSystemRun(d, r);
        if (!gap) return NoRoom("Can't get Space in Checkand...3");
        const Lcn g = *gap;
        d = g;
        bool filled = false;
        for (int64_t j = i + 1; j <= last && r > unit; ++j) {
            const size_t other = static_cast<size_t>(j);
            const uint64_t t = sizes[other];
            if (planned[other] || t > r || d + t > f) continue;
            table->Item(j)->SetPlannedLcn(d);
            planned[other] = true;
            d += t;
            r -= t;
            filled = true;
        }
        if (!filled) {
            d += (r > 2 ? r : 2) - 1;
        } else if (d == g) {
            d += 1;  // only empty files went in
        }
        // The same file is examined again from the new cursor.
    }

    for (int64_t i = 0; i <= last; ++i) {
        FileRecord* file = table->Item(i);
        if (IsAtPlannedPlace(*file)) file->SetDone(true);
    }
    return 1;
}

}  // namespace tarvo::engine
