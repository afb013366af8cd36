// NtfsBench.cpp --- NTFS analysis beside a bare libntfs-3g walk, moves beside dd, COMPLETE beside a copy-out/copy-in.
//
// bench_ntfs [--size 1G] [--files 20000] [--fragmented 30] [--move 64M] [--dir DIR] [--image IMG] [--keep IMG]
//            [--complete 1] [--rounds 5]
// Makes a fragmented NTFS image (mkntfs, then files through libntfs-3g), or
// works on a copy of IMG made earlier (--keep saves the made image there), then
// prints ratios, each against a floor measured in the same run (the analysis
// figures: the fastest of --rounds rounds taken in turn):
//   analysis = the engine's RunAnalysis of the drive / a bare libntfs-3g tree walk   (goal <= 1.5)
//   moves    = our move throughput / dd of the same bytes with fsync                 (goal >= 0.5)
//   COMPLETE = the whole method (with --complete 1) / every file copied out (ntfscat) and into a fresh
//              mkntfs image (ntfscp)                                                 (goal <= 1)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "NtfsBareWalk.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "engine/Analysis.h"
#include "engine/EngineReport.h"
#include "platform/blockio/BlockDevice.h"
#include "platform/drives/Drives.h"
#include "platform/ntfs/NtfsBackend.h"
#include "platform/ntfs/NtfsExternalCheck.h"
#include "platform/ntfs/NtfsImageBuilder.h"
#include "platform/registry/Registry.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

#if __has_include("engine/CompleteMethod.h")
#include "engine/CompleteMethod.h"
#define TARVO_HAVE_COMPLETE 1
#endif

using namespace tarvo;
using namespace tarvo::platform;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

uint64_t ParseBytes(const char* text) {
    char* end = nullptr;
    uint64_t v = std::strtoull(text, &end, 10);
    if (*end == 'K') v <<= 10;
    if (*end == 'M') v <<= 20;
    if (*end == 'G') v <<= 30;
    return v;
}

struct FileInfo {
    std::string path;
    FileId id;
    uint64_t clusters;
    size_t runs;
};

// Every file of the tree with its extents, through the backend.
void Walk(VolumeBackend& backend, const std::string& dir, std::vector<FileInfo>& files, std::vector<uint8_t>& buffer) {
    std::vector<DirectoryEntry> entries;
    backend.ListDirectory(dir, entries);
    for (const auto& e : entries) {
        std::string path = dir.empty() ? e.name : dir + "\\" + e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(backend, path, files, buffer);
            continue;
        }
        FileId id = 0;
        if (backend.OpenFile(path, {}, id) != STATUS_SUCCESS) {
            continue;
        }
        FsctlResult r = backend.GetRetrievalPointers(id, 0, buffer.data(), buffer.size());
        if (r.status == STATUS_SUCCESS) {
            auto* rp = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
            auto* ext = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(buffer.data() + kRetrievalPointersHeaderSize);
            size_t real = 0;
            for (DWORD i = 0; i < rp->ExtentCount; ++i) real += ext[i].Lcn.QuadPart >= 0 ? 1 : 0;
            files.push_back({path, id, static_cast<uint64_t>(ext[rp->ExtentCount - 1].NextVcn.QuadPart), real});
        }
    }
}

