// SpaceMethodTest.cpp --- SPACE runs on simulated FAT and NTFS volumes: end state, events, refusals, stop, races.
#include "engine/SpaceMethod.h"

#include <map>

#include "engine/Analysis.h"
#include "engine/MethodHandOff.h"
#include "engine/MoveFile.h"
#include "platform/sim/SimGenerator.h"
#include "tests/engine/support/EngineTestEnv.h"

namespace tarvo::engine::testing {
namespace {

using volume::UM_RUN_FINISHED;
using volume::UM_SET_STATUS_TEXT;

class SpaceMethodTest : public EngineTest {
protected:
    std::shared_ptr<SimVolume> Generate(SimFileSystem fs, uint64_t clusters, uint64_t files, uint64_t seed) {
        platform::SimGenerateOptions options;
        options.fileSystem = fs;
        options.clusters = clusters;
        options.files = files;
        options.fragmented = 0.3;
        options.maxFragments = 12;
        options.free = 0.3;
        options.seed = seed;
        options.pageFile = false;
        platform::SimGenerateSummary summary;
        std::string error;
        auto volume = platform::GenerateSimVolume(options, summary, error);
        EXPECT_NE(volume, nullptr) << error;
        return volume;
    }

    // Pieces of every readable file, from a fresh analysis on its own job.
    std::map<std::string, uint32_t> Pieces() {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        EXPECT_EQ(volume::OpenDrive(job, &view, "T", 9), 1);
        job.m_gate.Start();
        EXPECT_EQ(RunAnalysis(job), 1);
        std::map<std::string, uint32_t> pieces;
        for (int64_t i = 0; i <= job.m_fileTable->LastIndex(); ++i)
            pieces[job.m_fileTable->Item(i)->Path()] = PieceCount(*job.m_fileTable->Item(i));
        return pieces;
    }
    static size_t Fragmented(const std::map<std::string, uint32_t>& pieces) {
        size_t n = 0;
        for (const auto& [path, count] : pieces) n += count > 1;
        return n;
    }
    const ReportRecord* Find(app::MessageId id) const {
        for (const auto& r : m_reports)
            if (r.id == id) return &r;
        return nullptr;
    }
};

TEST_F(SpaceMethodTest, MakesFragmentedFilesWholeAndFillsGapsFromTheEnd) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("A.DAT", {{4, 100}});
    AddFile("SPLIT.DAT", {{5, 200}, {10, 300}, {15, 400}});
    AddFile("DOCS\\LATE.DAT", {{8, 4000}});
    auto& job = OpenJob();
    ASSERT_EQ(RunSpaceMethod(job), 1);

    EXPECT_EQ(job.m_fragmentedFiles, 0u);
    const auto pieces = Pieces();
    EXPECT_EQ(Fragmented(pieces), 0u);
    EXPECT_EQ(pieces.size(), 3u);
    // The file at the end of the volume went down into the lowest free run below it.
    FileId late = 0;
    ASSERT_EQ(m_volume->Lookup("DOCS\\LATE.DAT", late), platform::STATUS_SUCCESS);
    EXPECT_LT(m_volume->Runs(late).front().lcn, 1000u);
    ExpectConsistent();

