// ClusterBitmapBench.cpp --- searches and state sweeps over a 2^28-cluster volume, beside a memchr pass.
//
// The volume is fragmented the way a well-used disk is: used runs (file
// extents) of mixed lengths with free gaps between them, about a quarter free.
// Each search is timed over a whole pass and reported beside a memchr pass over
// the same bitmap bytes (the memory-bandwidth floor) in the same run: x_memchr
// is the CPU time of a pass as a multiple of that floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "platform/drives/Drives.h"
#include "tests/volume/support/ScriptedVolume.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

namespace {

using namespace tarvo::volume;
using tarvo::volume::testing::ScriptedVolume;

constexpr uint64_t kClusters = uint64_t{1} << 28;

struct Fixture {
    std::shared_ptr<ScriptedVolume> volume;
    CDefragJob job;
    RecordingViewSink view;
    std::vector<std::unique_ptr<FileRecord>> files;
    std::vector<Lcn> extentEnds;
    uint64_t longestFree = 0;

    Fixture() {
        setenv("TARVO_HOME", "/tmp/tarvo-bench-volume", 1);
        volume = std::make_shared<ScriptedVolume>(kClusters, "NTFS", 4096);
        std::mt19937_64 rng(7);
        std::vector<std::pair<Lcn, uint64_t>> extents;
        for (Lcn n = 0; n < kClusters;) {
            const uint64_t used = 1 + (rng() % 8 == 0 ? rng() % 4000 : rng() % 300);
            const uint64_t free = 1 + (rng() % 8 == 0 ? rng() % 800 : rng() % 60);
            const uint64_t u = std::min(used, kClusters - n);
            extents.push_back({n, u});
            n += u;
            const uint64_t f = std::min(free, kClusters - n);
            longestFree = std::max(longestFree, f);
            n += f;
        }
        // Bytes directly: whole runs at a time.
        for (auto [at, length] : extents) {
            for (Lcn c = at; c < at + length && c % 8; ++c) volume->bitmap[c / 8] |= uint8_t(1u << (c % 8));
            Lcn c = (at + 7) / 8 * 8;
            if (c < at + length) {
                const Lcn end = at + length;
                std::memset(volume->bitmap.data() + c / 8, 0xFF, (end - c) / 8);
                for (Lcn k = c + (end - c) / 8 * 8; k < end; ++k) volume->bitmap[k / 8] |= uint8_t(1u << (k % 8));
            }
        }
        tarvo::platform::MapDriveToBackend('B', volume);
        if (!OpenDrive(job, &view, "B", 9)) std::abort();
        ReadMftFigures(job);
        job.m_clusterBitmap = std::make_unique<CClusterBitmap>();
        if (!job.m_clusterBitmap->Init(job)) std::abort();
        job.m_clusterBitmap->SetIndexSize(extents.size());
        // Files of one to four extents, scattered over the runs.
        for (size_t i = 0; i < extents.size();) {
            const uint32_t pieces = static_cast<uint32_t>(std::min<size_t>(1 + rng() % 4, extents.size() - i));
            auto file = std::make_unique<FileRecord>("B:\\F", RecordKind::Directory);
            file->CreatePairMap(pieces);
            Vcn vcn = 0;
            for (uint32_t p = 0; p < pieces; ++p) {
                auto [at, length] = extents[i + p];
                vcn += length;
                file->SetPair(p, vcn, at);
                extentEnds.push_back(at + length - 1);
            }
            i += pieces;
            file->IsFragmented();
            if (!job.m_clusterBitmap->RegisterFile(*file)) std::abort();
            files.push_back(std::move(file));
        }
    }
    const uint8_t* Bytes() const { return volume->bitmap.data(); }
    size_t ByteCount() const { return volume->bitmap.size(); }
};

Fixture& Volume() {
    static Fixture* fixture = new Fixture();
    return *fixture;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds of one memchr pass over the whole bitmap, for the ratios below.
double g_memchrPass = 0;

// Reports one pass of a search as a multiple of the memchr pass (share: the part
// of the bitmap one pass covers).
struct PassTimer {
    benchmark::State& state;
    double share;
    double start = ThreadCpuSeconds();
    ~PassTimer() {
        const double pass = (ThreadCpuSeconds() - start) / static_cast<double>(state.iterations());
        if (g_memchrPass > 0) state.counters["x_memchr"] = pass / (g_memchrPass * share);
    }
};

// The floor: one memchr over the bitmap bytes for a value none of them holds.
void BM_MemchrPass(benchmark::State& state) {
    auto& v = Volume();
    const double start = ThreadCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(std::memchr(v.Bytes(), 0x5A, v.ByteCount()));
    g_memchrPass = (ThreadCpuSeconds() - start) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount()));
}
BENCHMARK(BM_MemchrPass)->Unit(benchmark::kMillisecond);

// A first fit longer than any free run: the search passes the whole volume.
void BM_FindFirstFitFullPass(benchmark::State& state) {
    auto& v = Volume();
    PassTimer timer{state, 1.0};
    for (auto _ : state) benchmark::DoNotOptimize(v.job.m_clusterBitmap->FindFirstFit(0, v.longestFree + 32));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount()));
}
BENCHMARK(BM_FindFirstFitFullPass)->Unit(benchmark::kMillisecond);

void BM_FindLastFitFullPass(benchmark::State& state) {
    auto& v = Volume();
    PassTimer timer{state, 1.0};
    for (auto _ : state) benchmark::DoNotOptimize(v.job.m_clusterBitmap->FindLastFit(0, v.longestFree + 32));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount()));
}
BENCHMARK(BM_FindLastFitFullPass)->Unit(benchmark::kMillisecond);

// Every free run of the upper half, one call per run, from the top down.
void BM_FindFreeRunDownUpperHalf(benchmark::State& state) {
    auto& v = Volume();
    PassTimer timer{state, 0.5};
    for (auto _ : state) {
        Lcn start = kClusters - 1;
        uint64_t runs = 0;
        while (true) {
            uint64_t length = 1u << 20;
            auto found = v.job.m_clusterBitmap->FindFreeRunDown(start, length);
            if (!found || *found == 0) break;
            ++runs;
            start = *found - 1;
        }
        benchmark::DoNotOptimize(runs);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount() / 2));
}
BENCHMARK(BM_FindFreeRunDownUpperHalf)->Unit(benchmark::kMillisecond);

// The owner of the last cluster of every extent (the longest backward scan per extent).
void BM_FindFileAtEveryExtent(benchmark::State& state) {
    auto& v = Volume();
    PassTimer timer{state, 1.0};
    for (auto _ : state)
        for (Lcn end : v.extentEnds) benchmark::DoNotOptimize(v.job.m_clusterBitmap->FindFileAt(end));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount()));
    state.counters["calls"] = static_cast<double>(v.extentEnds.size());
}
BENCHMARK(BM_FindFileAtEveryExtent)->Unit(benchmark::kMillisecond);

// The view's sweep: every cluster's state, skipping ahead over reported runs.
void BM_ClusterStateSweep(benchmark::State& state) {
    auto& v = Volume();
    PassTimer timer{state, 1.0};
    uint64_t calls = 0;
    for (auto _ : state) {
        calls = 0;
        for (Lcn n = 0; n < kClusters; ++calls) {
            Lcn end = 0;
            benchmark::DoNotOptimize(v.job.m_clusterBitmap->ClusterState(n, end));
            n = end > n ? end + 1 : n + 1;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.ByteCount()));
    state.counters["calls"] = static_cast<double>(calls);
}
BENCHMARK(BM_ClusterStateSweep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
