// FatBench.cpp --- FAT analysis beside fsck.fat -n, and move throughput beside dd, on one image in one run.
//
// bench_fat [--size 1G] [--files 20000] [--move 128M] [--dir DIR] [--image IMG] [--keep IMG]
// Makes a fragmented FAT32 image (mkfs.fat + mtools), or works on a copy of
// IMG made earlier (--keep saves the made image there), then prints ratios:
//   analysis = our full read (tree, every file's extents, bitmap) / fsck.fat -n   (goal <= 1)
//   moves    = our move throughput / dd of the same bytes with fsync             (goal >= 0.5)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/blockio/BlockDevice.h"
#include "platform/fat/FatBackend.h"
#include "platform/fat/FatImageMaker.h"
#include "platform/fat/FatTools.h"

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

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    uint64_t size = 1ull << 30, toMove = 128ull << 20;
    uint32_t files = 20000;
    std::string dir = "/var/tmp";  // on disk, where fsync costs what it costs users
    std::string reuse, keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size") size = ParseBytes(argv[i + 1]);
        else if (a == "--files") files = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (a == "--move") toMove = ParseBytes(argv[i + 1]);
        else if (a == "--dir") dir = argv[i + 1];
        else if (a == "--image") reuse = argv[i + 1];
        else if (a == "--keep") keep = argv[i + 1];
    }
    std::string work = dir + "/tarvo-bench-fat-" + std::to_string(::getpid());
    std::filesystem::create_directories(work + "/home");
    setenv("TARVO_HOME", (work + "/home").c_str(), 1);
    FatImageRecipe recipe;
    recipe.path = work + "/bench.img";
    recipe.sizeBytes = size;
    recipe.fatBits = 32;
    recipe.files = files;
    recipe.fragment = true;
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
    std::filesystem::remove_all(work);
    return 0;
}