// The engine's analysis of the image served as drive N: answers the seconds and the files it found.
double EngineAnalysis(const std::string& image, size_t& files, uint32_t& fragmented) {
    std::string error;
    MapDrive('N', image, error);
    auto start = Clock::now();
    {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        if (volume::OpenDrive(job, &view, "N", 9) == 1) {
            job.m_gate.Start();
            engine::RunAnalysis(job);
            files = job.m_fileTable ? static_cast<size_t>(job.m_fileTable->LastIndex() + 1) : 0;
            fragmented = job.m_fragmentedFiles;
        }
    }
    ReleaseCachedBackends();
    return Seconds(start);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "bench_ntfs: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    NtfsImageRecipe recipe;
    recipe.size = 1ull << 30;
    recipe.files = 20000;
    recipe.fragmentation = Fragmentation::Deliberate;
    recipe.fragmentedPercent = 30;
    uint64_t toMove = 64ull << 20;
    std::string dir = "/var/tmp";  // on disk, where fsync costs what it costs users
    std::string reuse, keep;
    bool completeToo = false;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || i + 1 >= argc) {
            std::printf("usage: bench_ntfs [--size 1G] [--files 20000] [--fragmented 30] [--move 64M] [--dir DIR] "
                        "[--image IMG] [--keep IMG] [--complete 1] [--rounds 5]\n");
            return a == "--help" ? 0 : 2;
        }
        const char* v = argv[++i];
        if (a == "--size") recipe.size = ParseBytes(v);
        else if (a == "--files") recipe.files = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (a == "--fragmented") recipe.fragmentedPercent = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (a == "--move") toMove = ParseBytes(v);
        else if (a == "--dir") dir = v;
        else if (a == "--image") reuse = v;
        else if (a == "--keep") keep = v;
        else if (a == "--complete") completeToo = std::string(v) == "1";
        else if (a == "--rounds") rounds = std::max(1, std::atoi(v));
    }
    const std::string work = dir + "/tarvo-bench-ntfs-" + std::to_string(::getpid());
    std::filesystem::create_directories(work + "/home");
    setenv("TARVO_HOME", (work + "/home").c_str(), 1);
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    app::SetDisplay(app::Display::Off);
    recipe.path = work + "/bench.img";
    std::vector<ManifestEntry> manifest;
    std::string error, output;
    auto start = Clock::now();
    if (!reuse.empty()) {
        std::error_code ec;
        if (!std::filesystem::copy_file(reuse, recipe.path, ec)) return Fail("cannot copy " + reuse + ": " + ec.message());
        // Written back now, so that the first flush of the moves does not pay for the copy.
        auto copy = OpenBlockDevice(recipe.path, DeviceAccess::ReadWrite, error);
        if (!copy || copy->Flush() != 0) return Fail("cannot write back the copy: " + error);
        std::printf("image: a copy of %s\n", reuse.c_str());
    } else if (!BuildNtfsImage(recipe, manifest, error)) {
        return Fail(error);
    } else {
        std::printf("image: %llu MiB, %zu files, made in %.1f s\n", static_cast<unsigned long long>(recipe.size >> 20),
                    manifest.size(), Seconds(start));
        std::error_code ec;
        if (!keep.empty() &&
            !std::filesystem::copy_file(recipe.path, keep, std::filesystem::copy_options::overwrite_existing, ec)) {
            std::fprintf(stderr, "bench_ntfs: cannot keep the image as %s: %s\n", keep.c_str(), ec.message().c_str());
        }
    }
    RunCapturing({"cat", recipe.path}, output);  // the image in the page cache for every contender alike
    output.clear();

    // Analysis: the bare walk, our backend's walk, and the engine's whole analysis,
    // taken in turn `rounds` times; each figure is its fastest round.
    bench::BareWalkFigures bare;
    std::vector<FileInfo> found;
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 32768 * sizeof(RETRIEVAL_POINTERS_EXTENT));
    size_t engineFiles = 0;
    uint32_t engineFragmented = 0;
    double bareSeconds = 1e9, walkSeconds = 1e9, engineSeconds = 1e9;
    for (int round = 0; round < rounds; ++round) {
        bare = {};
        start = Clock::now();
        if (!bench::BareWalk(recipe.path, bare, error)) return Fail(error);
        bareSeconds = std::min(bareSeconds, Seconds(start));
        found.clear();
        start = Clock::now();
        {
            auto backend = OpenNtfsBackend(recipe.path, DeviceAccess::ReadOnly, error);
            if (!backend) return Fail(error);
            Walk(*backend, "", found, buffer);
            DiskFreeSpace space;
            backend->GetDiskFreeSpace(space);
            std::vector<uint8_t> bitmap(kVolumeBitmapHeaderSize + space.totalNumberOfClusters / 8 + 8);
            backend->GetVolumeBitmap(0, bitmap.data(), bitmap.size());
        }
        walkSeconds = std::min(walkSeconds, Seconds(start));
        engineSeconds = std::min(engineSeconds, EngineAnalysis(recipe.path, engineFiles, engineFragmented));
    }
    size_t fragmented = 0;
    for (const auto& f : found) fragmented += f.runs > 1 ? 1 : 0;
    std::printf("bare libntfs-3g walk: %.3f s for %llu files (%llu fragmented)\n", bareSeconds,
                static_cast<unsigned long long>(bare.files), static_cast<unsigned long long>(bare.fragmentedFiles));
    std::printf("backend walk: %.3f s for %zu files (%zu fragmented); ratio %.2f\n", walkSeconds, found.size(),
                fragmented, walkSeconds / bareSeconds);
    std::printf("analysis (RunAnalysis): %.3f s for %zu files (%u fragmented); ratio %.2f (goal <= 1.5)\n",
                engineSeconds, engineFiles, engineFragmented, engineSeconds / bareSeconds);

    // Moves: whole fragmented files into free runs from the end of the volume, until enough bytes moved.
    {
        auto backend = OpenNtfsBackend(recipe.path, DeviceAccess::ReadWrite, error);
        if (!backend) return Fail(error);
        NTFS_VOLUME_DATA_BUFFER data{};
        backend->GetNtfsVolumeData(data);
        const uint64_t total = static_cast<uint64_t>(data.TotalClusters.QuadPart);
        const uint64_t clusterBytes = data.BytesPerCluster;
        std::vector<uint8_t> bitmap(kVolumeBitmapHeaderSize + total / 8 + 8);
        uint64_t moved = 0;
        int moves = 0;
        double inMoves = 0;
        start = Clock::now();
        for (const auto& f : found) {
            if (moved >= toMove || f.runs < 2) continue;
            backend->GetVolumeBitmap(0, bitmap.data(), bitmap.size());
            const uint8_t* bits = bitmap.data() + kVolumeBitmapHeaderSize;
            uint64_t run = 0;
            Lcn target = kVirtualLcn;
            for (Lcn lcn = total; lcn-- > 0;) {
                run = (bits[lcn / 8] >> (lcn % 8)) & 1 ? 0 : run + 1;
                if (run == f.clusters) {
                    target = lcn;
                    break;
                }
            }
            if (target == kVirtualLcn) continue;
            const auto moveStart = Clock::now();
            const NTSTATUS status = backend->MoveFile(f.id, 0, target, static_cast<DWORD>(f.clusters)).status;
            inMoves += Seconds(moveStart);
            if (status == STATUS_SUCCESS) {
                moved += f.clusters * clusterBytes;
                ++moves;
            }
        }
        const auto flushStart = Clock::now();
        backend->Flush();
        inMoves += Seconds(flushStart);
        const double loop = Seconds(start);
        // Our figure is the time in MoveFile and the last Flush: the search for
        // targets above is the bench's own work, which dd does not do either.
        const double ours = inMoves;
        backend.reset();
        const uint64_t mib = std::max<uint64_t>(1, moved >> 20);
        // dd's time with fsync swings by more than 2x from one run to the next on
        // the same disk: the floor is the median of three.
        std::vector<double> ddRuns;
        for (int run = 0; run < 3; ++run) {
            start = Clock::now();
            RunCapturing({"dd", "if=" + recipe.path, "of=" + work + "/dd.out", "bs=1M",
                          "count=" + std::to_string(mib), "conv=fsync"},
                         output);
            ddRuns.push_back(Seconds(start));
            std::filesystem::remove(work + "/dd.out");
        }
        std::vector<double> sorted = ddRuns;
        std::sort(sorted.begin(), sorted.end());
        const double dd = sorted[1];
        std::printf("dd runs: %.3f s, %.3f s, %.3f s\n", ddRuns[0], ddRuns[1], ddRuns[2]);
        std::printf("moves: %d files, %.1f MiB in %.3f s of MoveFile and Flush (%.3f s with the search for targets; "
                    "%.1f MiB/s, %.2f ms a move); dd of %llu MiB (median of three): %.3f s (%.1f MiB/s); ratio %.2f (goal >= 0.5)\n",
                    moves, moved / 1048576.0, ours, loop, moved / 1048576.0 / ours, moves ? ours * 1000 / moves : 0.0,
                    static_cast<unsigned long long>(mib), dd, mib / dd, (moved / 1048576.0 / ours) / (mib / dd));
        std::string report;
        const bool clean = RunExternalNtfsChecks(recipe.path, report);
        std::printf("after the moves: %s%s", clean ? "clean\n" : "NOT CLEAN\n", clean ? "" : report.c_str());
    }