    const ReportRecord* started = Find(app::MSG_INF_SPACE_STARTED);
    ASSERT_NE(started, nullptr);
    EXPECT_EQ(started->strings, (std::vector<std::string>{"T:", "FAT"}));
    const ReportRecord* completed = Find(app::MSG_INF_SPACE_COMPLETED);
    ASSERT_NE(completed, nullptr);
    EXPECT_EQ(completed->strings, (std::vector<std::string>{"T:", "FAT", "2", "1", "0"}));
    EXPECT_EQ(Count(app::MSG_INF_SPACE_STOPPED), 0u);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    const auto percents = Percents();
    ASSERT_GE(percents.size(), 2u);
    EXPECT_EQ(percents[percents.size() - 2], 100);
    EXPECT_EQ(percents.back(), -1);
    EXPECT_EQ(m_view.Events(UM_SET_STATUS_TEXT).back().text, "Ready");
    EXPECT_FALSE(job.m_workerActive.load());
}

TEST_F(SpaceMethodTest, GeneratedVolumesEndWithFewerFragmentedFilesAndEveryClusterAccounted) {
    for (SimFileSystem fs : {SimFileSystem::Fat, SimFileSystem::Ntfs}) {
        SCOPED_TRACE(fs == SimFileSystem::Ntfs ? "NTFS" : "FAT");
        auto volume = Generate(fs, fs == SimFileSystem::Ntfs ? 60000 : 16000, 400, 7);
        ASSERT_NE(volume, nullptr);
        volume->SetCheckMode(platform::SimCheckMode::Incremental);
        UseVolume(volume);
        const uint64_t freeBefore = volume->FreeClusters();
        const auto before = Pieces();
        ASSERT_GT(Fragmented(before), 0u);
        m_view.Clear();
        auto& job = OpenJob();
        ASSERT_EQ(RunSpaceMethod(job), 1);
        EXPECT_NE(Find(app::MSG_INF_SPACE_COMPLETED), nullptr);
        const auto after = Pieces();
        EXPECT_EQ(after.size(), before.size());
        EXPECT_LT(Fragmented(after), Fragmented(before));
        EXPECT_EQ(volume->FreeClusters(), freeBefore);
        ExpectConsistent();
        m_reports.clear();
    }
}

// Stops the run at the n-th status text, as the UI thread would.
class StopAtText : public volume::RecordingViewSink {
public:
    void SetStatusText(int pane, std::string text) override {
        RecordingViewSink::SetStatusText(pane, std::move(text));
        if (++texts == stopAt && job) job->m_gate.Stop();
    }
    int texts = 0;
    int stopAt = 0;
    volume::CDefragJob* job = nullptr;
};

TEST_F(SpaceMethodTest, StopAtAnyPointLeavesNoFileInMorePiecesAndPostsNothing) {
    const bool full = std::getenv("TARVO_STRESS") && std::string(std::getenv("TARVO_STRESS")) == "full";
    std::vector<int> stops{3, 25, 80, 200, 500};
    if (full)
        for (int n = 1; n < 2000; n += 37) stops.push_back(n);
    for (SimFileSystem fs : {SimFileSystem::Fat, SimFileSystem::Ntfs}) {
        for (int stopAt : stops) {
            SCOPED_TRACE((fs == SimFileSystem::Ntfs ? "NTFS stop at " : "FAT stop at ") + std::to_string(stopAt));
            // Below 20,000,000 bytes no piece is pushed up (pushing splits pieces by design).
            auto volume = Generate(fs, 4800, 250, 11);
            ASSERT_NE(volume, nullptr);
            volume->SetCheckMode(platform::SimCheckMode::Incremental);
            UseVolume(volume);
            const auto before = Pieces();
            ASSERT_GT(Fragmented(before), 20u);
            StopAtText sink;
            volume::CDefragJob job;
            ASSERT_EQ(volume::OpenDrive(job, &sink, "T", 9), 1);
            job.m_gate.Start();
            sink.job = &job;
            sink.stopAt = stopAt;
            m_reports.clear();
            ASSERT_EQ(RunSpaceMethod(job), 1);
            const auto after = Pieces();
            for (const auto& [path, count] : after) {
                auto it = before.find(path);
                ASSERT_NE(it, before.end()) << path;
                EXPECT_LE(count, it->second) << path;
            }
            // A stop that comes after the last check of the finish no longer counts.
            EXPECT_EQ(Count(app::MSG_INF_SPACE_STOPPED) + Count(app::MSG_INF_SPACE_COMPLETED), 1u);
            EXPECT_EQ(sink.Events(UM_RUN_FINISHED).size(), Count(app::MSG_INF_SPACE_COMPLETED));
            if (sink.texts < stopAt) {
                EXPECT_EQ(Count(app::MSG_INF_SPACE_COMPLETED), 1u);
            }
            ExpectConsistent();
        }
    }
}

TEST_F(SpaceMethodTest, TargetsTakenByAnotherProgramAreSurvivedAndTheRunCompletes) {
    auto volume = Generate(SimFileSystem::Fat, 16000, 300, 5);
    ASSERT_NE(volume, nullptr);
    volume->SetCheckMode(platform::SimCheckMode::Incremental);
    // Another program grabs free clusters all over the volume while the run moves files.
    platform::SimFaults faults;
    for (uint64_t i = 0; i < 40; ++i) faults.races.push_back({1 + i * 3, (i * 997) % 15000, 24, false});
    volume->SetFaults(faults);
    UseVolume(volume);
    const auto before = Pieces();
    auto& job = OpenJob();
    ASSERT_EQ(RunSpaceMethod(job), 1);
    EXPECT_NE(Find(app::MSG_INF_SPACE_COMPLETED), nullptr);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    const auto after = Pieces();
    EXPECT_EQ(after.size(), before.size());
    ExpectConsistent();
}

TEST_F(SpaceMethodTest, OneFileTableEndsAtOnceAsCompleted) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("SPLIT.DAT", {{5, 200}, {10, 300}});
    auto& job = OpenJob();
    const uint64_t moves = m_volume->CompletedMoves();
    ASSERT_EQ(RunSpaceMethod(job), 1);
    EXPECT_EQ(m_volume->CompletedMoves(), moves);
    EXPECT_NE(Find(app::MSG_INF_SPACE_COMPLETED), nullptr);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
}

