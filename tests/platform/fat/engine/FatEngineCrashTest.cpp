// FatEngineCrashTest.cpp --- whole engine runs on FAT12/16/32 images cut by power loss at flush points.
//
// By default a bounded sample of cut points runs for one seed (torn at every
// sampled point, some also kept or dropped); TARVO_STRESS=full cuts at every
// flush point in every mode for several seeds.
#include <map>

#include "FatEngineRun.h"
#include "platform/blockio/PowerLossDevice.h"

namespace tarvo::platform::testing {

namespace {

struct Flavor {
    int fatBits;
    uint64_t size;
    uint32_t clusterBytes;
};

constexpr Flavor kFlavors[] = {{12, 2u << 20, 1024}, {16, 8u << 20, 512}, {32, 34u << 20, 512}};

// The cut points to try out of `flushes`: all of them, or about `sample` spread
// evenly with an offset that moves with the seed, the first and the last always in.
std::vector<uint64_t> CutPoints(uint64_t flushes, bool full, uint64_t seed, uint64_t sample = kSanitizedBuild ? 3 : 6) {
    std::vector<uint64_t> cuts;
    if (full || flushes <= sample) {
        for (uint64_t cut = 1; cut <= flushes; ++cut) cuts.push_back(cut);
        return cuts;
    }
    const uint64_t stride = flushes / sample;
    cuts.push_back(1);
    for (uint64_t cut = 1 + seed % stride; cut < flushes; cut += stride) {
        if (cut != 1) cuts.push_back(cut);
    }
    cuts.push_back(flushes);
    return cuts;
}

std::unique_ptr<VolumeBackend> OpenCut(const std::string& image, PowerLossPlan plan,
                                       std::shared_ptr<PowerLossRecord> record, std::string& error) {
    auto inner = OpenBlockDevice(image, DeviceAccess::ReadWrite, error);
    if (!inner) return nullptr;
    return OpenFatBackend(std::make_unique<PowerLossDevice>(std::move(inner), plan, std::move(record)), error);
}

}  // namespace

TEST_F(FatEngineTest, PowerCutDuringAMethodLosesNoByteAndTheRerunCompletes) {
    const bool full = FullStress();
    const std::vector<uint64_t> seeds = full ? std::vector<uint64_t>{3, 11, 29} : std::vector<uint64_t>{3};
    std::map<std::string, int> counts;
    std::map<std::string, uint64_t> points;
    for (EngineMethod method : AvailableMethods()) {
        for (const Flavor& flavor : kFlavors) {
            // FAT16 moves as FAT12 and FAT32 do at this level; the sanitized build leaves it to the backend matrix.
            if (kSanitizedBuild && !full && flavor.fatBits == 16) continue;
            for (uint64_t seed : seeds) {
                const std::string label = std::string(MethodName(method)) + " FAT" + std::to_string(flavor.fatBits);
                SCOPED_TRACE(label + " seed " + std::to_string(seed));
                std::vector<FatManifestEntry> manifest;
                const std::string image =
                    MakeImage(std::string(MethodName(method)) + std::to_string(flavor.fatBits) + "-" + std::to_string(seed) + ".img",
                              flavor.fatBits, flavor.size, flavor.clusterBytes, 12, true, seed, manifest);
                const std::vector<uint8_t> pristine = ReadAll(image);
                std::string error;
                std::vector<std::string> names;
                {
                    auto backend = OpenImage(image, error, DeviceAccess::ReadOnly);
                    ASSERT_NE(backend, nullptr) << error;
                    names = ListFiles(*backend);
                }
                // An uncut run: how many flush points there are, and that the method moves something.
                auto record = std::make_shared<PowerLossRecord>();
                {
                    auto backend = OpenCut(image, PowerLossPlan{}, record, error);
                    ASSERT_NE(backend, nullptr) << error;
                    const EngineOutcome outcome = RunMethod(std::move(backend), method);
                    ASSERT_TRUE(outcome.finished);
                    ASSERT_GT(outcome.filesAnalysed, 0u);
                }
                ASSERT_GT(record->flushes, 4u) << "the run moved nothing";
                ASSERT_EQ(MtoolsManifest(image), manifest);
                points[label] += record->flushes;

                for (uint64_t cut : CutPoints(record->flushes, full, seed)) {
                    std::vector<CrashMode> modes{CrashMode::Tear, CrashMode::Keep, CrashMode::Drop};
                    if (!full) modes.resize(cut % 3 == 0 ? 2 : cut % 3 == 1 ? 3 : 1);
                    for (CrashMode mode : modes) {
                        SCOPED_TRACE("cut at flush " + std::to_string(cut) + " of " +
                                     std::to_string(record->flushes) + ", mode " + std::to_string(int(mode)));
                        WriteAll(image, pristine);
                        {
                            auto backend = OpenCut(image, PowerLossPlan{cut, mode, seed * 1000 + cut}, nullptr, error);
                            ASSERT_NE(backend, nullptr) << error;
                            RunMethod(std::move(backend), method);
                        }
                        std::string output;
                        Fsck(image, output);
                        EXPECT_EQ(UnexpectedFsckLines(output, image), "") << output;
                        // The medium alone already holds every file's content, as mcopy reads it.
                        ASSERT_EQ(MtoolsManifest(image), manifest) << "before our reopen";
                        {
                            auto backend = OpenImage(image, error);
                            ASSERT_NE(backend, nullptr) << "the next open repairs: " << error;
                            EXPECT_EQ(ListFiles(*backend), names);
                        }
                        EXPECT_EQ(Fsck(image, output), 0) << output;
                        ASSERT_EQ(MtoolsManifest(image), manifest);

                        std::shared_ptr<VolumeBackend> again = OpenImage(image, error);
                        ASSERT_NE(again, nullptr) << error;
                        const EngineOutcome rerun = RunMethod(again, method);
                        EXPECT_TRUE(rerun.finished) << "the rerun completes";
                        std::string report;
                        EXPECT_TRUE(again->CheckConsistency(report)) << report;
                        again.reset();
                        EXPECT_EQ(Fsck(image, output), 0) << output;
                        ASSERT_EQ(MtoolsManifest(image), manifest);
                        ++counts[label];
                    }
                }
            }
        }
    }
    for (const auto& [name, count] : counts) {
        std::printf("engine crash matrix: %s %d cuts out of %llu flush points\n", name.c_str(), count,
                    static_cast<unsigned long long>(points[name]));
    }
}

}  // namespace tarvo::platform::testing
