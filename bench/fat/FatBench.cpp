// FatBench.cpp --- FAT analysis beside fsck.fat -n, moves beside dd, COMPLETE beside a copy-out/copy-in.
//
// bench_fat [--size 1G] [--files 20000] [--fragment-share 30] [--move 128M] [--dir DIR] [--image IMG] [--keep IMG]
//           [--complete 0]
// Makes a fragmented FAT32 image (mkfs.fat + mtools), or works on a copy of
// IMG made earlier (--keep saves the made image there), then prints ratios:
//   analysis = our full read (tree, every file's extents, bitmap) / fsck.fat -n   (goal <= 1)
//   moves    = our move throughput / dd of the same bytes with fsync             (goal >= 0.5)
//   COMPLETE = the engine's analysis and COMPLETE of the drive / what users do today on a copy
//              of the same image: mcopy every file out, mformat, mcopy them back, fsync  (goal < 1)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Logger.h"
#include "app/Settings.h"
#include "engine/Analysis.h"
#include "engine/CompleteMethod.h"
#include "platform/blockio/BlockDevice.h"
#include "platform/drives/Drives.h"
#include "platform/fat/FatBackend.h"
#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatImageMaker.h"
#include "platform/fat/FatTools.h"
#include "platform/registry/Registry.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

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
    FileId id;
    uint64_t clusters;
    size_t runs;
};

void Walk(VolumeBackend& backend, const std::string& dir, std::vector<FileInfo>& files, std::vector<uint8_t>& buffer) {
    std::vector<DirectoryEntry> entries;
    backend.ListDirectory(dir, entries);
    for (const auto& e : entries) {
        std::string path = dir.empty() ? e.name : dir + "\\" + e.name;
        FileId id = 0;
        if (backend.OpenFile(path, {}, id) != STATUS_SUCCESS) {
            continue;
        }
        FsctlResult r = backend.GetRetrievalPointers(id, 0, buffer.data(), buffer.size());
        if (r.status == STATUS_SUCCESS && !(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            auto* rp = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
            auto* ext = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(buffer.data() + kRetrievalPointersHeaderSize);
            files.push_back({id, static_cast<uint64_t>(ext[rp->ExtentCount - 1].NextVcn.QuadPart), rp->ExtentCount});
        }
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(backend, path, files, buffer);
        }
    }
}

