// NtfsFaultMatrixTest.cpp --- moves on a device whose n-th write or flush fails: the run must say
// so, and the next open must leave a consistent volume with every file intact.
//
// By default every third failing operation runs; TARVO_STRESS=full runs every one.
#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/ntfs/NtfsBackend.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsFreeRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

// Whole files to the first free runs, then the first cluster of each next file
// where the previous one's was: one batch with plain and staged moves.
std::vector<NTSTATUS> RunMoves(VolumeBackend& backend) {
    std::vector<NTSTATUS> statuses;
    Lcn left = kVirtualLcn;
    for (const char* path : {"DATA\\F0000.BIN", "DATA\\F0001.BIN", "DATA\\F0002.BIN", "DATA\\F0003.BIN"}) {
        FileId id = 0;
        std::vector<Extent> extents;
        if (backend.OpenFile(path, {}, id) != STATUS_SUCCESS || ExtentsOf(backend, id, extents) != STATUS_SUCCESS ||
            extents.empty()) {
            statuses.push_back(STATUS_UNSUCCESSFUL);
            break;
        }
        const Lcn first = extents[0].lcn;
        const uint64_t length = extents.back().nextVcn;
        NTSTATUS status = left == kVirtualLcn
                              ? backend.MoveFile(id, 0, FindFreeRun(backend, length, 0, 16), static_cast<DWORD>(length)).status
                              : backend.MoveFile(id, 0, left, 1).status;
        statuses.push_back(status);
        left = first;
    }
    statuses.push_back(backend.Flush());
    return statuses;
}

class NtfsFaultMatrixTest : public NtfsTestFolder {
protected:
    void SetUp() override {
        NtfsTestFolder::SetUp();
        NtfsImageRecipe recipe;
        recipe.size = 16ULL << 20;
        recipe.files = 8;
        recipe.fragmentation = Fragmentation::Deliberate;
        m_base = MakeImage("base.img", recipe);
    }

    // Runs the moves; `failedInRun` tells whether a planned failure came while
    // the run could still be told (before the backend is closed).
    std::vector<NTSTATUS> RunWith(const std::string& image, FaultPlan plan, std::shared_ptr<FaultRecord> record,
                                  bool& failedInRun) {
        std::filesystem::copy_file(m_base, image, std::filesystem::copy_options::overwrite_existing);
        std::string error;
        auto inner = OpenBlockDevice(image, DeviceAccess::ReadWrite, error);
        EXPECT_TRUE(inner) << error;
        auto backend = OpenNtfsBackend(std::make_unique<FaultInjectingDevice>(std::move(inner), plan, record), error);
        failedInRun = record->failures > 0;
        if (!backend) {
            return {STATUS_UNSUCCESSFUL};  // the open itself failed, and said so
        }
        auto statuses = RunMoves(*backend);
        failedInRun = record->failures > 0;
        return statuses;
    }

    std::string m_base;
};

TEST_F(NtfsFaultMatrixTest, AFailingWriteOrFlushIsReportedAndLosesNoByte) {
    auto clean = std::make_shared<FaultRecord>();
    bool failed = false;
    ASSERT_TRUE(AllSucceeded(RunWith(PathOf("clean.img"), FaultPlan{}, clean, failed)));
    ASSERT_TRUE(ContentMatchesManifest(PathOf("clean.img"), m_manifest));
    const uint64_t step = FullStress() ? 1 : 3;
    int cases = 0;
    for (FaultOperation operation : {FaultOperation::Write, FaultOperation::Flush}) {
        const uint64_t count = operation == FaultOperation::Write ? clean->writes : clean->flushes;
        for (uint64_t n = 1; n <= count; n += step) {
            ++cases;
            SCOPED_TRACE(std::string(operation == FaultOperation::Write ? "write " : "flush ") + std::to_string(n) +
                         " of " + std::to_string(count) + " fails");
            setenv("TARVO_HOME", PathOf("home-" + std::to_string(cases)).c_str(), 1);
            const std::string image = PathOf("fault.img");
            auto record = std::make_shared<FaultRecord>();
            auto statuses = RunWith(image, FaultPlan{operation, n, EIO, FaultRepeat::Sticky}, record, failed);
            if (failed) {
                EXPECT_FALSE(AllSucceeded(statuses)) << "a failed write was reported as success";
            }
            std::string error, report;
            auto reopened = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
            ASSERT_TRUE(reopened) << error;
            EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
            EXPECT_EQ(reopened->Flush(), STATUS_SUCCESS);
            reopened.reset();
            EXPECT_TRUE(JudgesFindClean(image));
            EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
            if (::testing::Test::HasFailure()) {
                return;
            }
        }
    }
    std::printf("fault matrix: %llu writes, %llu flushes, %d cases run\n",
                static_cast<unsigned long long>(clean->writes), static_cast<unsigned long long>(clean->flushes), cases);
}

}  // namespace
}  // namespace tarvo::platform::testing
