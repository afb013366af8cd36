// NtfsEngineCrashTest.cpp --- whole engine runs on real NTFS images, uncut and cut by power loss at flush points.
//
// By default a bounded sample of cut points runs for one seed; TARVO_STRESS=full
// cuts at every flush point in every mode for several seeds.
#include <fstream>
#include <map>

#include "NtfsEngineRun.h"
#include "platform/blockio/PowerLossDevice.h"
#include "platform/ntfs/NtfsBackend.h"
#include "platform/ntfs/NtfsIntent.h"
#include "tests/platform/ntfs/NtfsCutJudges.h"

namespace tarvo::platform::testing {

namespace {

// Ordinary files written in turn (many fragments each), compressed and sparse files, 4 KiB clusters.
NtfsImageRecipe CrashImageRecipe(uint64_t seed) {
    NtfsImageRecipe recipe;
    recipe.size = 24ULL << 20;
    recipe.clusterSize = 4096;
    recipe.files = 12;
    recipe.compressed = 2;
    recipe.sparse = 2;
    recipe.fragmentation = Fragmentation::Deliberate;
    recipe.seed = seed;
    return recipe;
}

// The cut points to try out of `flushes`: all of them, or about `sample` spread
// evenly with an offset that moves with the seed, the first and the last always in.
std::vector<uint64_t> CutPoints(uint64_t flushes, bool full, uint64_t seed, uint64_t sample = 8) {
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

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::shared_ptr<VolumeBackend> OpenCut(const std::string& image, PowerLossPlan plan,
                                       std::shared_ptr<PowerLossRecord> record, std::string& error) {
    auto inner = OpenBlockDevice(image, DeviceAccess::ReadWrite, error);
    if (!inner) return nullptr;
    return OpenNtfsBackend(std::make_unique<PowerLossDevice>(std::move(inner), plan, std::move(record)), error);
}

uint64_t SerialOf(VolumeBackend& backend) {
    NTFS_VOLUME_DATA_BUFFER data{};
    backend.GetNtfsVolumeData(data);
    return static_cast<uint64_t>(data.VolumeSerialNumber.QuadPart);
}

// Our own accounting over every MFT record agrees with $Bitmap.
::testing::AssertionResult OurAccountingIsClean(VolumeBackend& backend) {
    std::string report;
    if (!backend.CheckConsistency(report)) return ::testing::AssertionFailure() << report;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(NtfsEngineTest, MethodsDefragmentARealVolumeKeepingEveryByteAndLeaveItClean) {
    for (EngineMethod method : AvailableMethods()) {
        SCOPED_TRACE(MethodName(method));
        const std::string image = MakeImage(std::string(MethodName(method)) + ".img", CrashImageRecipe(5));
        std::string error;
        std::shared_ptr<VolumeBackend> backend = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
        ASSERT_NE(backend, nullptr) << error;
        const uint64_t serial = SerialOf(*backend);
        const EngineOutcome outcome = RunMethod(backend, method);
        ASSERT_TRUE(outcome.finished);
        EXPECT_GE(outcome.filesAnalysed, m_manifest.size());
        EXPECT_GT(outcome.fragmentedBefore, 8u);
        std::string reports;
        for (const std::string& r : outcome.reports) reports += r + "\n";
        EXPECT_LT(outcome.fragmentedAfter, outcome.fragmentedBefore / 2) << reports;
        EXPECT_TRUE(OurAccountingIsClean(*backend));
        backend.reset();
        EXPECT_FALSE(NtfsIntentStore(serial).Exists()) << "a clean end leaves no record of an interrupted run";
        EXPECT_TRUE(JudgesFindClean(image));
        EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
    }
}

TEST_F(NtfsEngineTest, PowerCutDuringAMethodLosesNoByteAndTheRerunCompletes) {
    const bool full = FullStress();
    const std::vector<uint64_t> seeds = full ? std::vector<uint64_t>{3, 11, 29} : std::vector<uint64_t>{3};
    std::map<std::string, int> counts;
    std::map<std::string, uint64_t> points;
    for (EngineMethod method : AvailableMethods()) {
        for (uint64_t seed : seeds) {
            const std::string label = MethodName(method);
            SCOPED_TRACE(label + " seed " + std::to_string(seed));
            const std::string image = MakeImage("engine-" + std::to_string(seed) + ".img", CrashImageRecipe(seed));
            const std::vector<uint8_t> pristine = ReadAll(image);
            std::string error;
            // An uncut run: how many flush points there are.
            auto record = std::make_shared<PowerLossRecord>();
            uint64_t serial = 0;
            {
                auto backend = OpenCut(image, PowerLossPlan{}, record, error);
                ASSERT_NE(backend, nullptr) << error;
                serial = SerialOf(*backend);
                ASSERT_TRUE(RunMethod(std::move(backend), method).finished);
            }
            ASSERT_GT(record->flushes, 8u) << "the run moved nothing";
            ASSERT_TRUE(ContentMatchesManifest(image, m_manifest));
            points[label] += record->flushes;

            for (uint64_t cut : CutPoints(record->flushes, full, seed)) {
                std::vector<CrashMode> modes{CrashMode::Tear, CrashMode::Keep, CrashMode::Drop};
                if (!full) modes.resize(cut % 3 == 0 ? 2 : cut % 3 == 1 ? 3 : 1);
                for (CrashMode mode : modes) {
                    SCOPED_TRACE("cut at flush " + std::to_string(cut) + " of " + std::to_string(record->flushes) +
                                 ", mode " + std::to_string(static_cast<int>(mode)));
                    WriteAll(image, pristine);
                    {
                        auto cutRecord = std::make_shared<PowerLossRecord>();
                        auto backend = OpenCut(image, PowerLossPlan{cut, mode, seed * 1000 + cut}, cutRecord, error);
                        ASSERT_NE(backend, nullptr) << error;
                        RunMethod(std::move(backend), method);
                        EXPECT_TRUE(cutRecord->crashed);
                    }
                    // Before our program repairs anything: every file already whole, at worst leaked clusters.
                    const TornWrites torn = mode == CrashMode::Tear ? TornWrites::Yes : TornWrites::No;
                    EXPECT_TRUE(ContentIntactBeforeReopen(image, m_manifest, torn));
                    EXPECT_TRUE(OnlyLeakedClustersBeforeReopen(image, torn));
                    {
                        auto reopened = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
                        ASSERT_NE(reopened, nullptr) << "the next open repairs: " << error;
                        EXPECT_TRUE(OurAccountingIsClean(*reopened));
                    }
                    EXPECT_TRUE(JudgesFindClean(image));
                    ASSERT_TRUE(ContentMatchesManifest(image, m_manifest));

                    std::shared_ptr<VolumeBackend> again = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
                    ASSERT_NE(again, nullptr) << error;
                    EXPECT_TRUE(RunMethod(again, method).finished) << "the rerun completes";
                    EXPECT_TRUE(OurAccountingIsClean(*again));
                    again.reset();
                    EXPECT_FALSE(NtfsIntentStore(serial).Exists());
                    EXPECT_TRUE(JudgesFindClean(image));
                    ASSERT_TRUE(ContentMatchesManifest(image, m_manifest));
                    if (HasFailure()) return;
                    ++counts[label];
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
