// SimMoveTest.cpp --- moves on the simulated volume: statuses, freed clusters, compression units, invariants.
#include <vector>

#include "tests/platform/sim/SimTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class SimMoveTest : public SimFixture {};

TEST_F(SimMoveTest, MoveToFreeClustersFreesTheOldOnesAndKeepsTheFileWhole) {
    auto volume = MakeVolume(SimFileSystem::Fat32, 4096);
    FileId id = AddFile(*volume, "Report 1997.doc", {{4, 100}, {10, 300}});
    FsctlResult result = volume->MoveFile(id, 0, 1000, 10);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(id), (std::vector<SimRun>{{10, 1000}}));
    EXPECT_TRUE(volume->IsFree(100, 4));
    EXPECT_TRUE(volume->IsFree(300, 6));
    EXPECT_FALSE(volume->IsFree(1000, 1));
    EXPECT_FALSE(volume->IsFree(1009, 1));
    std::string report;
    EXPECT_TRUE(volume->CheckConsistency(report)) << report;
}

TEST_F(SimMoveTest, PartialMoveSplitsTheFileAtTheRange) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    FileId id = AddFile(*volume, "data.bin", {{20, 30000}});
    ASSERT_EQ(volume->MoveFile(id, 5, 35000, 5).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(id), (std::vector<SimRun>{{5, 30000}, {10, 35000}, {20, 30010}}));
    EXPECT_TRUE(volume->IsFree(30005, 5));
}

TEST_F(SimMoveTest, MoveOntoAllocatedClustersAnswersAlreadyCommittedAndMovesNothing) {
    auto volume = MakeVolume(SimFileSystem::Fat, 4096);
    FileId a = AddFile(*volume, "A.TXT", {{8, 100}});
    AddFile(*volume, "B.TXT", {{1, 205}});
    EXPECT_EQ(volume->MoveFile(a, 0, 200, 8).status, STATUS_ALREADY_COMMITTED);
    EXPECT_EQ(volume->Runs(a), (std::vector<SimRun>{{8, 100}}));
    // Overlapping its own clusters is no exception.
    EXPECT_EQ(volume->MoveFile(a, 0, 104, 8).status, STATUS_ALREADY_COMMITTED);
    EXPECT_EQ(volume->Runs(a), (std::vector<SimRun>{{8, 100}}));
}

TEST_F(SimMoveTest, RangesOutsideTheFileOrTheVolumeAreInvalidParameters) {
    auto volume = MakeVolume(SimFileSystem::Fat, 4096);
    FileId a = AddFile(*volume, "A.TXT", {{8, 100}});
    EXPECT_EQ(volume->MoveFile(a, 0, 1000, 9).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(a, 8, 1000, 1).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(a, 0, 1000, 0).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(a, 0, 4090, 8).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(a, 0, ~Lcn{0} - 2, 8).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(a, ~Vcn{0}, 1000, 8).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(12345, 0, 1000, 8).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->Runs(a), (std::vector<SimRun>{{8, 100}}));
}

TEST_F(SimMoveTest, CompressedFilesMoveInWholeUnitsAndStayPacked) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    // Two units: 10 real + 6 virtual, then 12 real + 4 virtual, stored back to back.
    FileId id = AddFile(*volume, "archive.cab", {{10, 70000}, {16, kVirtualLcn}, {28, 70010}, {32, kVirtualLcn}},
                        SimFileKind::Compressed);
    EXPECT_EQ(volume->MoveFile(id, 8, 80000, 16).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume->MoveFile(id, 0, 80000, 8).status, STATUS_INVALID_PARAMETER);
    ASSERT_EQ(volume->MoveFile(id, 16, 80000, 16).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(id),
              (std::vector<SimRun>{{10, 70000}, {16, kVirtualLcn}, {28, 80000}, {32, kVirtualLcn}}));
    ASSERT_EQ(volume->MoveFile(id, 0, 90000, 32).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(id),
              (std::vector<SimRun>{{10, 90000}, {16, kVirtualLcn}, {28, 90010}, {32, kVirtualLcn}}));
    EXPECT_TRUE(volume->IsFree(90022, 10));  // only the real clusters were placed
}

TEST_F(SimMoveTest, OnNtfsAnyFileGoesToAnUnalignedClusterAndUncompressedOnesMoveAnyCount) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    FileId plain = AddFile(*volume, "notes.txt", {{7, 60000}});
    ASSERT_EQ(volume->MoveFile(plain, 0, 70003, 7).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(plain), (std::vector<SimRun>{{7, 70003}}));
    ASSERT_EQ(volume->MoveFile(plain, 3, 70021, 3).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(plain), (std::vector<SimRun>{{3, 70003}, {6, 70021}, {7, 70009}}));
    // A compressed file keeps to whole units of VCNs, but its target may be any cluster.
    FileId packed = AddFile(*volume, "archive.cab", {{10, 61000}, {16, kVirtualLcn}}, SimFileKind::Compressed);
    ASSERT_EQ(volume->MoveFile(packed, 0, 70037, 16).status, STATUS_SUCCESS);
    EXPECT_EQ(volume->Runs(packed), (std::vector<SimRun>{{10, 70037}, {16, kVirtualLcn}}));
    std::string report;
    EXPECT_TRUE(volume->CheckConsistency(report)) << report;
}

TEST_F(SimMoveTest, SystemFilesDirectoriesAndThePageFileCannotBeMovedOrOpened) {
    auto volume = MakeVolume(SimFileSystem::Ntfs, 100000);
    FileId page = AddFile(*volume, "pagefile.sys", {{100, 60000}}, SimFileKind::PageFile);
    FileId dir = 0;
    ASSERT_EQ(volume->AddDirectory(SimVolume::kRootId, "WINNT", 0, dir), STATUS_SUCCESS);
    FileId opened = 0;
    EXPECT_EQ(volume->OpenFile("PAGEFILE.SYS", {}, opened), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(volume->MoveFile(page, 0, 70000, 100).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(volume->MoveFile(dir, 0, 70000, 1).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(volume->MoveFile(SimVolume::kRootId, 0, 70000, 1).status, STATUS_ACCESS_DENIED);
}

}  // namespace
}  // namespace tarvo::platform::testing