// Writes back what is still cached of the file, as a user's copy would have to reach the medium.
void SyncFile(const std::string& path) {
    if (int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// What users do today to defragment a FAT volume, on a copy of the image: every file copied
// out with mcopy, the volume formatted anew with mformat (same geometry), every file copied back.
// Answers the seconds of the three steps and the final write-back, or a negative value on failure.
double CopyOutAndIn(const std::string& image, const std::string& work) {
    uint8_t sector[512] = {};
    FatGeometry g;
    std::string error, output;
    {
        auto device = OpenBlockDevice(image, DeviceAccess::ReadOnly, error);
        if (!device || device->Read(0, sector, sizeof sector) != 0 ||
            !ParseFatBootSector(sector, sizeof sector, device->Size(), g, error)) {
            std::fprintf(stderr, "bench_fat: %s\n", error.c_str());
            return -1;
        }
    }
    const std::string out = work + "/out";
    std::filesystem::create_directories(out);
    const auto start = Clock::now();
    bool ok = RunTool({"mcopy", "-s", "-m", "-n", "-Q", "-i", image, "::/*", out + "/"}, output) == 0;
    std::vector<std::string> format{"mformat", "-i", image};
    if (g.type == FatType::Fat32) format.push_back("-F");
    for (const std::string& word : {std::string("-T"), std::to_string(g.totalSectors), std::string("-c"),
                                    std::to_string(g.sectorsPerCluster), std::string("::")})
        format.push_back(word);
    ok = ok && RunTool(format, output) == 0;
    ok = ok && RunTool({"sh", "-c", "exec mcopy -s -m -Q -i \"$0\" \"$1\"/* ::/", image, out}, output) == 0;
    SyncFile(image);
    const double seconds = Seconds(start);
    std::filesystem::remove_all(out);
    if (!ok) {
        std::fprintf(stderr, "bench_fat: copy out and in failed: %s\n", output.c_str());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    uint64_t size = 1ull << 30, toMove = 128ull << 20;
    uint32_t files = 20000;
    uint32_t fragmentPercent = 30;
    std::string dir = "/var/tmp";  // on disk, where fsync costs what it costs users
    std::string reuse, keep;
    bool completeToo = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size") size = ParseBytes(argv[i + 1]);
        else if (a == "--files") files = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (a == "--fragment-share") fragmentPercent = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (a == "--move") toMove = ParseBytes(argv[i + 1]);
        else if (a == "--dir") dir = argv[i + 1];
        else if (a == "--image") reuse = argv[i + 1];
        else if (a == "--keep") keep = argv[i + 1];
        else if (a == "--complete") completeToo = std::string(argv[i + 1]) != "0";
    }
    std::string work = dir + "/tarvo-bench-fat-" + std::to_string(::getpid());
    std::filesystem::create_directories(work + "/home");
    setenv("TARVO_HOME", (work + "/home").c_str(), 1);
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    app::SetDisplay(app::Display::Off);
    FatImageRecipe recipe;
    recipe.path = work + "/bench.img";
    recipe.sizeBytes = size;
    recipe.fatBits = 32;
    recipe.files = files;
    recipe.fragment = true;
    recipe.fragmentPercent = fragmentPercent;
    std::vector<FatManifestEntry> manifest;
    std::string error;
    auto start = Clock::now();
    if (!reuse.empty()) {
        std::error_code ec;
        if (!std::filesystem::copy_file(reuse, recipe.path, ec)) {
            std::fprintf(stderr, "bench_fat: cannot copy %s: %s\n", reuse.c_str(), ec.message().c_str());
            return 1;
        }
        std::printf("image: a copy of %s\n", reuse.c_str());
    } else if (!MakeFatImage(recipe, manifest, error)) {
        std::fprintf(stderr, "bench_fat: %s\n", error.c_str());
        return 1;
    } else {
        std::printf("image: %llu MiB, %zu files, made in %.1f s\n", static_cast<unsigned long long>(size >> 20),
                    manifest.size(), Seconds(start));
        std::error_code ec;
        if (!keep.empty() && !std::filesystem::copy_file(recipe.path, keep, std::filesystem::copy_options::overwrite_existing, ec)) {
            std::fprintf(stderr, "bench_fat: cannot keep the image as %s: %s\n", keep.c_str(), ec.message().c_str());
        }
    }

    // A user's volume is on the medium before the run: write back what making or copying the image left dirty.
    if (int fd = ::open(recipe.path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    std::string output;
    start = Clock::now();
    RunTool({"fsck.fat", "-n", recipe.path}, output);
    double fsck = Seconds(start);
    start = Clock::now();
    std::vector<FileInfo> found;
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 32768 * sizeof(RETRIEVAL_POINTERS_EXTENT));
    {
        auto device = OpenBlockDevice(recipe.path, DeviceAccess::ReadOnly, error);
        auto backend = device ? OpenFatBackend(std::move(device), error) : nullptr;
        if (!backend) {
            std::fprintf(stderr, "bench_fat: %s\n", error.c_str());
            return 1;
        }
        Walk(*backend, "", found, buffer);
        DiskFreeSpace space;
        backend->GetDiskFreeSpace(space);
        std::vector<uint8_t> bitmap(kVolumeBitmapHeaderSize + space.totalNumberOfClusters / 8 + 8);
        backend->GetVolumeBitmap(0, bitmap.data(), bitmap.size());
    }
    double analysis = Seconds(start);
    size_t fragmented = 0;
    for (const auto& f : found) {
        fragmented += f.runs > 1 ? 1 : 0;
    }
    std::printf("analysis: %.3f s for %zu files (%zu fragmented); fsck.fat -n: %.3f s; ratio %.2f (goal <= 1)\n",
                analysis, found.size(), fragmented, fsck, analysis / fsck);

    // Moves: whole fragmented files into free runs at the end of the volume, until enough bytes moved.
    auto device = OpenBlockDevice(recipe.path, DeviceAccess::ReadWrite, error);
    auto backend = device ? OpenFatBackend(std::move(device), error) : nullptr;
    if (!backend) {
        std::fprintf(stderr, "bench_fat: %s\n", error.c_str());
        return 1;
    }
    DiskFreeSpace space;
    backend->GetDiskFreeSpace(space);
    const uint64_t clusterBytes = uint64_t{space.sectorsPerCluster} * space.bytesPerSector;
    std::vector<uint8_t> bitmap(kVolumeBitmapHeaderSize + space.totalNumberOfClusters / 8 + 8);
    uint64_t moved = 0;
    int moves = 0;
    // The search goes down from where the last target was found, so that the
    // timing is of the moves rather than of rescanning the filled end each time.
    Lcn cursor = space.totalNumberOfClusters;
    start = Clock::now();
    for (const auto& f : found) {
        if (moved >= toMove || f.runs < 2) {
            continue;
        }
        backend->GetVolumeBitmap(0, bitmap.data(), bitmap.size());
        const uint8_t* bits = bitmap.data() + kVolumeBitmapHeaderSize;
        uint64_t run = 0;
        Lcn target = kVirtualLcn;
        for (Lcn lcn = cursor; lcn-- > 0;) {
            run = (bits[lcn / 8] >> (lcn % 8)) & 1 ? 0 : run + 1;
            if (run == f.clusters) {
                target = lcn;
                break;
            }
        }
        if (target != kVirtualLcn &&
            backend->MoveFile(f.id, 0, target, static_cast<DWORD>(f.clusters)).status == STATUS_SUCCESS) {
            moved += f.clusters * clusterBytes;
            ++moves;
            cursor = target + f.clusters;
        }
    }
    backend->Flush();
    double ours = Seconds(start);
    backend.reset();
    const uint64_t mib = std::max<uint64_t>(1, moved >> 20);
    start = Clock::now();
    RunTool({"dd", "if=" + recipe.path, "of=" + work + "/dd.out", "bs=1M", "count=" + std::to_string(mib),
             "conv=fsync"},
            output);
    double dd = Seconds(start);
    std::printf("moves: %d files, %.1f MiB in %.3f s (%.1f MiB/s); dd of %llu MiB: %.3f s (%.1f MiB/s); ratio %.2f "
                "(goal >= 0.5)\n",
                moves, moved / 1048576.0, ours, moved / 1048576.0 / ours, static_cast<unsigned long long>(mib), dd,
                mib / dd, (moved / 1048576.0 / ours) / (mib / dd));
    RunTool({"fsck.fat", "-n", recipe.path}, output);
    std::printf("fsck.fat -n after the moves: %s", output.find("Leaving") == std::string::npos ? "clean\n" : output.c_str());

    if (completeToo) {
        // The floor, on a copy of the image as the moves left it.
        const std::string floorImage = work + "/floor.img";
        std::error_code ec;
        std::filesystem::copy_file(recipe.path, floorImage, ec);
        SyncFile(floorImage);
        const double copySeconds = ec ? -1 : CopyOutAndIn(floorImage, work);
        if (copySeconds >= 0 && RunTool({"fsck.fat", "-n", floorImage}, output) != 0) {
            std::printf("copy out and in left the copy NOT CLEAN:\n%s", output.c_str());
        }
        std::filesystem::remove(floorImage, ec);
        // COMPLETE as a command-line run does it: analysis, then the method, on the drive.
        std::string mapError;
        if (!MapDrive('F', recipe.path, mapError)) {
            std::fprintf(stderr, "bench_fat: %s\n", mapError.c_str());
            return 1;
        }
        uint32_t before = 0, after = 0;
        size_t analysed = 0;
        start = Clock::now();
        {
            volume::RecordingViewSink view;
            volume::CDefragJob job;
            if (volume::OpenDrive(job, &view, "F", 9) == 1) {
                job.m_gate.Start();
                engine::RunAnalysis(job, engine::WorkerMark::Keep);
                before = job.m_fragmentedFiles;
                analysed = job.m_fileTable ? static_cast<size_t>(job.m_fileTable->LastIndex() + 1) : 0;
                engine::RunCompleteMethod(job);
                after = job.m_fragmentedFiles;
            }
        }
        ReleaseCachedBackends();
        const double completeSeconds = Seconds(start);
        std::printf("COMPLETE: %.3f s for %zu files (fragmented %u -> %u); copy out, mformat, copy in: %.3f s; "
                    "ratio %.2f (goal < 1)\n",
                    completeSeconds, analysed, before, after, copySeconds,
                    copySeconds > 0 ? completeSeconds / copySeconds : 0.0);
        const int fsck = RunTool({"fsck.fat", "-n", recipe.path}, output);
        std::printf("fsck.fat -n after COMPLETE: %s", fsck == 0 ? "clean\n" : output.c_str());
    }
    std::filesystem::remove_all(work);
    return 0;
}
