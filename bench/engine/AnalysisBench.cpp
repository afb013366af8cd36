// AnalysisBench.cpp --- the drive analysis of a 1,000,000-file simulated NTFS volume beside a bare directory walk.
//
// The floor is a walk of the same tree through FindFirstFileA/FindNextFileA
// that only counts the entries: the least any analysis must do. The analysis is
// reported as files per second and as a multiple of that walk's time, both
// measured in the same run. The drive is mapped through its dosdevices link, as
// a user maps it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/engine/BenchSupport.h"
#include "engine/Analysis.h"
#include "platform/drives/Drives.h"
#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/VolumeOps.h"

namespace tarvo::bench {
namespace {

using namespace tarvo::platform;

constexpr char kLetter = 'K';

// Maps the benchmark volume once per process and answers its file count.
uint64_t MapAnalysisVolume() {
    static uint64_t files = [] {
        SimGenerateOptions options;
        options.fileSystem = SimFileSystem::Ntfs;
        options.files = static_cast<uint64_t>(1000000 * BenchScale());
        options.clusters = static_cast<uint64_t>(static_cast<double>(uint64_t{1} << 26) * BenchScale());
        options.fragmented = 0.3;
        options.seed = 11;
        const std::string path = CachedSimVolume(options);
        std::string error;
        if (!MapDrive(kLetter, path, error)) {
            std::fprintf(stderr, "cannot map %c: to %s: %s\n", kLetter, path.c_str(), error.c_str());
            std::abort();
        }
        // Load the volume now, so that neither benchmark pays for reading its file.
        NTSTATUS status = STATUS_SUCCESS;
        if (!OpenDriveBackend(kLetter, status, error)) std::abort();
        return options.files;
    }();
    return files;
}

// Files and directories below directory, entering subdirectories by their long names.
void Walk(const std::string& directory, uint64_t& files, uint64_t& directories) {
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((directory + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++files;
        } else if (std::string name = entry.cFileName; name != "." && name != "..") {
            ++directories;
            Walk(directory + "\\" + name, files, directories);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

double g_walkSeconds = 0;  // the floor, for the ratio of the analysis

void BM_BareDirectoryWalk(benchmark::State& state) {
    MapAnalysisVolume();
    uint64_t files = 0, directories = 0;
    double seconds = 0;
    for (auto _ : state) {
        files = directories = 0;
        const double start = WallSeconds();
        Walk(std::string(1, kLetter) + ":", files, directories);
        seconds = WallSeconds() - start;
    }
    g_walkSeconds = seconds;
    state.counters["files"] = static_cast<double>(files);
    state.counters["dirs"] = static_cast<double>(directories);
    state.counters["files_per_s"] = static_cast<double>(files) / seconds;
}
BENCHMARK(BM_BareDirectoryWalk)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RunAnalysis(benchmark::State& state) {
    MapAnalysisVolume();
    uint64_t files = 0, fragmented = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto job = std::make_unique<volume::CDefragJob>();
        QuietView view;
        if (!volume::OpenDrive(*job, &view, std::string(1, kLetter), 9)) std::abort();
        job->m_gate.Start();
        state.ResumeTiming();
        const double start = WallSeconds();
        if (engine::RunAnalysis(*job) != 1 || !job->m_fileTable) std::abort();
        seconds = WallSeconds() - start;
        state.PauseTiming();
        files = job->m_fileTable->Count();
        fragmented = job->m_fragmentedFiles;
        job.reset();
        state.ResumeTiming();
    }
    state.counters["files"] = static_cast<double>(files);
    state.counters["fragmented"] = static_cast<double>(fragmented);
    state.counters["files_per_s"] = static_cast<double>(files) / seconds;
    if (g_walkSeconds > 0) state.counters["x_walk"] = seconds / g_walkSeconds;
}
BENCHMARK(BM_RunAnalysis)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tarvo::bench