TEST_F(SpaceMethodTest, NtfsWith8KClustersMovesNothingButEndsAsCompleted) {
    MakeVolume(SimFileSystem::Ntfs, 20000, 8192, 0);
    AddFile("SPLIT.DAT", {{5, 2000}, {10, 3000}});
    auto& job = OpenJob();
    ASSERT_EQ(RunSpaceMethod(job), 1);
    EXPECT_TRUE(Reported(app::MSG_ERR_CLUSTER_TOO_LARGE, "T:"));
    EXPECT_EQ(Count(app::MSG_INF_SPACE_STOPPED), 0u);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    EXPECT_EQ(m_volume->CompletedMoves(), 0u);
}

TEST_F(SpaceMethodTest, WriteProtectedVolumeEndsTheRunEarlyAndSaysSo) {
    auto& volume = MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("A.DAT", {{4, 100}});
    AddFile("SPLIT.DAT", {{5, 200}, {10, 300}});
    platform::SimFaults faults;
    faults.writeProtected = true;
    volume.SetFaults(faults);
    auto& job = OpenJob();
    ASSERT_EQ(RunSpaceMethod(job), 1);
    EXPECT_TRUE(Reported(app::MSG_ERR_WRITE_PROTECTED, "T:\\"));
    EXPECT_EQ(Count(app::MSG_ERR_WRITE_PROTECTED), 1u);
    EXPECT_EQ(Count(app::MSG_INF_SPACE_STOPPED), 1u);
    EXPECT_EQ(Count(app::MSG_INF_SPACE_COMPLETED), 0u);
    // The controller still moves on to the next drive.
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
}

int g_completeCalls = 0;
int FakeComplete(volume::CDefragJob&) { return ++g_completeCalls, 7; }

TEST_F(SpaceMethodTest, AllDrivesModeHandsAFatDriveToCompleteWhenItsOptionSaysSo) {
    MakeVolume(SimFileSystem::Fat, 4096);
    AddFile("SPLIT.DAT", {{5, 200}, {10, 300}});
    app::Settings().SetAllDrives(1, app::Persist::No);
    app::Settings().SetFATOption(0, app::Persist::No);
    SetCompleteMethodEntry(&FakeComplete);
    auto& job = OpenJob();
    EXPECT_EQ(RunSpaceMethod(job), 7);
    EXPECT_EQ(g_completeCalls, 1);
    EXPECT_EQ(Count(app::MSG_INF_SPACE_STARTED), 0u);
    SetCompleteMethodEntry(nullptr);
    app::Settings().SetAllDrives(0, app::Persist::No);
}

}  // namespace
}  // namespace tarvo::engine::testing
