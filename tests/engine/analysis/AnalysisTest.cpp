// AnalysisTest.cpp --- drive analysis: table, counts, progress messages, refusals, fallbacks, exclusions, stop.
#include "engine/Analysis.h"

#include "app/ExclusionList.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {
namespace {

using volume::UM_RUN_FINISHED;
using volume::UM_SET_FRAG_COUNT;
using volume::UM_SET_STATUS_TEXT;

class AnalysisTest : public EngineTest {
protected:
    // n one-cluster files in folder (root when empty), from LCN first on.
    void AddSmallFiles(const std::string& folder, int n, Lcn first) {
        for (int i = 0; i < n; ++i)
            AddFile((folder.empty() ? "" : folder + "\\") + "F" + std::to_string(i) + ".DAT",
                    {{1, first + static_cast<Lcn>(i)}});
    }
};

TEST_F(AnalysisTest, FillsTableBitmapAndCountsAndSendsStartAndEndMessages) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("WHOLE.DAT", {{8, 100}}, 1200000000);
    AddFile("DOCS\\SPLIT.DAT", {{4, 200}, {10, 300}}, 1300000000);
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job), 1);

    ASSERT_NE(job.m_fileTable, nullptr);
    EXPECT_EQ(job.m_fileTable->Count(), 2u);
    EXPECT_EQ(job.m_fragmentedFiles, 1u);
    ASSERT_NE(Record("DOCS\\SPLIT.DAT"), nullptr);
    EXPECT_EQ(job.m_clusterBitmap->FindFileAt(303), Record("DOCS\\SPLIT.DAT"));
    // Each record carries its file's own modification time (the sort by last modification uses it).
    EXPECT_EQ(Record("DOCS\\SPLIT.DAT")->ModificationTime(), 1300000000u);
    EXPECT_EQ(Record("WHOLE.DAT")->ModificationTime(), 1200000000u);
    EXPECT_TRUE(job.m_systemUsedFiles.empty());
    EXPECT_FALSE(job.m_workerActive.load());
    EXPECT_TRUE(Reported(app::MSG_INF_ANALYSIS, "T:\\"));

    // Fewer than 100 files: no percentage between the first and the last.
    EXPECT_EQ(Percents(), (std::vector<int64_t>{0, 100, -1}));
    const auto texts = m_view.Events(UM_SET_STATUS_TEXT);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front().text, "Analyzing drive T:\\ ...");
    EXPECT_EQ(texts.back().text, "Ready");
    const auto counts = m_view.Events(UM_SET_FRAG_COUNT);
    ASSERT_EQ(counts.size(), 3u);  // 0 at the start, the fragmented file, the end
    EXPECT_EQ(counts.back().value, 1);

    // A second analysis refills the same table instead of adding to it.
    volume::FileTable* table = job.m_fileTable.get();
    job.m_gate.Start();
    ASSERT_EQ(RunAnalysis(job), 1);
    EXPECT_EQ(job.m_fileTable.get(), table);
    EXPECT_EQ(job.m_fileTable->Count(), 2u);
    EXPECT_EQ(job.m_fragmentedFiles, 1u);
}

TEST_F(AnalysisTest, ProgressIsSentEveryHundredFilesWhenTheWholePercentChanges) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddSmallFiles("", 250, 1000);
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job), 1);
    EXPECT_EQ(Percents(), (std::vector<int64_t>{0, 40, 80, 100, -1}));
    EXPECT_EQ(job.m_fileTable->Count(), 250u);
}

TEST_F(AnalysisTest, NtfsWithClustersAbove4096BytesIsRefusedAndFat32KIsAnalysed) {
    MakeVolume(SimFileSystem::Ntfs, 20000, 8192);
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job), 1);
    EXPECT_TRUE(Reported(app::MSG_ERR_CLUSTER_TOO_LARGE, "T:\\"));
    EXPECT_EQ(job.m_totalClusters, 0u);
    EXPECT_EQ(job.m_clusterBitmap, nullptr);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);

    m_reports.clear();
    m_view.Clear();
    MakeVolume(SimFileSystem::Fat, 4096, 32768);
    AddFile("BIG.DAT", {{3, 50}});
    auto& fat = OpenJob();
    ASSERT_EQ(RunAnalysis(fat), 1);
    EXPECT_EQ(Count(app::MSG_ERR_CLUSTER_TOO_LARGE), 0u);
    EXPECT_EQ(fat.m_fileTable->Count(), 1u);
    EXPECT_TRUE(m_view.Events(UM_RUN_FINISHED).empty());
}

