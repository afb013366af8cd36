// SimScaleTest.cpp --- a million files and 2^32 clusters: made, saved, reopened, moved and checked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/sim/SimGenerator.h"

namespace tarvo::platform {
namespace {

class SimScaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-scale-XXXXXX";
        m_folder = mkdtemp(pattern);
        setenv("TARVO_HOME", (m_folder + "/home").c_str(), 1);
        SetSimInvariantFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    }
    void TearDown() override {
        SetSimInvariantFailureHook(nullptr);
        std::filesystem::remove_all(m_folder);
    }
    std::string m_folder;
};

TEST_F(SimScaleTest, MillionFileVolumeSurvivesASaveAndReopen) {
    SimGenerateOptions options;
    options.clusters = 1ull << 26;
    options.files = std::getenv("TARVO_STRESS") != nullptr ? 1000000 : 250000;
    SimGenerateSummary summary;
    std::string error;
    auto volume = GenerateSimVolume(options, summary, error);
    ASSERT_NE(volume, nullptr) << error;
    EXPECT_EQ(summary.files, options.files);
    ASSERT_TRUE(volume->SaveAs(m_folder + "/big.sim", error)) << error;
    size_t nodes = volume->NodeCount();
    volume.reset();
    auto reopened = SimVolume::Open(m_folder + "/big.sim", SimAccess::ReadWrite, error);
    ASSERT_NE(reopened, nullptr) << error;
    EXPECT_EQ(reopened->NodeCount(), nodes);
    std::string report;
    EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
}

TEST_F(SimScaleTest, VolumeOf2To32ClustersMovesAtItsLastCluster) {
    SimVolumeShape shape;
    shape.totalClusters = 1ull << 32;
    std::string error;
    auto volume = SimVolume::Create(shape, error);
    ASSERT_NE(volume, nullptr) << error;
    FileId id = 0;
    ASSERT_EQ(volume->AddFile(SimVolume::kRootId, "edge.bin", 0, 8192, SimFileKind::Normal, {{2, 3000000000ull}}, id),
              STATUS_SUCCESS);
    EXPECT_EQ(volume->MoveFile(id, 0, (1ull << 32) - 1, 2).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(id, 0, (1ull << 32) - 2, 2).status, STATUS_SUCCESS);
    std::string report;
    EXPECT_TRUE(volume->CheckConsistency(report)) << report;
}

}  // namespace
}  // namespace tarvo::platform
