// FatFaultMatrixTest.cpp --- an I/O error at the n-th device operation: a clear error, a consistent volume, a rerun that completes.
#include <map>

#include "FatTestSupport.h"
#include "platform/blockio/FaultInjectingDevice.h"

namespace tarvo::platform::testing {

TEST_F(FatTest, IoErrorAtAnyOperationGivesAClearErrorAndLosesNothing) {
    struct Flavor {
        int fatBits;
        uint64_t size;
        uint32_t clusterBytes;
    };
    const Flavor flavors[] = {{12, 2u << 20, 1024}, {32, 34u << 20, 512}};
    const bool full = FullStress();
    for (const Flavor& flavor : flavors) {
        SCOPED_TRACE("FAT" + std::to_string(flavor.fatBits));
        std::vector<FatManifestEntry> manifest;
        std::string image = MakeImage("fault" + std::to_string(flavor.fatBits) + ".img", flavor.fatBits, flavor.size, flavor.clusterBytes, 10, true, 5,
                                      manifest);
        const std::vector<uint8_t> pristine = ReadAll(image);
        uint64_t operations = 0;
        std::vector<std::string> names;
        {
            std::string error;
            auto record = std::make_shared<FaultRecord>();
            auto backend = OpenFatBackend(std::make_unique<FaultInjectingDevice>(
                                              OpenBlockDevice(image, DeviceAccess::ReadWrite, error), FaultPlan{}, record),
                                          error);
            ASSERT_NE(backend, nullptr) << error;
            names = ListFiles(*backend);
            ASSERT_EQ(RunMoves(*backend, 3), STATUS_SUCCESS);
            backend.reset();
            operations = record->reads + record->writes + record->flushes;
        }
        const uint64_t step = full ? 1 : 5;
        std::map<NTSTATUS, int> seen;
        for (uint64_t n = 1; n <= operations; n += step) {
            const int error = n % 2 == 0 ? ENOSPC : EIO;
            const FaultRepeat repeat = n % 3 == 0 ? FaultRepeat::Sticky : FaultRepeat::Once;
            SCOPED_TRACE("operation " + std::to_string(n) + (repeat == FaultRepeat::Sticky ? " onwards" : ""));
            std::filesystem::remove(image);
            WriteAll(image, pristine);
            std::string message;
            {
                auto backend = OpenFatBackend(std::make_unique<FaultInjectingDevice>(
                                                  OpenBlockDevice(image, DeviceAccess::ReadWrite, message),
                                                  FaultPlan{FaultOperation::Any, n, error, repeat}),
                                              message);
                if (backend == nullptr) {
                    EXPECT_NE(message.find(".img"), std::string::npos) << message;  // says which volume failed
                    seen[STATUS_UNSUCCESSFUL]++;
                } else {
                    NTSTATUS status = RunMoves(*backend, 3);
                    EXPECT_TRUE(status == STATUS_SUCCESS || status == STATUS_IO_DEVICE_ERROR ||
                                status == STATUS_DISK_FULL)
                        << NtStatusName(status);
                    if (status == STATUS_DISK_FULL) {
                        EXPECT_EQ(error, ENOSPC);
                    }
                    seen[status]++;
                }
            }
            std::string output;
            {
                auto backend = OpenImage(image, message);
                ASSERT_NE(backend, nullptr) << message;
                EXPECT_EQ(ListFiles(*backend), names);
                EXPECT_EQ(RunMoves(*backend, 3), STATUS_SUCCESS) << "a rerun completes";
            }
            EXPECT_EQ(Fsck(image, output), 0) << output;
            ASSERT_EQ(MtoolsManifest(image), manifest);
        }
        EXPECT_GT(seen[STATUS_IO_DEVICE_ERROR], 0);
        EXPECT_GT(seen[STATUS_DISK_FULL], 0);
        std::printf("fault matrix: FAT%d %llu operations, %d cases\n", flavor.fatBits,
                    static_cast<unsigned long long>(operations), int((operations + step - 1) / step));
    }
}

}  // namespace tarvo::platform::testing
