// CompleteBench.cpp --- COMPLETE on a 100,000-file, 2^26-cluster simulated NTFS volume with 30% fragmented files,
// and on a crowded 262,144-cluster one of 20,000 small files (`tarvoctl vol mksim` defaults).
//
// Reported: wall and CPU time of the method (the analysis before it is timed
// apart), the move calls, the clusters they moved, the clusters that had to
// move (files not at their planned place when the run starts) and the ratio of
// the two, and the CPU time beside the time the moves would take on a disk at
// 200 MB/s. Each run works on a fresh copy of the volume.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Settings.h"
#include "bench/engine/BenchSupport.h"
#include "engine/Analysis.h"
#include "engine/CompleteMethod.h"
#include "engine/MftZoneRelief.h"
#include "engine/PlacementPlan.h"
#include "platform/drives/Drives.h"
#include "platform/sim/SimVolume.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/VolumeOps.h"

namespace tarvo::bench {
namespace {

using namespace tarvo::platform;

constexpr char kLetter = 'C';
constexpr double kDiskBytesPerSecond = 200e6;

std::string CompleteVolumeFile() {
    static std::string path = [] {
        SimGenerateOptions options;
        options.fileSystem = SimFileSystem::Ntfs;
        options.files = static_cast<uint64_t>(100000 * BenchScale());
        options.clusters = static_cast<uint64_t>(static_cast<double>(uint64_t{1} << 26) * BenchScale());
        options.fragmented = 0.3;
        options.seed = 5;
        return CachedSimVolume(options);
    }();
    return path;
}

// 20,000 files on 262,144 clusters: about 17,000 fit, the free space outside
// the MFT zone is shredded into gaps of a few clusters, some 300 files are compressed.
std::string CrowdedVolumeFile() {
    static std::string path = [] {
        SimGenerateOptions options;
        options.fileSystem = SimFileSystem::Ntfs;
        options.files = 20000;
        options.clusters = 262144;
        options.seed = 1;
        return CachedSimVolume(options);
    }();
    return path;
}

// The clusters of the files that the plan would move: those not already at their planned place.
uint64_t ClustersToMove(volume::CDefragJob& job) {
    job.m_fileTable->Sort(engine::PlacementSortOrder(job));
    // The run itself gives the MFT zone up when the plan needs it; so does this
    // count, and the run then finds the zone as the analysis left it.
    const volume::Lcn zoneStart = job.m_mftReservedStart, zoneEnd = job.m_mftReservedEnd;
    const int planned = engine::PlanPlacementWithMftZone(job);
    job.m_mftReservedStart = zoneStart;
    job.m_mftReservedEnd = zoneEnd;
    if (planned != 1) return 0;
    uint64_t clusters = 0;
    for (int64_t i = 0; i <= job.m_fileTable->LastIndex(); ++i) {
        volume::FileRecord& file = *job.m_fileTable->Item(i);
        if (!file.IsDone()) clusters += file.AllocatedClusters();
        file.SetPlannedLcn(0);
        file.SetDone(false);
    }
    return clusters;
}

void RunComplete(benchmark::State& state, const std::string& source) {
    double wall = 0, cpu = 0, analysis = 0;
    uint64_t calls = 0, clusters = 0, needed = 0, bytesPerCluster = 0, fragmentedBefore = 0, fragmentedAfter = 0,
             files = 0;
    for (auto _ : state) {
        state.PauseTiming();
        WorkingCopy copy(source);
        std::string error;
        auto volume = SimVolume::Open(copy.Path(), SimAccess::ReadWrite, error);
        if (!volume) {
            std::fprintf(stderr, "cannot open %s: %s\n", copy.Path().c_str(), error.c_str());
            std::abort();
        }
        auto counting = std::make_shared<CountingBackend>(volume);
        MapDriveToBackend(kLetter, counting);
        auto job = std::make_unique<volume::CDefragJob>();
        QuietView view;
        if (!volume::OpenDrive(*job, &view, std::string(1, kLetter), 9)) std::abort();
        job->m_gate.Start();
        const double analysisStart = WallSeconds();
        if (engine::RunAnalysis(*job) != 1) std::abort();
        analysis = WallSeconds() - analysisStart;
        fragmentedBefore = job->m_fragmentedFiles;
        files = static_cast<uint64_t>(job->m_fileTable ? job->m_fileTable->Count() : 0);
        bytesPerCluster = job->m_bytesPerCluster;
        needed = ClustersToMove(*job);
        state.ResumeTiming();

        const double wallStart = WallSeconds();
        const double cpuStart = ProcessCpuSeconds();
        engine::RunCompleteMethod(*job);
        cpu = ProcessCpuSeconds() - cpuStart;
        wall = WallSeconds() - wallStart;

        state.PauseTiming();
        fragmentedAfter = job->m_fragmentedFiles;
        calls = counting->moveCalls;
        clusters = counting->clustersMoved;
        job.reset();
        UnmapTestDrive(kLetter);
        state.ResumeTiming();
    }
    const double disk = static_cast<double>(clusters) * static_cast<double>(bytesPerCluster) / kDiskBytesPerSecond;
    state.counters["files"] = static_cast<double>(files);
    state.counters["analysis_s"] = analysis;
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["move_calls"] = static_cast<double>(calls);
    state.counters["clusters_moved"] = static_cast<double>(clusters);
    state.counters["clusters_to_move"] = static_cast<double>(needed);
    state.counters["moved_x_needed"] = needed > 0 ? static_cast<double>(clusters) / static_cast<double>(needed) : 0;
    state.counters["disk_s_200MBps"] = disk;
    state.counters["cpu_x_disk"] = disk > 0 ? cpu / disk : 0;
    state.counters["frag_before"] = static_cast<double>(fragmentedBefore);
    state.counters["frag_after"] = static_cast<double>(fragmentedAfter);
}
void BM_CompleteMethod(benchmark::State& state) { RunComplete(state, CompleteVolumeFile()); }
BENCHMARK(BM_CompleteMethod)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CompleteMethodCrowded(benchmark::State& state) { RunComplete(state, CrowdedVolumeFile()); }
BENCHMARK(BM_CompleteMethodCrowded)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tarvo::bench
