// SimFaultTest.cpp --- injected faults: write protection, refused opens, the concurrent writer, pending, overflow.
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/sim/SimGenerator.h"
#include "tests/platform/sim/SimTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class SimFaultTest : public SimFixture {};

TEST_F(SimFaultTest, WriteProtectedVolumeRefusesEveryMoveAndChangesNothing) {
    auto volume = MakeVolume(SimFileSystem::Fat, 4096);
    FileId a = AddFile(*volume, "A.TXT", {{8, 100}});
    SimFaults faults;
    faults.writeProtected = true;
    volume->SetFaults(faults);
    EXPECT_EQ(volume->MoveFile(a, 0, 1000, 8).status, STATUS_MEDIA_WRITE_PROTECTED);
    EXPECT_EQ(volume->MoveFile(a, 0, 104, 8).status, STATUS_MEDIA_WRITE_PROTECTED);  // before any other test
    EXPECT_EQ(volume->Runs(a), (std::vector<SimRun>{{8, 100}}));
    VolumeInformation info;
    volume->GetVolumeInformation(info);
    EXPECT_TRUE(info.fileSystemFlags & FILE_READ_ONLY_VOLUME);
}

TEST_F(SimFaultTest, AVolumeFileWithoutWritePermissionOpensReadOnlyAndRefusesMoves) {
    auto volume = MakeVolume(SimFileSystem::Fat, 4096);
    FileId a = AddFile(*volume, "A.TXT", {{8, 100}});
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("ro.sim"), error)) << error;
    volume.reset();
    auto looker = SimVolume::Open(PathIn("ro.sim"), SimAccess::ReadOnly, error);
    ASSERT_NE(looker, nullptr) << error;
    EXPECT_EQ(looker->MoveFile(a, 0, 1000, 8).status, STATUS_MEDIA_WRITE_PROTECTED);
    looker.reset();
    ASSERT_EQ(chmod(PathIn("ro.sim").c_str(), 0444), 0);
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write a file without write permission";
    }
    auto reopened = SimVolume::Open(PathIn("ro.sim"), SimAccess::ReadWrite, error);
    ASSERT_NE(reopened, nullptr) << error;
    EXPECT_TRUE(reopened->IsReadOnly());
    EXPECT_EQ(reopened->MoveFile(a, 0, 1000, 8).status, STATUS_MEDIA_WRITE_PROTECTED);
}

TEST_F(SimFaultTest, NamedFilesRefuseToOpenUnderTheNameGivenOnly) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    AddFile(*volume, "Quarterly Review.xls", {{3, 30000}});
    SimFaults faults;
    faults.unopenable = {"Quarterly Review.xls"};
    volume->SetFaults(faults);
    FileId id = 0;
    EXPECT_EQ(volume->OpenFile("QUARTERLY REVIEW.XLS", {}, id), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(volume->OpenFile("QUARTE~1.XLS", {}, id), STATUS_SUCCESS);  // the 8.3 name still opens
}

TEST_F(SimFaultTest, ConcurrentWriterTakesItsClustersAfterTheNthMove) {
    auto volume = MakeVolume(SimFileSystem::Fat32, 8192);
    FileId a = AddFile(*volume, "a.bin", {{4, 100}});
    SimFaults faults;
    faults.races = {{2, 2000, 50, false}};
    volume->SetFaults(faults);
    ASSERT_EQ(volume->MoveFile(a, 0, 3000, 4).status, STATUS_SUCCESS);
    EXPECT_TRUE(volume->IsFree(2000, 50));
    ASSERT_EQ(volume->MoveFile(a, 0, 3100, 4).status, STATUS_SUCCESS);
    EXPECT_FALSE(volume->IsFree(2000, 1));
    EXPECT_FALSE(volume->IsFree(2049, 1));
    EXPECT_EQ(volume->MoveFile(a, 0, 2010, 4).status, STATUS_ALREADY_COMMITTED);
    EXPECT_TRUE(volume->Faults().races[0].fired);
    std::string report;
    EXPECT_TRUE(volume->CheckConsistency(report)) << report;
}

TEST_F(SimFaultTest, PendingAnswersCarryTheRealOutcomeAsCompletion) {
    auto volume = MakeVolume(SimFileSystem::Fat32, 8192);
    FileId a = AddFile(*volume, "a.bin", {{4, 100}});
    SimFaults faults;
    faults.pendingEvery = 2;
    volume->SetFaults(faults);
    FsctlResult first = volume->MoveFile(a, 0, 3000, 4);
    FsctlResult second = volume->MoveFile(a, 0, 3000, 4);
    EXPECT_EQ(first.status, STATUS_SUCCESS);
    EXPECT_EQ(second.status, STATUS_PENDING);
    EXPECT_EQ(second.completionStatus, STATUS_ALREADY_COMMITTED);
}

TEST_F(SimFaultTest, BitmapOverflowFaultAnswersOverflowEvenForAWholeBuffer) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    SimFaults faults;
    faults.bitmapOverflowReads = 1;
    volume->SetFaults(faults);
    std::vector<uint8_t> buffer(16 + 100000 / 8);
    FsctlResult first = volume->GetVolumeBitmap(0, buffer.data(), buffer.size());
    EXPECT_EQ(first.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_LT(first.bytesReturned, buffer.size());
    EXPECT_EQ(volume->GetVolumeBitmap(0, buffer.data(), buffer.size()).status, STATUS_SUCCESS);
}

TEST_F(SimFaultTest, FailingFreeSpaceLeavesTheNtfsDataToGiveTheGeometry) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    SimFaults faults;
    faults.freeSpaceFails = true;
    volume->SetFaults(faults);
    DiskFreeSpace space;
    EXPECT_NE(volume->GetDiskFreeSpace(space), STATUS_SUCCESS);
    NTFS_VOLUME_DATA_BUFFER data{};
    ASSERT_EQ(volume->GetNtfsVolumeData(data).status, STATUS_SUCCESS);
    EXPECT_EQ(data.NumberSectors.QuadPart / data.TotalClusters.QuadPart, 8);
    EXPECT_EQ(static_cast<uint64_t>(data.FreeClusters.QuadPart), volume->FreeClusters());
}

TEST_F(SimFaultTest, FileWithMoreThan32768ExtentsOverflowsTheExtentReaderBuffer) {
    SimGenerateOptions options;
    options.clusters = 200000;
    options.files = 50;
    options.manyExtents = 40000;
    SimGenerateSummary summary;
    std::string error;
    auto volume = GenerateSimVolume(options, summary, error);
    ASSERT_NE(volume, nullptr) << error;
    FileId id = 0;
    ASSERT_EQ(volume->Lookup("Many Extents.dat", id), STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(id).size(), 40000u);
    std::vector<uint8_t> buffer(0x80010);
    FsctlResult result = volume->GetRetrievalPointers(id, 0, buffer.data(), buffer.size());
    EXPECT_EQ(result.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(result.bytesReturned, buffer.size());
}

}  // namespace
}  // namespace tarvo::platform::testing
