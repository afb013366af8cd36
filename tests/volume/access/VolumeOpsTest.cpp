// VolumeOpsTest.cpp --- drive eligibility, OpenDrive's figures, NTFS data, bitmap reads and moves.
#include "volume/VolumeOps.h"

#include <gtest/gtest.h>

#include "platform/drives/Win32Files.h"
#include "tests/volume/support/ScriptedDrive.h"
#include "volume/ClusterBitmap.h"

namespace tarvo::volume {
namespace {

using namespace tarvo::platform;
using testing::ScriptedDriveTest;

class VolumeOpsTest : public ScriptedDriveTest {};

TEST_F(VolumeOpsTest, EligibilityFollowsDriveTypeAndRemovableSetting) {
    auto& volume = Attach(64);
    EXPECT_TRUE(IsDriveEligible('T', RemovableDrives::Excluded));
    EXPECT_TRUE(IsDriveEligible('t', RemovableDrives::Excluded));
    EXPECT_TRUE(IsDriveIndexEligible('T' - 'A', RemovableDrives::Excluded));
    volume.driveType = DRIVE_REMOVABLE;
    EXPECT_FALSE(IsDriveEligible('T', RemovableDrives::Excluded));
    EXPECT_FALSE(IsDriveEligible('T'));  // the setting is off by default
    EXPECT_TRUE(IsDriveEligible('T', RemovableDrives::Included));
    EXPECT_TRUE(IsDriveIndexEligible('T' - 'A', RemovableDrives::Included));
    for (UINT type : {DRIVE_REMOTE, DRIVE_CDROM, DRIVE_RAMDISK, DRIVE_NO_ROOT_DIR, DRIVE_UNKNOWN}) {
        volume.driveType = type;
        EXPECT_FALSE(IsDriveEligible('T', RemovableDrives::Included)) << type;
        EXPECT_FALSE(IsDriveIndexEligible('T' - 'A', RemovableDrives::Included)) << type;
    }
}

TEST_F(VolumeOpsTest, UnmappedOrInvalidDrivesAreNotEligible) {
    EXPECT_FALSE(IsDriveEligible('@', RemovableDrives::Included));
    EXPECT_FALSE(IsDriveEligible('\0'));
    EXPECT_FALSE(IsDriveEligible('[', RemovableDrives::Included));
    EXPECT_FALSE(IsDriveEligible('Q', RemovableDrives::Included));
    EXPECT_FALSE(IsDriveIndexEligible(-1));
    EXPECT_FALSE(IsDriveIndexEligible(26));
}

TEST_F(VolumeOpsTest, OpenDriveFillsTheVolumeData) {
    Attach(1000, "FAT", 32768);
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(m_job.m_rootPath, "T:\\");
    EXPECT_EQ(m_job.m_drive, "T");
    EXPECT_EQ(m_job.m_fileSystemName, "FAT");
    EXPECT_FALSE(m_job.IsNtfs());
    EXPECT_EQ(m_job.m_volumeName, "SCRIPTED");
    EXPECT_EQ(m_job.m_serialNumber, 0x1234u);
    EXPECT_EQ(m_job.m_totalClusters, 1000u);
    EXPECT_EQ(m_job.m_bytesPerSector, 512u);
    EXPECT_EQ(m_job.m_sectorsPerCluster, 64u);
    EXPECT_EQ(m_job.m_bytesPerCluster, 32768u);
    EXPECT_EQ(m_job.m_blockSize, 9);
    EXPECT_EQ(m_job.m_view, &m_view);
    EXPECT_NE(m_job.m_volume, INVALID_HANDLE_VALUE);
    ASSERT_EQ(m_view.Events(kViewDriveFlag).size(), 1u);
    // FAT has no cluster-size limit; NTFS stops above 4,096 bytes.
    EXPECT_TRUE(ClusterSizeSupported(m_job));
    m_job.m_fileSystemName = "NTFS";
    EXPECT_FALSE(ClusterSizeSupported(m_job));
    m_job.m_bytesPerCluster = 4096;
    EXPECT_TRUE(ClusterSizeSupported(m_job));
}

TEST_F(VolumeOpsTest, GeometryComesFromNtfsDataWhenFreeSpaceFails) {
    auto& volume = Attach(5000, "NTFS", 2048);
    volume.diskFreeFails = true;
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(m_job.m_sectorsPerCluster, 4u);
    EXPECT_EQ(m_job.m_bytesPerSector, 512u);
    EXPECT_EQ(m_job.m_totalClusters, 5000u);
    EXPECT_EQ(m_job.m_freeClusters, 7u);
    EXPECT_EQ(m_job.m_bytesPerCluster, 2048u);

    // A FAT volume answers no NTFS data: the open fails.
    Attach(5000, "FAT").diskFreeFails = true;
    CDefragJob other;
    EXPECT_EQ(OpenDrive(other, &m_view, "T", 9), 0);
}

TEST_F(VolumeOpsTest, OpenDriveWithoutViewOrVolumeFailsWithItsReport) {
    Attach(64);
    EXPECT_EQ(OpenDrive(m_job, nullptr, "T", 9), 0);
    EXPECT_TRUE(Reported(kMsgDiagnostic, "Error: No View available."));
    EXPECT_EQ(OpenDrive(m_job, &m_view, "Q", 9), 0);  // unmapped: volume information fails quietly
    EXPECT_EQ(OpenDrive(m_job, &m_view, "", 9), 0);
    EXPECT_FALSE(Reported(kMsgInternalError, "INVALID_HANDLE_VALUE"));
}

TEST_F(VolumeOpsTest, MftFiguresComeFromTheVolumeData) {
    auto& volume = Attach(10000, "NTFS", 4096);
    volume.mftValidDataLength = 4096 * 50 + 100;
    volume.mftStart = 1000;
    volume.zoneStart = 1000;
    volume.zoneEnd = 2249;
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(ReadMftFigures(m_job), STATUS_SUCCESS);
    EXPECT_EQ(m_job.m_mftClusters, 50u);
    EXPECT_EQ(m_job.m_mftStart, 1000u);
    EXPECT_EQ(m_job.m_mftReservedStart, 1000u);
    EXPECT_EQ(m_job.m_mftReservedEnd, 2249u);
    NTFS_VOLUME_DATA_BUFFER data{};
    EXPECT_TRUE(QueryNtfsVolumeData('T' - 'A', data));
    EXPECT_EQ(data.TotalClusters.QuadPart, 10000);
    EXPECT_FALSE(QueryNtfsVolumeData('Q' - 'A', data));
}

TEST_F(VolumeOpsTest, BitmapReadFailuresAreLoggedByNameAndNotRetried) {
    auto& volume = Attach(100);
    ASSERT_EQ(Open(), 1);
    std::vector<uint8_t> buffer(VolumeBitmapBufferSize(100));
    EXPECT_EQ(ReadVolumeBitmap(m_job, buffer.data(), buffer.size()), 1);
    // One byte short of the whole bitmap: the volume answers an overflow.
    EXPECT_EQ(ReadVolumeBitmap(m_job, buffer.data(), buffer.size() - 1), 0);
    EXPECT_TRUE(Reported(kMsgInternalError, "STATUS_BUFFER_OVERFLOW"));
    for (NTSTATUS status : {STATUS_PENDING, STATUS_BUFFER_TOO_SMALL, STATUS_INVALID_PARAMETER}) {
        volume.bitmapStatus = status;
        EXPECT_EQ(ReadVolumeBitmap(m_job, buffer.data(), buffer.size()), 0);
    }
    EXPECT_TRUE(Reported(kMsgInternalError, "STATUS_PENDING"));
    EXPECT_TRUE(Reported(kMsgInternalError, "STATUS_BUFFER_TOO_SMALL"));
    EXPECT_TRUE(Reported(kMsgInternalError, "STATUS_INVALID_PARAMETER"));
    const size_t before = m_reports.size();
    volume.bitmapStatus = STATUS_ACCESS_DENIED;
    EXPECT_EQ(ReadVolumeBitmap(m_job, buffer.data(), buffer.size()), 0);
    EXPECT_EQ(m_reports.size(), before);
}

TEST_F(VolumeOpsTest, BitmapInitNamesTheReadThatFailed) {
    auto& volume = Attach(100);
    ASSERT_EQ(Open(), 1);
    volume.bitmapStatus = STATUS_INVALID_PARAMETER;
    CClusterBitmap bitmap;
    EXPECT_EQ(bitmap.Init(m_job), 0);
    EXPECT_FALSE(bitmap.IsReady());
    EXPECT_TRUE(Reported(kMsgInternalError, "CClusterBitmap::Init (1)"));
}

TEST_F(VolumeOpsTest, MoveClustersPassesTheVolumeStatusThrough) {
    auto& volume = Attach(100, "FAT", 512);
    volume.AddFile("A.BIN", {{4, 10}});
    volume.SetAllocated(50, 1, true);
    ASSERT_EQ(Open(), 1);
    HANDLE file = OpenFileForExtents("T:\\A.BIN", ExtentOpenForm::PlainShareReadWrite);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(MoveClusters(m_job, file, 0, 48, 4).status, STATUS_ALREADY_COMMITTED);
    EXPECT_EQ(MoveClusters(m_job, file, 0, 99, 4).status, STATUS_INVALID_PARAMETER);
    auto moved = MoveClusters(m_job, file, 0, 60, 4);
    EXPECT_EQ(moved.status, STATUS_SUCCESS);
    EXPECT_EQ(moved.ioStatus, STATUS_SUCCESS);
    EXPECT_TRUE(volume.Allocated(63));
    EXPECT_FALSE(volume.Allocated(10));
    volume.writeProtected = true;
    EXPECT_EQ(MoveClusters(m_job, file, 0, 70, 4).status, STATUS_MEDIA_WRITE_PROTECTED);
    CloseHandle(file);
}

}  // namespace
}  // namespace tarvo::volume
