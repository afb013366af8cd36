// SimPropertyTest.cpp --- random volumes under random moves keep bitmap, runs and coverage in agreement.
#include <cstdlib>

#include "platform/sim/SimGenerator.h"
#include "tests/platform/sim/SimTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class SimPropertyTest : public SimFixture {};

uint64_t Mix(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 17;
}

TEST_F(SimPropertyTest, RandomMovesKeepTheBitmapEqualToTheRunsAndTheFilesWhole) {
    bool full = std::getenv("TARVO_STRESS") != nullptr && std::string(std::getenv("TARVO_STRESS")) == "full";
    int volumes = full ? 40 : 6;
    int movesPerVolume = full ? 3000 : 300;
    for (int v = 0; v < volumes; ++v) {
        SimGenerateOptions options;
        options.fileSystem = v % 3 == 0 ? SimFileSystem::Fat32 : SimFileSystem::Ntfs;
        options.clusters = 60000 + 5000 * static_cast<uint64_t>(v);
        options.files = 150;
        options.compressed = 0.2;
        options.fragmented = 0.5;
        options.seed = 100 + static_cast<uint64_t>(v);
        SimGenerateSummary summary;
        std::string error;
        auto volume = GenerateSimVolume(options, summary, error);
        ASSERT_NE(volume, nullptr) << error;
        volume->SetCheckMode(SimCheckMode::Full);
        uint64_t state = options.seed;
        uint64_t moved = 0;
        for (int m = 0; m < movesPerVolume; ++m) {
            FileId id = Mix(state) % volume->NodeCount();
            auto before = volume->Runs(id);
            Vcn length = before.empty() ? 0 : before.back().nextVcn;
            Vcn start = length == 0 ? 0 : Mix(state) % length;
            if (Mix(state) % 3 == 0) {
                start &= ~Vcn{15};
            }
            uint64_t count = length == 0 ? 1 : 1 + Mix(state) % (length - start);
            Lcn target = Mix(state) % volume->TotalClusters();
            uint64_t freeBefore = volume->FreeClusters();
            NTSTATUS status = volume->MoveFile(id, start, target, static_cast<DWORD>(count)).status;
            ASSERT_NE(status, STATUS_DISK_CORRUPT_ERROR);
            EXPECT_EQ(volume->FreeClusters(), freeBefore) << "a move neither allocates nor frees clusters";
            if (status != STATUS_SUCCESS) {
                EXPECT_EQ(volume->Runs(id), before) << "a refused move changed the file";
            } else {
                ++moved;
                EXPECT_EQ(volume->Runs(id).back().nextVcn, length);
            }
        }
        std::string report;
        EXPECT_TRUE(volume->CheckConsistency(report)) << report;
        EXPECT_GT(moved, 0u);
    }
}

}  // namespace
}  // namespace tarvo::platform::testing
