// ExtentReaderTest.cpp --- reading extents in batches: opens, pending answers, overflows, bitmap updates.
#include "volume/ExtentReader.h"

#include <gtest/gtest.h>

#include "platform/drives/Win32Files.h"
#include "tests/volume/support/ScriptedDrive.h"
#include "volume/ClusterBitmap.h"

namespace tarvo::volume {
namespace {

using namespace tarvo::platform;
using testing::ScriptedDriveTest;

class ExtentReaderTest : public ScriptedDriveTest {
protected:
    // A 4,096-cluster NTFS volume with the job open and its bitmap built.
    testing::ScriptedVolume& Prepare() {
        auto& volume = Attach(4096);
        return volume;
    }
    void OpenWithBitmap() {
        ASSERT_EQ(Open(), 1);
        m_job.m_clusterBitmap = std::make_unique<CClusterBitmap>();
        ASSERT_EQ(m_job.m_clusterBitmap->Init(m_job), 1);
    }
    std::vector<Pair> Pairs(const FileRecord& r) {
        std::vector<Pair> out;
        for (uint32_t i = 0; i < r.PairCount(); ++i) out.push_back(r.GetPair(i));
        return out;
    }
};

TEST_F(ExtentReaderTest, ReadsPairsAndRegistersTheFile) {
    auto& volume = Prepare();
    volume.AddFile("DIR\\A.TXT", {{10, 100}, {20, kVirtualLcn}, {30, 500}});
    OpenWithBitmap();
    FileRecord file("T:\\DIR\\A.TXT", RecordKind::File);
    ASSERT_EQ(ReadExtents(m_job, file), 1);
    EXPECT_EQ(Pairs(file), (std::vector<Pair>{{10, 100}, {20, kVirtualLcn}, {30, 500}}));
    auto& bitmap = *m_job.m_clusterBitmap;
    EXPECT_EQ(bitmap.IndexLookup(100), &file);
    EXPECT_EQ(bitmap.IndexLookup(500), &file);
    EXPECT_EQ(bitmap.IndexSize(), 2u);
    EXPECT_FALSE(bitmap.Bit(ClusterMap::System, 105));
    EXPECT_EQ(bitmap.FindFileAt(509), &file);
    EXPECT_EQ(bitmap.FindFileAt(510), nullptr);
    EXPECT_EQ(file.ModificationTime(), 946684800u);
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(ExtentReaderTest, FileWithoutClustersHasNoPairsAndRegistersNothing) {
    auto& volume = Prepare();
    volume.AddFile("EMPTY", {});
    OpenWithBitmap();
    FileRecord file("T:\\EMPTY", RecordKind::File);
    ASSERT_EQ(ReadExtents(m_job, file), 1);
    EXPECT_EQ(file.PairCount(), 0u);
    EXPECT_FALSE(file.IsFragmented());
    EXPECT_FALSE(file.CompressedFlag());
    EXPECT_EQ(m_job.m_clusterBitmap->IndexSize(), 0u);
}

TEST_F(ExtentReaderTest, DeviceFormFailureFallsBackToThePlainFormWithAWarning) {
    auto& volume = Prepare();
    volume.AddFile("LOCKED", {{4, 40}});
    volume.AddFile("GONE", {{4, 60}});
    volume.unopenable.insert("LOCKED");
    volume.neverOpen.insert("GONE");
    OpenWithBitmap();
    FileRecord locked("T:\\LOCKED", RecordKind::File);
    EXPECT_EQ(ReadExtents(m_job, locked), 1);
    EXPECT_TRUE(Reported(kMsgCannotReadExtents, "T:\\LOCKED"));
    EXPECT_EQ(locked.PairCount(), 1u);

    FileRecord gone("T:\\GONE", RecordKind::File);
    EXPECT_EQ(ReadExtents(m_job, gone), 0);
    EXPECT_TRUE(m_job.m_systemUsedFiles.empty());  // the analysis lists it
    EXPECT_EQ(RefreshExtents(m_job, gone), 0);
    EXPECT_EQ(RereadExtents(m_job, gone), 0);
    EXPECT_EQ(m_job.m_systemUsedFiles, (std::vector<std::string>{"T:\\GONE", "T:\\GONE"}));
}

TEST_F(ExtentReaderTest, PendingAnswersAreCompletedAndFailedCompletionsFail) {
    auto& volume = Prepare();
    volume.AddFile("P", {{10, 100}, {20, 300}});
    OpenWithBitmap();
    volume.pendingRetrievals = 1;
    FileRecord file("T:\\P", RecordKind::File);
    ASSERT_EQ(ReadExtents(m_job, file), 1);
    EXPECT_EQ(Pairs(file), (std::vector<Pair>{{10, 100}, {20, 300}}));
    EXPECT_TRUE(m_job.m_systemUsedFiles.empty());

    volume.pendingRetrievals = 1;
    volume.pendingCompletion = STATUS_IO_DEVICE_ERROR;
    FileRecord failed("T:\\P", RecordKind::File);
    EXPECT_EQ(RereadExtents(m_job, failed), 0);
}

TEST_F(ExtentReaderTest, FileWithMoreExtentsThanTheBufferHoldsCannotBeRead) {
    auto& volume = Prepare();
    std::vector<std::pair<Vcn, Lcn>> pairs;
    for (Vcn i = 0; i < 32769; ++i) pairs.push_back({i + 1, i % 2 ? kVirtualLcn : 2000});
    volume.files.push_back({"HUGE", pairs});
    OpenWithBitmap();
    FileRecord file("T:\\HUGE", RecordKind::File);
    EXPECT_EQ(ReadExtents(m_job, file), 0);
    EXPECT_EQ(m_job.m_clusterBitmap->IndexSize(), 0u);
}

TEST_F(ExtentReaderTest, BatchWithMorePairsThanTheMapKeepsWhatFitsAndListsTheFile) {
    auto& volume = Prepare();
    volume.AddFile("GROWS", {{10, 100}, {20, 300}});
    OpenWithBitmap();
    // The first answer is pending; before the call that follows it the file grows.
    volume.pendingRetrievals = 1;
    volume.afterRetrieval = [&] {
        volume.afterRetrieval = nullptr;
        volume.files[0].pairs.push_back({30, 700});
        volume.files[0].pairs.push_back({40, 800});
    };
    FileRecord file("T:\\GROWS", RecordKind::File);
    EXPECT_EQ(ReadExtents(m_job, file), 1);
    EXPECT_EQ(Pairs(file), (std::vector<Pair>{{10, 100}, {20, 300}}));
    EXPECT_EQ(m_job.m_systemUsedFiles, (std::vector<std::string>{"T:\\GROWS"}));
    EXPECT_TRUE(file.IsDone());
}

TEST_F(ExtentReaderTest, RefreshAfterAMoveReplacesTheFilesMarks) {
    auto& volume = Prepare();
    volume.AddFile("M", {{10, 100}, {20, 300}});
    OpenWithBitmap();
    FileRecord file("T:\\M", RecordKind::File);
    ASSERT_EQ(ReadExtents(m_job, file), 1);
    HANDLE h = OpenFileForExtents("T:\\M", ExtentOpenForm::PlainShareReadWrite);
    ASSERT_EQ(MoveClusters(m_job, h, 10, 110, 10).status, STATUS_SUCCESS);
    CloseHandle(h);
    ASSERT_EQ(RefreshExtents(m_job, file), 1);
    auto& bitmap = *m_job.m_clusterBitmap;
    EXPECT_EQ(Pairs(file), (std::vector<Pair>{{20, 100}}));
    EXPECT_EQ(bitmap.IndexLookup(300), nullptr);
    EXPECT_FALSE(bitmap.Bit(ClusterMap::Allocation, 305));
    EXPECT_TRUE(bitmap.Bit(ClusterMap::Allocation, 115));
    EXPECT_EQ(bitmap.FindFileAt(119), &file);
    EXPECT_FALSE(file.IsFragmented());
}

}  // namespace
}  // namespace tarvo::volume
