// NtfsMoveTest.cpp --- moves on real NTFS images, judged by ntfscat, ntfsresize and ntfsfix afterwards.
#include "platform/ntfs/NtfsBackend.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsFreeRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class NtfsMoveTest : public NtfsTestFolder {
protected:
    void SetUp() override {
        NtfsTestFolder::SetUp();
        NtfsImageRecipe recipe;
        recipe.size = 32ULL << 20;
        recipe.files = 12;
        recipe.compressed = 2;
        recipe.sparse = 2;
        recipe.fragmentation = Fragmentation::Deliberate;
        m_image = MakeImage("vol.img", recipe);
        Open();
    }
    void Open() {
        std::string error;
        m_backend = OpenNtfsBackend(m_image, DeviceAccess::ReadWrite, error);
        ASSERT_TRUE(m_backend) << error;
    }
    FileId Id(const std::string& path) {
        FileId id = 0;
        EXPECT_EQ(m_backend->OpenFile(path, {}, id), STATUS_SUCCESS) << path;
        return id;
    }
    uint64_t Clusters(FileId id) {
        std::vector<Extent> extents;
        ExtentsOf(*m_backend, id, extents);
        return extents.empty() ? 0 : extents.back().nextVcn;
    }
    // Our accounting agrees, the batch reaches the medium, and after closing the
    // independent judges find the volume clean and every file's content unchanged.
    void ExpectCleanAfterClosing() {
        std::string report;
        EXPECT_TRUE(m_backend->CheckConsistency(report)) << report;
        ASSERT_EQ(m_backend->Flush(), STATUS_SUCCESS);
        m_backend.reset();
        EXPECT_TRUE(JudgesFindClean(m_image));
        EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
    }
    std::string m_image;
    std::unique_ptr<VolumeBackend> m_backend;
};

TEST_F(NtfsMoveTest, WholeFileMovesMakeFragmentedFilesContiguousAndKeepEveryByte) {
    for (const char* path : {"DATA\\F0000.BIN", "DATA\\F0001.BIN", "DATA\\F0002.BIN", "DATA\\S0000.DAT"}) {
        FileId id = Id(path);
        uint64_t length = Clusters(id);
        Lcn target = FindFreeRun(*m_backend, length);
        ASSERT_NE(target, kVirtualLcn);
        ASSERT_EQ(m_backend->MoveFile(id, 0, target, static_cast<DWORD>(length)).status, STATUS_SUCCESS) << path;
        std::vector<Extent> extents;
        ASSERT_EQ(ExtentsOf(*m_backend, id, extents), STATUS_SUCCESS);
        Lcn expected = target;
        for (const Extent& x : extents) {
            if (x.lcn != kVirtualLcn) {
                EXPECT_EQ(x.lcn, expected) << path << ": real runs lie back to back from the target";
                expected += x.nextVcn - x.startVcn;
            }
        }
    }
    ExpectCleanAfterClosing();
}

TEST_F(NtfsMoveTest, PiecesOfAFileMoveAloneAndTheRestStays) {
    FileId id = Id("DATA\\F0003.BIN");
    std::vector<Extent> before;
    ASSERT_EQ(ExtentsOf(*m_backend, id, before), STATUS_SUCCESS);
    ASSERT_GE(before.size(), 3u);
    Lcn target = FindFreeRun(*m_backend, 3);
    ASSERT_EQ(m_backend->MoveFile(id, before[1].startVcn, target, 1).status, STATUS_SUCCESS);
    std::vector<Extent> after;
    ExtentsOf(*m_backend, id, after);
    EXPECT_EQ(after[0].lcn, before[0].lcn);
    bool found = false;
    for (const Extent& x : after) {
        found |= x.startVcn == before[1].startVcn && x.lcn == target && x.nextVcn == before[1].startVcn + 1;
    }
    EXPECT_TRUE(found);
    m_backend.reset();
    EXPECT_TRUE(JudgesFindClean(m_image));
    EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
}

