// FatCrashMatrixTest.cpp --- power cut at every flush point of a series of moves, then repair and the independent judges.
//
// By default a bounded sample runs (every cut point torn, some also kept or
// dropped, one seed); TARVO_STRESS=full runs every cut point in every mode for several seeds.
#include <functional>
#include <map>
#include <set>

#include "FatTestSupport.h"
#include "platform/blockio/PowerLossDevice.h"

namespace tarvo::platform::testing {

namespace {

struct Flavor {
    int fatBits;
    uint64_t size;
    uint32_t clusterBytes;
};

using Moves = std::function<NTSTATUS(VolumeBackend&)>;

// Runs the moves once uncut to count the flush points, then once per cut point
// and mode; after each cut: what fsck.fat may see and every file's content as
// mcopy reads it before our program opens the volume again, our repair, the
// judges, a rerun.
// Answers the number of cuts tried.
int CrashMatrix(const std::string& image, const std::vector<FatManifestEntry>& manifest, uint64_t seed, bool full,
                const Moves& moves, uint64_t minimumFlushes) {
    const std::vector<uint8_t> pristine = ReadAll(image);
    std::vector<std::string> names;
    uint64_t flushes = 0;
    {
        std::string error;
        auto record = std::make_shared<PowerLossRecord>();
        auto device = std::make_unique<PowerLossDevice>(OpenBlockDevice(image, DeviceAccess::ReadWrite, error),
                                                        PowerLossPlan{}, record);
        auto backend = OpenFatBackend(std::move(device), error);
        EXPECT_NE(backend, nullptr) << error;
        if (backend == nullptr) return 0;
        names = ListFiles(*backend);
        EXPECT_EQ(moves(*backend), STATUS_SUCCESS);
        backend.reset();
        flushes = record->flushes;
    }
    EXPECT_GE(flushes, minimumFlushes);
    int cuts = 0;
    for (uint64_t cut = 1; cut <= flushes; ++cut) {
        // Tearing keeps a random part of the pending sectors: the sharpest single mode.
        std::vector<CrashMode> modes{CrashMode::Tear, CrashMode::Keep, CrashMode::Drop};
        if (!full) {
            modes.resize(cut % 4 == 0 ? 2 : cut % 4 == 2 ? 3 : 1);
        }
        for (CrashMode mode : modes) {
            SCOPED_TRACE("cut at flush " + std::to_string(cut) + " of " + std::to_string(flushes) + ", mode " +
                         std::to_string(int(mode)));
            WriteAll(image, pristine);
            std::string error;
            {
                auto device = std::make_unique<PowerLossDevice>(OpenBlockDevice(image, DeviceAccess::ReadWrite, error),
                                                                PowerLossPlan{cut, mode, seed + cut});
                auto backend = OpenFatBackend(std::move(device), error);
                EXPECT_NE(backend, nullptr) << error;
                if (backend == nullptr) return cuts;
                moves(*backend);
            }
            // The user who runs fsck.fat before reopening finds only what is allowed.
            std::string output;
            Fsck(image, output);
            EXPECT_EQ(UnexpectedFsckLines(output, image), "") << output;
            // The medium alone already holds every file's content, as mcopy reads it.
            EXPECT_EQ(MtoolsManifest(image), manifest) << "before our reopen";
            // Our next open repairs; then the judges find the volume clean and every byte in place.
            {
                auto backend = OpenImage(image, error);
                EXPECT_NE(backend, nullptr) << error;
                if (backend == nullptr) return cuts;
                EXPECT_EQ(ListFiles(*backend), names);
            }
            EXPECT_EQ(Fsck(image, output), 0) << output;
            EXPECT_EQ(output.find("differ"), std::string::npos) << output;
            EXPECT_EQ(output.find("uninitialized"), std::string::npos) << output;
            EXPECT_EQ(MtoolsManifest(image), manifest);
            // A rerun completes.
            {
                auto backend = OpenImage(image, error);
                EXPECT_NE(backend, nullptr) << error;
                if (backend == nullptr) return cuts;
                moves(*backend);
                std::string report;
                EXPECT_TRUE(backend->CheckConsistency(report)) << report;
            }
            EXPECT_EQ(Fsck(image, output), 0) << output;
            if (::testing::Test::HasFailure()) return cuts;
            ++cuts;
        }
    }
    return cuts;
}

// The whole file at VCN 0 of `path` in the first free run from `from` on.
NTSTATUS MoveWhole(VolumeBackend& backend, const std::string& path, Lcn from = 0) {
    FileId id = 0;
    if (NTSTATUS s = backend.OpenFile(path, {}, id); s != STATUS_SUCCESS) return s;
    uint64_t length = 0;
    for (const auto& run : Runs(backend, id)) length += run.second;
    const Lcn target = FindFreeRun(backend, length, from);
    return target == kVirtualLcn ? STATUS_DISK_FULL
                                 : backend.MoveFile(id, 0, target, static_cast<DWORD>(length)).status;
}

}  // namespace

TEST_F(FatTest, PowerCutAtAnyFlushLosesNoByteAndTheNextOpenRepairs) {
    const Flavor flavors[] = {{12, 2u << 20, 1024}, {16, 8u << 20, 512}, {32, 34u << 20, 512}};
    const bool full = FullStress();
    const std::vector<uint64_t> seeds = full ? std::vector<uint64_t>{3, 11, 29} : std::vector<uint64_t>{3};
    const size_t maxFiles = full ? 5 : 3;
    for (const Flavor& flavor : flavors) {
        int cuts = 0;
        for (uint64_t seed : seeds) {
            SCOPED_TRACE("FAT" + std::to_string(flavor.fatBits) + " seed " + std::to_string(seed));
            std::vector<FatManifestEntry> manifest;
            std::string image = MakeImage("crash" + std::to_string(flavor.fatBits) + "-" + std::to_string(seed) + ".img",
                                          flavor.fatBits, flavor.size, flavor.clusterBytes, 12, true, seed, manifest);
            // One batch: the session's start, the batch's data, links and switch flushes, the session's end (two).
            cuts += CrashMatrix(image, manifest, seed, full,
                                [&](VolumeBackend& backend) { return RunMoves(backend, maxFiles); }, 6);
        }
        std::printf("crash matrix: FAT%d %d cuts\n", flavor.fatBits, cuts);
    }
}

// Clusters freed by a pending move are taken by the next move only after the
// first is durable: a cut between the two never leaves a file on overwritten data.
// Here the same files move twice, which commits the batch in between.
TEST_F(FatTest, PowerCutWhileMovesReuseFreedClustersLosesNoByte) {
    const bool full = FullStress();
    std::vector<FatManifestEntry> manifest;
    std::string image = MakeImage("reuse.img", 16, 8u << 20, 512, 12, true, 7, manifest);
    std::string error;
    std::vector<std::string> files;
    {
        auto backend = OpenImage(image, error, DeviceAccess::ReadOnly);
        ASSERT_NE(backend, nullptr) << error;
        files = ListFiles(*backend);
    }
    ASSERT_GE(files.size(), 4u);
    auto moves = [&](VolumeBackend& backend) -> NTSTATUS {
        // Everything goes up to the end of the volume, then back down into what the first moves freed.
        DiskFreeSpace space;
        backend.GetDiskFreeSpace(space);
        const Lcn high = space.totalNumberOfClusters / 2;
        for (size_t i = 0; i < 4; ++i) {
            if (NTSTATUS s = MoveWhole(backend, files[i], high); s != STATUS_SUCCESS) return s;
        }
        for (size_t i = 0; i < 4; ++i) {
            if (NTSTATUS s = MoveWhole(backend, files[i]); s != STATUS_SUCCESS) return s;
        }
        return backend.Flush();
    };
    const int cuts = CrashMatrix(image, manifest, 7, full, moves, 9);
    std::printf("crash matrix: moves into freed clusters %d cuts\n", cuts);
}

// Within one batch, each file goes into the clusters the file before it left:
// a chain of generations, each written only after the switches of the one
// before are durable. Cut anywhere, no file is left on another's data.
TEST_F(FatTest, PowerCutInAChainOfMovesIntoClustersJustLeftLosesNoByte) {
    const bool full = FullStress();
    for (int fatBits : {12, 32}) {
        SCOPED_TRACE("FAT" + std::to_string(fatBits));
        std::vector<FatManifestEntry> manifest;
        std::string image = MakeImage("chain" + std::to_string(fatBits) + ".img", fatBits,
                                      fatBits == 12 ? 2u << 20 : 34u << 20, 512, 12, true, 5, manifest);
        std::string error;
        std::vector<std::string> files;
        {
            auto backend = OpenImage(image, error, DeviceAccess::ReadOnly);
            ASSERT_NE(backend, nullptr) << error;
            files = ListFiles(*backend);
        }
        ASSERT_GE(files.size(), 6u);
        // The first file goes up out of the way; each next one into the first free run
        // from the start, which the file before it has just left. Counts the moves that
        // took clusters another file's move of the same batch left.
        int chained = 0;
        auto moves = [&](VolumeBackend& backend) -> NTSTATUS {
            DiskFreeSpace space;
            backend.GetDiskFreeSpace(space);
            std::set<Lcn> left;
            for (size_t i = 0; i < 6; ++i) {
                FileId id = 0;
                if (NTSTATUS s = backend.OpenFile(files[i], {}, id); s != STATUS_SUCCESS) return s;
                const auto runs = Runs(backend, id);
                uint64_t length = 0;
                for (const auto& run : runs) length += run.second;
                if (length == 0) continue;
                const Lcn target = FindFreeRun(backend, length, i == 0 ? space.totalNumberOfClusters / 2 : 0);
                if (target == kVirtualLcn) return STATUS_DISK_FULL;
                chained += left.count(target) != 0 ? 1 : 0;
                if (NTSTATUS s = backend.MoveFile(id, 0, target, static_cast<DWORD>(length)).status; s != STATUS_SUCCESS)
                    return s;
                for (const auto& run : runs)
                    for (uint64_t k = 0; k < run.second; ++k) left.insert(run.first + static_cast<Lcn>(k));
            }
            return backend.Flush();
        };
        const int cuts = CrashMatrix(image, manifest, 5, full, moves, 6);
        EXPECT_GE(chained, 2) << "the moves did not take what earlier moves left";
        std::printf("crash matrix: FAT%d chain of moves into clusters just left %d cuts\n", fatBits, cuts);
    }
}

}  // namespace tarvo::platform::testing
