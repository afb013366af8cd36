// FatCrashMatrixTest.cpp --- power cut at every flush point of a series of moves, then repair and the independent judges.
//
// By default a bounded sample runs (every cut point torn, some also kept or
// dropped, one seed); TARVO_STRESS=full runs every cut point in every mode for several seeds.
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "FatTestSupport.h"
#include "platform/blockio/PowerLossDevice.h"

namespace tarvo::platform::testing {

namespace {

struct Flavor {
    int fatBits;
    uint64_t size;
    uint32_t clusterBytes;
};

}  // namespace

TEST_F(FatTest, PowerCutAtAnyFlushLosesNoByteAndTheNextOpenRepairs) {
    const Flavor flavors[] = {{12, 2u << 20, 1024}, {16, 8u << 20, 512}, {32, 34u << 20, 512}};
    const bool full = FullStress();
    const std::vector<uint64_t> seeds = full ? std::vector<uint64_t>{3, 11, 29} : std::vector<uint64_t>{3};
    const size_t maxFiles = full ? 5 : 3;
    std::map<std::string, int> counts;
    for (const Flavor& flavor : flavors) {
        for (uint64_t seed : seeds) {
            SCOPED_TRACE("FAT" + std::to_string(flavor.fatBits) + " seed " + std::to_string(seed));
            std::vector<FatManifestEntry> manifest;
            std::string image = MakeImage("crash" + std::to_string(flavor.fatBits) + "-" + std::to_string(seed) + ".img",
                                          flavor.fatBits, flavor.size, flavor.clusterBytes, 12, true, seed, manifest);
            const std::vector<uint8_t> pristine = ReadAll(image);
            std::vector<std::string> names;
            uint64_t flushes = 0;
            {
                std::string error;
                auto record = std::make_shared<PowerLossRecord>();
                auto device = std::make_unique<PowerLossDevice>(OpenBlockDevice(image, DeviceAccess::ReadWrite, error),
                                                                PowerLossPlan{}, record);
                auto backend = OpenFatBackend(std::move(device), error);
                ASSERT_NE(backend, nullptr) << error;
                names = ListFiles(*backend);
                RunMoves(*backend, maxFiles);
                backend.reset();
                flushes = record->flushes;
            }
            ASSERT_GT(flushes, 10u);
            for (uint64_t cut = 1; cut <= flushes; ++cut) {
                // Tearing keeps a random part of the pending sectors: the sharpest single mode.
                std::vector<CrashMode> modes{CrashMode::Tear, CrashMode::Keep, CrashMode::Drop};
                if (!full) {
                    modes.resize(cut % 4 == 0 ? 2 : cut % 4 == 2 ? 3 : 1);
                }
                for (CrashMode mode : modes) {
                    SCOPED_TRACE("cut at flush " + std::to_string(cut) + " mode " + std::to_string(int(mode)));
                    WriteAll(image, pristine);
                    std::string error;
                    {
                        auto device = std::make_unique<PowerLossDevice>(
                            OpenBlockDevice(image, DeviceAccess::ReadWrite, error), PowerLossPlan{cut, mode, seed + cut});
                        auto backend = OpenFatBackend(std::move(device), error);
                        ASSERT_NE(backend, nullptr) << error;
                        RunMoves(*backend, maxFiles);
                    }
                    // The user who runs fsck.fat before reopening finds only what is allowed.
                    std::string output;
                    Fsck(image, output);
                    EXPECT_EQ(UnexpectedFsckLines(output, image), "") << output;
                    // Our next open repairs; then the judges find the volume clean and every byte in place.
                    {
                        auto backend = OpenImage(image, error);
                        ASSERT_NE(backend, nullptr) << error;
                        EXPECT_EQ(ListFiles(*backend), names);
                    }
                    EXPECT_EQ(Fsck(image, output), 0) << output;
                    EXPECT_EQ(output.find("differ"), std::string::npos) << output;
                    EXPECT_EQ(output.find("uninitialized"), std::string::npos) << output;
                    ASSERT_EQ(MtoolsManifest(image), manifest);
                    // A rerun completes.
                    {
                        auto backend = OpenImage(image, error);
                        ASSERT_NE(backend, nullptr) << error;
                        RunMoves(*backend, maxFiles);
                        std::string report;
                        EXPECT_TRUE(backend->CheckConsistency(report)) << report;
                    }
                    EXPECT_EQ(Fsck(image, output), 0) << output;
                    ++counts["FAT" + std::to_string(flavor.fatBits)];
                }
            }
        }
    }
    for (const auto& [name, count] : counts) {
        std::printf("crash matrix: %s %d cuts\n", name.c_str(), count);
    }
}

}  // namespace tarvo::platform::testing