TEST_F(NtfsMoveTest, RefusesUsedTargetsRangesOutsideAndMisalignedCompressionUnits) {
    FileId id = Id("DATA\\F0004.BIN");
    uint64_t length = Clusters(id);
    std::vector<Extent> extents;
    ExtentsOf(*m_backend, id, extents);
    NTFS_VOLUME_DATA_BUFFER data;
    m_backend->GetNtfsVolumeData(data);
    const Lcn total = static_cast<Lcn>(data.TotalClusters.QuadPart);
    EXPECT_EQ(m_backend->MoveFile(id, 0, extents[0].lcn, 1).status, STATUS_ALREADY_COMMITTED);
    EXPECT_EQ(m_backend->MoveFile(id, 0, static_cast<Lcn>(data.MftStartLcn.QuadPart), 1).status,
              STATUS_ALREADY_COMMITTED);
    EXPECT_EQ(m_backend->MoveFile(id, 0, total, 1).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(m_backend->MoveFile(id, 0, total - 1, 2).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(m_backend->MoveFile(id, length, FindFreeRun(*m_backend, 1), 1).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(m_backend->MoveFile(id, 0, FindFreeRun(*m_backend, 1), 0).status, STATUS_INVALID_PARAMETER);
    FileId packed = Id("PACKED\\C0000.TXT");
    Lcn target = FindFreeRun(*m_backend, 64, 0, 16);
    EXPECT_EQ(m_backend->MoveFile(packed, 1, target, 16).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(m_backend->MoveFile(packed, 0, target, 5).status, STATUS_INVALID_PARAMETER);
    FileId directory = 0;
    ASSERT_EQ(m_backend->OpenFile("DATA", {}, directory), STATUS_SUCCESS);
    EXPECT_EQ(m_backend->MoveFile(directory, 0, target, 1).status, STATUS_INVALID_PARAMETER);
    m_backend.reset();
    EXPECT_TRUE(JudgesFindClean(m_image));
}

TEST_F(NtfsMoveTest, CompressedFilesMoveInWholeUnitsAndStillDecompress) {
    FileId id = Id("PACKED\\C0001.TXT");
    uint64_t length = Clusters(id);
    ASSERT_EQ(length % 16, 0u);
    Lcn target = FindFreeRun(*m_backend, length, 0, 16);
    ASSERT_EQ(m_backend->MoveFile(id, 0, target, static_cast<DWORD>(length)).status, STATUS_SUCCESS);
    m_backend.reset();
    EXPECT_TRUE(JudgesFindClean(m_image));
    EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
}

TEST_F(NtfsMoveTest, TargetsNeedNoAlignmentAndUncompressedDataMovesAnyCount) {
    FileId id = Id("DATA\\F0005.BIN");
    const uint64_t length = Clusters(id);
    ASSERT_GE(length, 2u);
    const Lcn room = FindFreeRun(*m_backend, length + 40, 0, 16);
    ASSERT_NE(room, kVirtualLcn);
    const Lcn target = room + 3;
    ASSERT_EQ(m_backend->MoveFile(id, 0, target, static_cast<DWORD>(length)).status, STATUS_SUCCESS);
    ASSERT_EQ(m_backend->MoveFile(id, 1, target + length + 5, 1).status, STATUS_SUCCESS);
    std::vector<Extent> extents;
    ASSERT_EQ(ExtentsOf(*m_backend, id, extents), STATUS_SUCCESS);
    ASSERT_GE(extents.size(), 2u);
    EXPECT_EQ(extents[0].lcn, target);
    EXPECT_EQ(extents[1].lcn, target + length + 5);
    // Compressed data keeps to whole units of VCNs; where they land is free.
    FileId packed = Id("PACKED\\C0001.TXT");
    const uint64_t units = Clusters(packed);
    const Lcn packedRoom = FindFreeRun(*m_backend, units + 40, 0, 16);
    ASSERT_NE(packedRoom, kVirtualLcn);
    ASSERT_EQ(m_backend->MoveFile(packed, 0, packedRoom + 5, static_cast<DWORD>(units)).status, STATUS_SUCCESS);
    ExpectCleanAfterClosing();
}

TEST_F(NtfsMoveTest, MovesAnswerAtOnceButReachTheMediumOnlyWhenTheBatchCommits) {
    FileId id = Id("DATA\\F0000.BIN");
    std::vector<Extent> before;
    ASSERT_EQ(ExtentsOf(*m_backend, id, before), STATUS_SUCCESS);
    const uint64_t length = before.back().nextVcn;
    const Lcn target = FindFreeRun(*m_backend, length);
    ASSERT_EQ(m_backend->MoveFile(id, 0, target, static_cast<DWORD>(length)).status, STATUS_SUCCESS);
    std::vector<Extent> after;
    ASSERT_EQ(ExtentsOf(*m_backend, id, after), STATUS_SUCCESS);
    EXPECT_EQ(after.front().lcn, target);
    EXPECT_EQ(FindFreeRun(*m_backend, 1, before.front().lcn), before.front().lcn) << "the old clusters are free to callers";
    EXPECT_EQ(m_backend->MoveFile(id, 0, target, 1).status, STATUS_ALREADY_COMMITTED) << "the target is taken";

    // Another reader of the medium still finds the file where it was.
    std::string error;
    auto reader = OpenNtfsBackend(m_image, DeviceAccess::ReadOnly, error);
    ASSERT_TRUE(reader) << error;
    FileId readerId = 0;
    ASSERT_EQ(reader->OpenFile("DATA\\F0000.BIN", {}, readerId), STATUS_SUCCESS);
    std::vector<Extent> onMedium;
    ASSERT_EQ(ExtentsOf(*reader, readerId, onMedium), STATUS_SUCCESS);
    EXPECT_EQ(onMedium.front().lcn, before.front().lcn);
    reader.reset();

    ASSERT_EQ(m_backend->Flush(), STATUS_SUCCESS);
    reader = OpenNtfsBackend(m_image, DeviceAccess::ReadOnly, error);
    ASSERT_TRUE(reader) << error;
    ASSERT_EQ(reader->OpenFile("DATA\\F0000.BIN", {}, readerId), STATUS_SUCCESS);
    ASSERT_EQ(ExtentsOf(*reader, readerId, onMedium), STATUS_SUCCESS);
    EXPECT_EQ(onMedium.front().lcn, target);
    reader.reset();
    m_backend.reset();
    EXPECT_TRUE(JudgesFindClean(m_image));
    EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
}

TEST_F(NtfsMoveTest, AMoveIntoClustersAnotherMoveLeftKeepsBothFilesIntact) {
    // F0001 goes where F0000 was before the batch is on the medium: its data
    // may be written there only after F0000's new record is.
    FileId first = Id("DATA\\F0000.BIN"), second = Id("DATA\\F0001.BIN");
    std::vector<Extent> left;
    ASSERT_EQ(ExtentsOf(*m_backend, first, left), STATUS_SUCCESS);
    const uint64_t length = left.back().nextVcn;
    ASSERT_EQ(m_backend->MoveFile(first, 0, FindFreeRun(*m_backend, length), static_cast<DWORD>(length)).status,
              STATUS_SUCCESS);
    ASSERT_EQ(m_backend->MoveFile(second, 0, left.front().lcn, 1).status, STATUS_SUCCESS);
    ExpectCleanAfterClosing();
}

// A file of many pieces, larger than the buffer a move gathers its pieces in,
// moves whole in several writes and keeps every byte.
TEST_F(NtfsTestFolder, AFragmentedFileLargerThanTheCopyBufferMovesWhole) {
    NtfsImageRecipe recipe;
    recipe.size = 96ULL << 20;
    recipe.files = 6;
    recipe.fragmentation = Fragmentation::Deliberate;
    const std::string image = MakeImage("big.img", recipe);
    std::string error;
    auto backend = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
    ASSERT_TRUE(backend) << error;
    size_t moved = 0;
    for (const ManifestEntry& entry : m_manifest) {
        FileId id = 0;
        ASSERT_EQ(backend->OpenFile(entry.path.substr(1), {}, id), STATUS_SUCCESS) << entry.path;
        std::vector<Extent> extents;
        ASSERT_EQ(ExtentsOf(*backend, id, extents), STATUS_SUCCESS);
        if (entry.size <= (4ULL << 20) || extents.size() < 2) {
            continue;
        }
        const uint64_t length = extents.back().nextVcn;
        const Lcn target = FindFreeRun(*backend, length);
        ASSERT_NE(target, kVirtualLcn);
        ASSERT_EQ(backend->MoveFile(id, 0, target, static_cast<DWORD>(length)).status, STATUS_SUCCESS) << entry.path;
        ASSERT_EQ(ExtentsOf(*backend, id, extents), STATUS_SUCCESS);
        ASSERT_EQ(extents.size(), 1u) << entry.path;
        EXPECT_EQ(extents[0].lcn, target);
        ++moved;
    }
    ASSERT_GT(moved, 0u) << "the image holds no fragmented file over 4 MiB";
    ASSERT_EQ(backend->Flush(), STATUS_SUCCESS);
    backend.reset();
    EXPECT_TRUE(JudgesFindClean(image));
    EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
}

TEST_F(NtfsMoveTest, DirtyFlagIsSetDuringTheRunAndClearedByFlush) {
    FileId id = Id("DATA\\F0005.BIN");
    ASSERT_EQ(m_backend->MoveFile(id, 0, FindFreeRun(*m_backend, 1), 1).status, STATUS_SUCCESS);
    std::string report;
    m_backend->CheckConsistency(report);
    EXPECT_NE(report.find("dirty flag is set by the run"), std::string::npos) << report;
    ASSERT_EQ(m_backend->Flush(), STATUS_SUCCESS);
    m_backend->CheckConsistency(report);
    EXPECT_EQ(report.find("dirty"), std::string::npos) << report;
    m_backend.reset();
    Open();  // a clean volume opens read-write again without any repair
}

TEST_F(NtfsMoveTest, VolumeLeftDirtyWithoutOurRecordIsRefusedForWritingButReads) {
    FileId id = Id("DATA\\F0005.BIN");
    ASSERT_EQ(m_backend->MoveFile(id, 0, FindFreeRun(*m_backend, 1), 1).status, STATUS_SUCCESS);
    std::filesystem::copy_file(m_image, PathOf("dirty.img"));  // taken while the run's flag is set
    m_backend.reset();
    std::string error;
    EXPECT_FALSE(OpenNtfsBackend(PathOf("dirty.img"), DeviceAccess::ReadWrite, error));
    EXPECT_NE(error.find("dirty"), std::string::npos) << error;
    EXPECT_TRUE(OpenNtfsBackend(PathOf("dirty.img"), DeviceAccess::ReadOnly, error)) << error;
}

}  // namespace
}  // namespace tarvo::platform::testing