#ifdef TARVO_HAVE_COMPLETE
    if (!completeToo) {
        std::printf("COMPLETE: left out (--complete 1 times it)\n");
    } else {
        // The floor: every file copied out with ntfscat and into a fresh image with ntfscp.
        const std::string outDir = work + "/out", fresh = work + "/fresh.img";
        std::filesystem::create_directories(outDir);
        start = Clock::now();
        size_t copied = 0;
        for (size_t i = 0; i < found.size(); ++i) {
            std::string slash = found[i].path;
            for (char& c : slash) c = c == '\\' ? '/' : c;
            if (RunCapturing({"sh", "-c", "ntfscat -f \"$0\" \"$1\" > \"$2\"", recipe.path, "/" + slash,
                              outDir + "/" + std::to_string(i)},
                             output) == 0) {
                ++copied;
            }
        }
        RunCapturing({"truncate", "-s", std::to_string(recipe.size), fresh}, output);
        RunCapturing({"mkntfs", "-F", "-f", "-q", "-c", std::to_string(recipe.clusterSize), fresh}, output);
        for (size_t i = 0; i < found.size(); ++i) {
            RunCapturing({"ntfscp", "-q", "-f", fresh, outDir + "/" + std::to_string(i), "/F" + std::to_string(i)},
                         output);
        }
        RunCapturing({"sync", "-f", fresh}, output);
        const double copySeconds = Seconds(start);
        std::filesystem::remove_all(outDir);
        std::filesystem::remove(fresh);
        // COMPLETE on the image as the moves above left it.
        std::string mapError;
        MapDrive('N', recipe.path, mapError);
        // The method's messages, so that a run that ends early says why.
        std::vector<std::string> reports;
        engine::SetEngineReportObserver([&reports](app::MessageId id, const std::vector<std::string>& strings) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08X", id);
            reports.push_back(std::string(hex) + " " + (strings.empty() ? "" : strings[0]));
        });
        start = Clock::now();
        uint32_t before = 0, after = 0;
        {
            volume::RecordingViewSink view;
            volume::CDefragJob job;
            if (volume::OpenDrive(job, &view, "N", 9) == 1) {
                job.m_gate.Start();
                engine::RunAnalysis(job, engine::WorkerMark::Keep);
                before = job.m_fragmentedFiles;
                engine::RunCompleteMethod(job);
                after = job.m_fragmentedFiles;
            }
        }
        ReleaseCachedBackends();
        const double completeSeconds = Seconds(start);
        engine::SetEngineReportObserver(nullptr);
        for (size_t i = reports.size() > 3 ? reports.size() - 3 : 0; i < reports.size(); ++i) {
            std::printf("COMPLETE reported: %s\n", reports[i].c_str());
        }
        std::printf("COMPLETE: %.3f s (fragmented files %u -> %u); copy out and into a fresh image: %.3f s for %zu "
                    "files; ratio %.2f (goal <= 1)\n",
                    completeSeconds, before, after, copySeconds, copied, completeSeconds / copySeconds);
        std::string report;
        const bool clean = RunExternalNtfsChecks(recipe.path, report);
        std::printf("after COMPLETE: %s%s", clean ? "clean\n" : "NOT CLEAN\n", clean ? "" : report.c_str());
    }
#else
    std::printf("COMPLETE: not in this build\n");
#endif
    std::filesystem::remove_all(work);
    return 0;
}
