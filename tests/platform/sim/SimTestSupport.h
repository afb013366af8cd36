// SimTestSupport.h --- fixture for simulated-volume tests: own TARVO_HOME, own folder, invariant hook.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/sim/SimVolume.h"

namespace tarvo::platform::testing {

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-sim-XXXXXX";
        m_folder = mkdtemp(pattern);
        setenv("TARVO_HOME", (m_folder + "/home").c_str(), 1);
        SetSimInvariantFailureHook([](const std::string& what) { ADD_FAILURE() << "invariant violated: " << what; });
    }
    void TearDown() override {
        SetSimInvariantFailureHook(nullptr);
        std::filesystem::remove_all(m_folder);
    }
    std::string PathIn(const std::string& name) const { return m_folder + "/" + name; }

    // An empty volume of the given personality; fails the test when it cannot be made.
    static std::shared_ptr<SimVolume> MakeVolume(SimFileSystem fs, uint64_t clusters, uint32_t clusterSize = 4096) {
        SimVolumeShape shape;
        shape.fileSystem = fs;
        shape.totalClusters = clusters;
        shape.bytesPerCluster = clusterSize;
        std::string error;
        auto volume = SimVolume::Create(shape, error);
        EXPECT_NE(volume, nullptr) << error;
        if (volume) {
            volume->SetCheckMode(SimCheckMode::Full);
        }
        return volume;
    }

    // A file of the given runs in the root.
    static FileId AddFile(SimVolume& volume, const std::string& name, std::vector<SimRun> runs,
                          SimFileKind kind = SimFileKind::Normal) {
        FileId id = 0;
        uint64_t size = runs.empty() ? 0 : runs.back().nextVcn * volume.BytesPerCluster();
        EXPECT_EQ(volume.AddFile(SimVolume::kRootId, name, 1000000000, size, kind, std::move(runs), id), STATUS_SUCCESS)
            << name;
        return id;
    }

    std::string m_folder;
};

}  // namespace tarvo::platform::testing
