// CompleteTestSupport.h --- fixture of the COMPLETE tests: generated volumes and the layout a fresh analysis sees.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/Analysis.h"
#include "engine/CompleteMethod.h"
#include "engine/CompressionUnits.h"
#include "engine/MftZoneRelief.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "platform/sim/SimGenerator.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {

// One file as a fresh analysis sees it after a run.
struct Placement {
    std::string path;
    uint32_t modificationTime = 0;
    Lcn first = 0;
    uint32_t pieces = 0;
};

class CompleteTest : public EngineTest {
protected:
    std::shared_ptr<SimVolume> Generate(SimFileSystem fs, uint64_t clusters, uint64_t files, uint64_t seed,
                                        double free = 0.3, double mftZonePercent = 12.5) {
        platform::SimGenerateOptions options;
        options.fileSystem = fs;
        options.clusters = clusters;
        options.files = files;
        options.fragmented = 0.3;
        options.maxFragments = 12;
        options.free = free;
        options.seed = seed;
        options.pageFile = false;
        options.mftZonePercent = mftZonePercent;
        platform::SimGenerateSummary summary;
        return GenerateLikeMksim(options, summary);
    }

    // A volume as `tarvoctl vol mksim` makes it from these options, checked move by move.
    std::shared_ptr<SimVolume> GenerateLikeMksim(const platform::SimGenerateOptions& options,
                                                 platform::SimGenerateSummary& summary) {
        std::string error;
        auto volume = platform::GenerateSimVolume(options, summary, error);
        EXPECT_NE(volume, nullptr) << error;
        if (volume) volume->SetCheckMode(platform::SimCheckMode::Incremental);
        return volume;
    }

    // Runs COMPLETE on the volume in use and checks what every run must end
    // with: it completed, every cluster is accounted for and no free cluster
    // was gained or lost. The run's reports stay for the caller to look into.
    void RunCompleteToTheEnd() {
        const uint64_t freeBefore = m_volume->FreeClusters();
        m_reports.clear();
        auto& job = OpenJob();
        ASSERT_EQ(RunCompleteMethod(job), 1);
        ASSERT_NE(Find(app::MSG_INF_COMPLETE_COMPLETED), nullptr);
        ExpectConsistent();
        EXPECT_EQ(m_volume->FreeClusters(), freeBefore);
    }

    // Every readable file from a fresh analysis on its own job, in table (analysis) order.
    std::vector<Placement> Layout() {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        EXPECT_EQ(volume::OpenDrive(job, &view, "T", 9), 1);
        job.m_gate.Start();
        EXPECT_EQ(RunAnalysis(job), 1);
        std::vector<Placement> layout;
        for (int64_t i = 0; i <= job.m_fileTable->LastIndex(); ++i) {
            volume::FileRecord& file = *job.m_fileTable->Item(i);
            layout.push_back({file.Path(), file.ModificationTime(), FirstLcn(file), PieceCount(file)});
        }
        return layout;
    }
    // Files that a fresh analysis and plan in the given order would still move:
    // after a complete run every file lies where the plan puts it.
    std::vector<std::string> NotInPlace(volume::SortOrder order) {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        EXPECT_EQ(volume::OpenDrive(job, &view, "T", 9), 1);
        job.m_gate.Start();
        EXPECT_EQ(RunAnalysis(job), 1);
        job.m_fileTable->Sort(order);
        EXPECT_EQ(PlanPlacementWithMftZone(job), 1);
        std::vector<std::string> misplaced;
        for (int64_t i = 0; i <= job.m_fileTable->LastIndex(); ++i)
            if (!job.m_fileTable->Item(i)->IsDone()) misplaced.push_back(job.m_fileTable->Item(i)->Path());
        return misplaced;
    }
    static std::map<std::string, uint32_t> Pieces(const std::vector<Placement>& layout) {
        std::map<std::string, uint32_t> pieces;
        for (const auto& p : layout) pieces[p.path] = p.pieces;
        return pieces;
    }
    static size_t Fragmented(const std::vector<Placement>& layout) {
        return std::count_if(layout.begin(), layout.end(), [](const Placement& p) { return p.pieces > 1; });
    }
    // The files with clusters in the order of their first cluster on the volume.
    static std::vector<Placement> ByPosition(std::vector<Placement> layout) {
        layout.erase(std::remove_if(layout.begin(), layout.end(), [](const Placement& p) { return p.pieces == 0; }),
                     layout.end());
        std::sort(layout.begin(), layout.end(), [](const Placement& a, const Placement& b) { return a.first < b.first; });
        return layout;
    }

    // Whether free clusters of the MFT zone count as free space (once the plan gave the zone up).
    enum class Zone { Skipped, Counted };
    // Free runs, outside the MFT zone unless it is counted: start and length of each.
    std::vector<std::pair<Lcn, uint64_t>> FreeRuns(Zone counted = Zone::Skipped) {
        const platform::SimNtfsLayout ntfs = m_volume->NtfsLayout();
        const bool zone = ntfs.mftZoneEnd > 0 && counted == Zone::Skipped;
        const auto inZone = [&](Lcn lcn) { return zone && lcn >= ntfs.mftZoneStart && lcn <= ntfs.mftZoneEnd; };
        std::vector<std::pair<Lcn, uint64_t>> runs;
        const uint64_t total = m_volume->TotalClusters();
        for (Lcn lcn = 0; lcn < total;) {
            if (inZone(lcn) || !m_volume->IsFree(lcn, 1)) {
                ++lcn;
                continue;
            }
            Lcn end = lcn;
            while (end < total && m_volume->IsFree(end, 1) && !inZone(end)) ++end;
            runs.push_back({lcn, end - lcn});
            lcn = end;
        }
        return runs;
    }

    // Free runs below the last file that the layout does not force: runs of at
    // least minimum clusters that end at a file's cluster, not at a system
    // cluster (a gap no later file fitted), the MFT zone or the volume's end,
    // and are not the rest of a compressed file's slot of whole units.
    std::vector<std::pair<Lcn, uint64_t>> UnforcedGaps(Zone counted, uint64_t minimum) {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        EXPECT_EQ(volume::OpenDrive(job, &view, "T", 9), 1);
        job.m_gate.Start();
        EXPECT_EQ(RunAnalysis(job), 1);
        const auto layout = ByPosition(Layout());
        const Lcn lastFile = layout.empty() ? 0 : layout.back().first;
        const platform::SimNtfsLayout ntfs = m_volume->NtfsLayout();
        const bool zone = ntfs.mftZoneEnd > 0 && counted == Zone::Skipped;
        std::vector<std::pair<Lcn, uint64_t>> gaps;
        for (const auto& [start, length] : FreeRuns(counted)) {
            const Lcn next = start + length;
            if (start >= lastFile || length < minimum || next >= m_volume->TotalClusters()) continue;
            if (zone && next >= ntfs.mftZoneStart && next <= ntfs.mftZoneEnd) continue;
            if (job.m_clusterBitmap->Bit(volume::ClusterMap::System, next)) continue;
            const volume::FileRecord* before = start > 0 ? job.m_clusterBitmap->FindFileAt(start - 1) : nullptr;
            if (before && length < kCompressionUnitClusters && MovesInCompressionUnits(job, *before)) continue;
            gaps.push_back({start, length});
        }
        return gaps;
    }

    const ReportRecord* Find(app::MessageId id) const {
        for (const auto& r : m_reports)
            if (r.id == id) return &r;
        return nullptr;
    }
};

}  // namespace tarvo::engine::testing
