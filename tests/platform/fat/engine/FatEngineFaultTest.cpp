// FatEngineFaultTest.cpp --- whole engine runs on FAT images whose device fails the n-th operation.
#include <cstring>
#include <map>

#include "FatEngineRun.h"
#include "platform/blockio/FaultInjectingDevice.h"

namespace tarvo::platform::testing {

TEST_F(FatEngineTest, IoErrorDuringAMethodIsReportedAndTheRerunCompletes) {
    struct Flavor {
        int fatBits;
        uint64_t size;
        uint32_t clusterBytes;
    };
    const Flavor flavors[] = {{12, 2u << 20, 1024}, {32, 34u << 20, 512}};
    const bool full = FullStress();
    for (EngineMethod method : AvailableMethods()) {
        for (const Flavor& flavor : flavors) {
            const std::string label = std::string(MethodName(method)) + " FAT" + std::to_string(flavor.fatBits);
            SCOPED_TRACE(label);
            std::vector<FatManifestEntry> manifest;
            const std::string image = MakeImage(std::string(MethodName(method)) + std::to_string(flavor.fatBits) + ".img", flavor.fatBits,
                                                flavor.size, flavor.clusterBytes, 10, true, 5, manifest);
            const std::vector<uint8_t> pristine = ReadAll(image);
            const app::MessageId completed =
                method == EngineMethod::Space ? app::MSG_INF_SPACE_COMPLETED : app::MSG_INF_COMPLETE_COMPLETED;
            const app::MessageId stopped =
                method == EngineMethod::Space ? app::MSG_INF_SPACE_STOPPED : app::MSG_INF_COMPLETE_STOPPED;
            std::string error;
            auto record = std::make_shared<FaultRecord>();
            std::vector<std::string> names;
            {
                std::shared_ptr<VolumeBackend> backend = OpenFatBackend(
                    std::make_unique<FaultInjectingDevice>(OpenBlockDevice(image, DeviceAccess::ReadWrite, error),
                                                           FaultPlan{}, record),
                    error);
                ASSERT_NE(backend, nullptr) << error;
                names = ListFiles(*backend);
                ASSERT_TRUE(RunMethod(backend, method).finished);
            }
            // Reads of the open come first; the writes of the moves are where it matters, so sample there densely.
            const uint64_t operations = record->reads + record->writes + record->flushes;
            const uint64_t step = full ? 1 : std::max<uint64_t>(1, operations / (kSanitizedBuild ? 5 : 10));
            std::map<std::string, int> reported;
            int cases = 0;
            for (uint64_t n = 1; n <= operations; n += step) {
                const int errorCode = n % 2 == 0 ? ENOSPC : EIO;
                const FaultRepeat repeat = (n / step) % 3 == 0 ? FaultRepeat::Sticky : FaultRepeat::Once;
                SCOPED_TRACE("operation " + std::to_string(n) + (repeat == FaultRepeat::Sticky ? " onwards" : ""));
                WriteAll(image, pristine);
                std::string message;
                auto faults = std::make_shared<FaultRecord>();
                std::shared_ptr<VolumeBackend> backend = OpenFatBackend(
                    std::make_unique<FaultInjectingDevice>(OpenBlockDevice(image, DeviceAccess::ReadWrite, message),
                                                           FaultPlan{FaultOperation::Any, n, errorCode, repeat}, faults),
                    message);
                if (backend == nullptr) {
                    EXPECT_NE(message.find(image), std::string::npos) << "names the volume: " << message;
                    ++reported["open refused"];
                } else {
                    const uint64_t failedAtOpen = faults->failures;
                    uint64_t failedBeforeCompletion = 0;
                    const EngineOutcome outcome = RunMethod(backend, method, [&](app::MessageId id) {
                        if (id == completed) failedBeforeCompletion = faults->failures - failedAtOpen;
                    });
                    const bool failedInRun = faults->failures > failedAtOpen;
                    if (outcome.Reported(completed)) {
                        // Completion is reported only for moves that all reached the device.
                        EXPECT_EQ(failedBeforeCompletion, 0u) << "a failed run reported as completed";
                    } else if (failedInRun) {
                        // The run ends on the first failure, naming the drive, instead of giving files up.
                        EXPECT_TRUE(outcome.Reported(app::MSG_ERR_DEVICE_FAILED, "F:\\"));
                        EXPECT_TRUE(outcome.Reported(stopped));
                        EXPECT_FALSE(outcome.Reported(app::MSG_WAR_FILE_GIVEN_UP));
                        ++reported["run ended with a device error"];
                    }
                    std::string report;
                    if (!backend->CheckConsistency(report)) {
                        // A device that keeps failing: the backend says which volume and why.
                        EXPECT_NE(report.find(image), std::string::npos) << report;
                        EXPECT_NE(report.find(std::strerror(errorCode)), std::string::npos) << report;
                        ++reported["stopped with the error"];
                    } else {
                        ++reported["recovered"];
                    }
                    backend.reset();
                }
                std::string output;
                {
                    std::shared_ptr<VolumeBackend> again = OpenImage(image, message);
                    ASSERT_NE(again, nullptr) << message;
                    EXPECT_EQ(ListFiles(*again), names);
                    EXPECT_EQ(Fsck(image, output), 0) << output;
                    ASSERT_EQ(MtoolsManifest(image), manifest);
                    EXPECT_TRUE(RunMethod(again, method).finished) << "the rerun completes";
                }
                EXPECT_EQ(Fsck(image, output), 0) << output;
                ASSERT_EQ(MtoolsManifest(image), manifest);
                ++cases;
            }
            EXPECT_GT(reported["stopped with the error"], 0);
            EXPECT_GT(reported["run ended with a device error"], 0);
            std::printf("engine fault matrix: %s %llu operations, %d cases:", label.c_str(),
                        static_cast<unsigned long long>(operations), cases);
            for (const auto& [what, count] : reported) std::printf(" %s %d;", what.c_str(), count);
            std::printf("\n");
        }
    }
}

}  // namespace tarvo::platform::testing
