// CompleteRunTest.cpp --- COMPLETE's events and refusals, stops at any point, and races with other programs.
#include "engine/SpaceMethod.h"
#include "tests/engine/complete/CompleteTestSupport.h"

namespace tarvo::engine::testing {
namespace {

using volume::UM_RUN_FINISHED;

using CompleteRunTest = CompleteTest;

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

// A volume on which another program takes every target first: each move answers STATUS_ALREADY_COMMITTED.
class AlwaysTakenBackend final : public platform::VolumeBackend {
public:
    explicit AlwaysTakenBackend(std::shared_ptr<SimVolume> inner) : m_inner(std::move(inner)) {}
    platform::NTSTATUS GetVolumeInformation(platform::VolumeInformation& out) override {
        return m_inner->GetVolumeInformation(out);
    }
    platform::NTSTATUS GetDiskFreeSpace(platform::DiskFreeSpace& out) override { return m_inner->GetDiskFreeSpace(out); }
    platform::UINT GetDriveType() override { return m_inner->GetDriveType(); }
    platform::FsctlResult GetNtfsVolumeData(platform::NTFS_VOLUME_DATA_BUFFER& out) override {
        return m_inner->GetNtfsVolumeData(out);
    }
    platform::FsctlResult GetVolumeBitmap(Lcn start, void* out, size_t length) override {
        return m_inner->GetVolumeBitmap(start, out, length);
    }
    platform::NTSTATUS ListDirectory(std::string_view path, std::vector<platform::DirectoryEntry>& out) override {
        return m_inner->ListDirectory(path, out);
    }
    platform::NTSTATUS StatFile(std::string_view path, platform::DirectoryEntry& out) override {
        return m_inner->StatFile(path, out);
    }
    platform::NTSTATUS OpenFile(std::string_view path, const platform::FileOpenRequest& request,
                                FileId& out) override {
        return m_inner->OpenFile(path, request, out);
    }
    platform::FsctlResult GetRetrievalPointers(FileId file, Vcn start, void* out, size_t length) override {
        return m_inner->GetRetrievalPointers(file, start, out, length);
    }
    platform::FsctlResult MoveFile(FileId, Vcn, Lcn, platform::DWORD) override {
        ++moves;
        return {platform::STATUS_ALREADY_COMMITTED, 0, platform::STATUS_ALREADY_COMMITTED};
    }
    platform::NTSTATUS Flush() override { return m_inner->Flush(); }
    bool CheckConsistency(std::string& report) override { return m_inner->CheckConsistency(report); }
    uint64_t moves = 0;

private:
    std::shared_ptr<SimVolume> m_inner;
};

TEST_F(CompleteRunTest, NameOrLastModifiedOrderFollowsTheFileSystemsSetting) {
    MakeVolume(SimFileSystem::Fat, 8192);
    AddFile("A.DAT", {{3, 900}}, 3000);
    AddFile("B.DAT", {{2, 600}, {4, 40}}, 1000);
    AddFile("C.DAT", {{5, 300}}, 2000);
    app::Settings().SetSortedBy(1);  // last modified, oldest first
    ASSERT_EQ(app::Settings().FATSortedBy(), 1);
    auto& job = OpenJob();
    ASSERT_EQ(RunCompleteMethod(job), 1);
    const auto layout = ByPosition(Layout());
    ASSERT_EQ(layout.size(), 3u);
    EXPECT_EQ(layout[0].path, "T:\\B.DAT");
    EXPECT_EQ(layout[1].path, "T:\\C.DAT");
    EXPECT_EQ(layout[2].path, "T:\\A.DAT");
    EXPECT_EQ(layout[1].first, 4u);
    EXPECT_EQ(Fragmented(layout), 0u);
    EXPECT_TRUE(NotInPlace(volume::SortOrder::ByModificationTime).empty());
    ExpectConsistent();
}

TEST_F(CompleteRunTest, NoRoomForThePlanEndsAsCompletedWithoutMovingAnything) {
    MakeVolume(SimFileSystem::Fat, 4096);
    std::vector<SimRun> system;
    for (uint64_t lcn = 5, n = 0; lcn < 4096; lcn += 6) system.push_back({++n, lcn});
    ASSERT_EQ(m_volume->SetDirectoryRuns(Directory("SYS"), system), platform::STATUS_SUCCESS);
    AddFile("SPLIT", {{4, 0}, {8, 6}});
    AddFile("OTHER", {{2, 12}});
    auto& job = OpenJob();
    ASSERT_EQ(RunCompleteMethod(job), 1);
    EXPECT_TRUE(Reported(app::MSG_ERR_NOT_ENOUGH_SPACE, "T:\\"));
    EXPECT_NE(Find(app::MSG_INF_COMPLETE_COMPLETED), nullptr);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    EXPECT_EQ(m_volume->CompletedMoves(), 0u);
}

TEST_F(CompleteRunTest, RefusalsAndHandOffs) {
    {
        SCOPED_TRACE("NTFS with 8,192-byte clusters");
        MakeVolume(SimFileSystem::Ntfs, 20000, 8192, 0);
        AddFile("SPLIT.DAT", {{5, 12000}, {10, 13000}});
        auto& job = OpenJob();
        ASSERT_EQ(RunCompleteMethod(job), 1);
        EXPECT_TRUE(Reported(app::MSG_ERR_CLUSTER_TOO_LARGE, "T:"));
        EXPECT_EQ(Count(app::MSG_INF_COMPLETE_STOPPED), 0u);
        EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
        EXPECT_EQ(m_volume->CompletedMoves(), 0u);
    }
    m_reports.clear();
    m_view.Clear();
    {
        SCOPED_TRACE("all drives with SPACE chosen for NTFS");
        MakeVolume(SimFileSystem::Ntfs, 20000);
        AddFile("SPLIT.DAT", {{5, 12000}, {10, 13000}});
        app::Settings().SetAllDrives(1, app::Persist::No);
        app::Settings().SetNTFSOption(1, app::Persist::No);
        auto& job = OpenJob();
        ASSERT_EQ(RunCompleteMethod(job), 1);
        app::Settings().SetAllDrives(0, app::Persist::No);
        EXPECT_EQ(Count(app::MSG_INF_SPACE_STARTED), 1u);
        EXPECT_EQ(Count(app::MSG_INF_COMPLETE_STARTED), 0u);
    }
    m_reports.clear();
    m_view.Clear();
    {
        SCOPED_TRACE("write-protected volume");
        auto& volume = MakeVolume(SimFileSystem::Fat, 8192);
        AddFile("B.DAT", {{3, 700}});
        AddFile("A.DAT", {{2, 200}, {4, 300}});
        platform::SimFaults faults;
        faults.writeProtected = true;
        volume.SetFaults(faults);
        auto& job = OpenJob();
        ASSERT_EQ(RunCompleteMethod(job), 1);
        EXPECT_EQ(Count(app::MSG_ERR_WRITE_PROTECTED), 1u);
        EXPECT_TRUE(Reported(app::MSG_ERR_WRITE_PROTECTED, "T:\\"));
        // Reported as ended early, not as completed; the controller still moves on.
        EXPECT_EQ(Count(app::MSG_INF_COMPLETE_STOPPED), 1u);
        EXPECT_EQ(Count(app::MSG_INF_COMPLETE_COMPLETED), 0u);
        EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    }
}

TEST_F(CompleteRunTest, StopAtAnyPointLeavesNoFileInMorePiecesAndPostsNothing) {
    const bool full = std::getenv("TARVO_STRESS") && std::string(std::getenv("TARVO_STRESS")) == "full";
    std::vector<int> stops{2, 9, 40, 150, 400};
    if (full)
        for (int n = 1; n < 3000; n += 23) stops.push_back(n);
    for (SimFileSystem fs : {SimFileSystem::Fat, SimFileSystem::Ntfs}) {
        for (int stopAt : stops) {
            SCOPED_TRACE((fs == SimFileSystem::Ntfs ? "NTFS stop at " : "FAT stop at ") + std::to_string(stopAt));
            // Below 20,000,000 bytes no piece is pushed up or moved aside (both split files by design).
            auto volume = Generate(fs, 4800, 200, 11);
            ASSERT_NE(volume, nullptr);
            UseVolume(volume);
            const auto before = Pieces(Layout());
            StopAtText sink;
            volume::CDefragJob job;
            ASSERT_EQ(volume::OpenDrive(job, &sink, "T", 9), 1);
            job.m_gate.Start();
            sink.job = &job;
            sink.stopAt = stopAt;
            m_reports.clear();
            ASSERT_EQ(RunCompleteMethod(job), 1);
            for (const auto& [path, count] : Pieces(Layout())) {
                auto it = before.find(path);
                ASSERT_NE(it, before.end()) << path;
                EXPECT_LE(count, std::max<uint32_t>(it->second, 1)) << path;
            }
            EXPECT_EQ(Count(app::MSG_INF_COMPLETE_STOPPED) + Count(app::MSG_INF_COMPLETE_COMPLETED), 1u);
            EXPECT_EQ(sink.Events(UM_RUN_FINISHED).size(), Count(app::MSG_INF_COMPLETE_COMPLETED));
            if (sink.texts < stopAt) {
                EXPECT_EQ(Count(app::MSG_INF_COMPLETE_COMPLETED), 1u);
            }
            ExpectConsistent();
        }
    }
}

TEST_F(CompleteRunTest, PlacesTakenByAnotherProgramAreReportedRetriedAndTheRunCompletes) {
    auto volume = Generate(SimFileSystem::Fat, 16000, 300, 5);
    ASSERT_NE(volume, nullptr);
    // Another program grabs clusters at the start of the volume, where the plan puts files, as the run moves them.
    platform::SimFaults faults;
    for (uint64_t i = 0; i < 30; ++i) faults.races.push_back({2 + i * 4, 200 + i * 211, 3, false});
    volume->SetFaults(faults);
    UseVolume(volume);
    const auto before = Layout();
    auto& job = OpenJob();
    ASSERT_EQ(RunCompleteMethod(job), 1);
    EXPECT_NE(Find(app::MSG_INF_COMPLETE_COMPLETED), nullptr);
    EXPECT_EQ(m_view.Events(UM_RUN_FINISHED).size(), 1u);
    EXPECT_GT(Count(app::MSG_WAR_DESTINATION_OCCUPIED), 0u);
    // Each file is reported once, however often it is retried.
    std::set<std::string> reported;
    for (const auto& r : m_reports)
        if (r.id == app::MSG_WAR_DESTINATION_OCCUPIED) {
            EXPECT_TRUE(reported.insert(r.strings.at(0)).second);
        }
    const auto after = Layout();
    EXPECT_EQ(after.size(), before.size());
    ExpectConsistent();
}

TEST_F(CompleteRunTest, AVolumeThatTakesEveryTargetStillEndsTheRun) {
    auto& volume = MakeVolume(SimFileSystem::Fat, 8192);
    AddFile("C.DAT", {{3, 700}, {5, 100}});
    AddFile("A.DAT", {{2, 200}, {4, 300}});
    AddFile("B.DAT", {{6, 500}});
    (void)volume;
    auto taken = std::make_shared<AlwaysTakenBackend>(m_volume);
    platform::MapDriveToBackend(kLetter, taken);
    auto& job = OpenJob();
    ASSERT_EQ(RunCompleteMethod(job), 1);
    EXPECT_NE(Find(app::MSG_INF_COMPLETE_COMPLETED), nullptr);
    EXPECT_GT(taken->moves, 0u);
    ExpectConsistent();
}

}  // namespace
}  // namespace tarvo::engine::testing