TEST_F(AnalysisTest, FileUnreadableUnderItsLongNameIsReadUnderItsShortName) {
    auto& volume = MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("Quarterly Report.doc", {{4, 100}}, 1100000000);
    AddFile("LOCKED.DAT", {{2, 200}});
    platform::SimFaults faults;
    faults.unopenable = {"Quarterly Report.doc", "LOCKED.DAT"};
    volume.SetFaults(faults);
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job), 1);
    ASSERT_EQ(job.m_fileTable->Count(), 1u);
    EXPECT_EQ(job.m_fileTable->Item(0)->Path(), "T:\\QUARTE~1.DOC");
    EXPECT_EQ(job.m_fileTable->Item(0)->ModificationTime(), 1100000000u);
    // A file that no name opens is listed as system-used and its clusters stay system clusters.
    EXPECT_EQ(job.m_systemUsedFiles, (std::vector<std::string>{"T:\\LOCKED.DAT"}));
    EXPECT_TRUE(job.m_clusterBitmap->Bit(volume::ClusterMap::System, 200));
    EXPECT_TRUE(Reported(app::MSG_WAR_EXTENTS_UNREADABLE, "T:\\LOCKED.DAT"));
}

TEST_F(AnalysisTest, ExcludedFilesAreNeitherReadNorListedButAdvanceProgress) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddSmallFiles("Long Folder Name", 200, 1000);
    AddFile("KEEP.DAT", {{1, 50}});
    AddFile("SKIP.DAT", {{1, 60}});
    // Stored out of order, and the folder under its 8.3 name.
    app::ExclusionList list{"T:\\SKIP.DAT", "t:\\LONGFO~1\\"};
    ASSERT_EQ(app::SaveExclusionList(&list), 1);
    auto& job = OpenJob();
    ASSERT_EQ(RunAnalysis(job), 1);
    ASSERT_EQ(job.m_fileTable->Count(), 1u);
    EXPECT_EQ(job.m_fileTable->Item(0)->Path(), "T:\\KEEP.DAT");
    EXPECT_TRUE(job.m_systemUsedFiles.empty());
    EXPECT_TRUE(job.m_clusterBitmap->Bit(volume::ClusterMap::System, 1000));
    const auto percents = Percents();
    EXPECT_NE(std::find(percents.begin(), percents.end(), 49), percents.end());  // 100 of 202 files met
}

// Stops the run when a chosen percentage arrives, as the UI thread would.
class StoppingSink : public volume::RecordingViewSink {
public:
    void SetPercent(int percent) override {
        RecordingViewSink::SetPercent(percent);
        if (percent == stopAt && job) job->m_gate.Stop();
    }
    int stopAt = -2;
    volume::CDefragJob* job = nullptr;
};

TEST_F(AnalysisTest, StopDuringTheWalkEndsBeforeTheNextEntryWithoutEndMessages) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddSmallFiles("", 250, 1000);
    StoppingSink sink;
    volume::CDefragJob job;
    ASSERT_EQ(volume::OpenDrive(job, &sink, "T", 9), 1);
    job.m_gate.Start();
    sink.job = &job;
    sink.stopAt = 40;
    ASSERT_EQ(RunAnalysis(job), 1);
    EXPECT_EQ(job.m_fileTable->Count(), 100u);
    for (const auto& e : sink.Events(UM_SET_STATUS_TEXT)) EXPECT_NE(e.text, "Ready");
    std::vector<int64_t> percents;
    for (const auto& e : sink.Events(volume::UM_SET_PERCENT)) percents.push_back(e.value);
    EXPECT_EQ(percents, (std::vector<int64_t>{0, 40}));
    EXPECT_FALSE(job.m_analysisInProgress.load());
}

TEST_F(AnalysisTest, IndexSizeFollowsTheLargestPrimeRule) {
    EXPECT_EQ(LargestPrimeAtMost(3), 0u);
    EXPECT_EQ(LargestPrimeAtMost(4), 3u);
    EXPECT_EQ(LargestPrimeAtMost(13), 13u);
    EXPECT_EQ(LargestPrimeAtMost(100), 97u);
    EXPECT_EQ(LargestPrimeAtMost(1200001), 1199999u);
    EXPECT_EQ(ExtentIndexSize(1), 2u);
    EXPECT_EQ(ExtentIndexSize(3), 3u);
    EXPECT_EQ(ExtentIndexSize(10), 13u);
    EXPECT_EQ(ExtentIndexSize(0), 0u);  // the index itself keeps at least one bucket
}

}  // namespace
}  // namespace tarvo::engine::testing
