// RunControllerTest.cpp --- the run controller on simulated drives: reuse of an analysis, stop with the
// pause gate engaged, a worker that ignores the flag, the all-drives queue and command-line lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "app/Logger.h"
#include "app/Settings.h"
#include "control/HeadlessDriveTree.h"
#include "control/LoopHost.h"
#include "control/OrdexDoc.h"
#include "control/QueuedViewSink.h"
#include "engine/EngineReport.h"
#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "platform/sim/SimGenerator.h"
#include "volume/RecordingViewSink.h"

namespace tarvo::control {
namespace {

using namespace std::chrono_literals;
using platform::SimFileSystem;
using volume::CDefragJob;

class RunControllerTest : public ::testing::Test, public ClusterMapView {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-control-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
        platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
        app::Settings().Load();
        app::SetDisplay(app::Display::Off);
        engine::SetEngineReportObserver([this](app::MessageId id, const std::vector<std::string>& strings) {
            std::lock_guard lock(m_reportLock);
            m_reports.emplace_back(id, strings.empty() ? std::string() : strings[0]);
        });
        m_sink = std::make_unique<QueuedViewSink>(m_loop, m_recorded, [this] { m_doc->OnRunFinished(); });
    }
    void TearDown() override {
        m_doc.reset();
        engine::SetEngineReportObserver(nullptr);
        for (char letter : m_mapped) platform::UnmapTestDrive(letter);
        app::SetDisplay(app::Display::On);
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }

    volume::ViewSink& Sink() override { return *m_sink; }

    std::shared_ptr<platform::SimVolume> MapSim(char letter, SimFileSystem fs, uint64_t files,
                                                platform::UINT type = platform::DRIVE_FIXED) {
        platform::SimGenerateOptions options;
        options.fileSystem = fs;
        options.clusters = 20000 + files * 40;
        options.files = files;
        options.driveType = type;
        options.seed = static_cast<uint64_t>(letter);
        platform::SimGenerateSummary summary;
        std::string error;
        auto volume = platform::GenerateSimVolume(options, summary, error);
        EXPECT_TRUE(volume) << error;
        platform::MapDriveToBackend(letter, volume);
        m_mapped.push_back(letter);
        return volume;
    }

    void MakeDoc(WorkerEntries entries, RunKind kind = RunKind::Interactive) {
        m_doc = std::make_unique<COrdexDoc>(m_host, this, m_tree, entries, kind);
        m_tree.SetAnalyzeHandler([this](char letter) { m_doc->AnalyzeDrive(std::string(1, letter)); });
    }

    // Runs the UI loop (posted and sent messages) until done() holds or the loop is closed.
    void PumpUntil(const std::function<bool()>& done) {
        std::function<void()> check = [&] {
            // Sent messages are served while waiting; posted ones between the checks.
            if (m_loop.WaitServingSent(2ms, done)) {
                m_loop.Quit(0);
                return;
            }
            m_loop.Post(check);
        };
        m_loop.Post(check);
        m_loop.Run();
    }

    bool Reported(app::MessageId id, const std::string& first = {}) {
        std::lock_guard lock(m_reportLock);
        return std::any_of(m_reports.begin(), m_reports.end(),
                           [&](const auto& r) { return r.first == id && (first.empty() || r.second == first); });
    }
    size_t RunsFinished() const { return m_recorded.Events(volume::UM_RUN_FINISHED).size(); }

    std::string m_home;
    CMessageLoop m_loop;
    CLoopHost m_host{m_loop};
    CHeadlessDriveTree m_tree;
    volume::RecordingViewSink m_recorded;
    std::unique_ptr<QueuedViewSink> m_sink;
    std::unique_ptr<COrdexDoc> m_doc;
    std::vector<char> m_mapped;
    std::mutex m_reportLock;
    std::vector<std::pair<app::MessageId, std::string>> m_reports;
};

bool Consistent(platform::SimVolume& volume) {
    std::string report;
    return volume.CheckConsistency(report);
}

TEST_F(RunControllerTest, SpaceOnAnAnalysedDriveReusesTheJobAndFinishesTheRun) {
    auto c = MapSim('C', SimFileSystem::Ntfs, 300);
    MakeDoc(EngineWorkerEntries());
    m_tree.SelectDrive('C');
    m_doc->DriveChosen();
    ASSERT_NE(m_doc->Job(), nullptr);
    PumpUntil([&] { return !m_doc->WorkerRunning(); });
    EXPECT_EQ(m_tree.StateOf('C'), 2);
    EXPECT_TRUE(m_doc->UpdateCommand(CommandId::StartSpace).enabled);
    EXPECT_TRUE(m_doc->UpdateCommand(CommandId::Refresh).enabled);
    CDefragJob* analysed = m_doc->Job();

    m_doc->OnCommand(CommandId::StartSpace);
    EXPECT_EQ(m_doc->Job(), analysed);
    EXPECT_FALSE(m_doc->UpdateCommand(CommandId::StartComplete).enabled);  // a worker runs
    EXPECT_TRUE(m_doc->UpdateCommand(CommandId::Stop).enabled);
    PumpUntil([&] { return RunsFinished() == 1 && !m_doc->WorkerRunning(); });
    EXPECT_TRUE(Reported(app::MSG_INF_SPACE_COMPLETED, "C:"));
    EXPECT_EQ(m_tree.StateOf('C'), 3);
    EXPECT_TRUE(Consistent(*c));
}

TEST_F(RunControllerTest, StopWithThePauseGateEngagedEndsEachModeAndLeavesTheVolumeConsistent) {
    auto c = MapSim('C', SimFileSystem::Ntfs, 3000);
    MakeDoc(EngineWorkerEntries());
    for (int mode : {kModeAnalysis, kModeSpace, kModeComplete}) {
        SCOPED_TRACE(mode);
        if (EngineWorkerEntries().ForMode(mode) == nullptr) continue;  // that method is not built yet
        m_recorded.Clear();
        m_tree.SelectDrive('C');
        ASSERT_TRUE(m_doc->StartDriveRun("C", mode));
        m_doc->OnPause();
        EXPECT_TRUE(m_doc->Paused());
        EXPECT_TRUE(m_doc->UpdateCommand(CommandId::Pause).checked);
        EXPECT_FALSE(m_doc->UpdateCommand(CommandId::Stop).enabled);  // toggle Pause first
        m_doc->StopRun();  // the release itself lets the paused worker run to its end
        EXPECT_EQ(m_doc->Job(), nullptr);
        EXPECT_FALSE(m_doc->Paused());
        PumpUntil([] { return true; });
        EXPECT_EQ(RunsFinished(), 0u);  // a stopped run never advances a queue
        EXPECT_TRUE(Consistent(*c));
    }
}

std::atomic<bool> g_release{false};
std::atomic<bool> g_returned{false};

TEST_F(RunControllerTest, WorkerThatIgnoresTheFlagIsReportedAndWaitedForNeverKilled) {
    MapSim('C', SimFileSystem::Fat, 50);
    WorkerEntries entries;
    entries.analysis = [](CDefragJob& job) {
        while (!g_release.load()) std::this_thread::sleep_for(1ms);  // ignores the keep-going flag
        job.m_workerActive.store(false);
        g_returned.store(true);
        return 1;
    };
    MakeDoc(entries);
    m_doc->SetStopWait(3, 5ms);
    ASSERT_TRUE(m_doc->AnalyzeDrive("C"));
    std::thread releaser([] {
        std::this_thread::sleep_for(100ms);
        g_release.store(true);
    });
    m_doc->StopRun();
    EXPECT_TRUE(g_returned.load());
    EXPECT_TRUE(Reported(app::MSG_ERR_RELEASE_JOB_FAULT));
    releaser.join();
}

TEST_F(RunControllerTest, AllDrivesQueueRunsEligibleDrivesInOrderThenSwitchesOff) {
    MapSim('C', SimFileSystem::Ntfs, 40);
    MapSim('D', SimFileSystem::Fat, 40, platform::DRIVE_CDROM);
    MapSim('E', SimFileSystem::Fat, 40);
    static std::vector<std::string> ran;
    ran.clear();
    WorkerEntries entries;
    entries.complete = [](CDefragJob& job) {
        ran.push_back(job.m_drive);
        job.m_workerActive.store(false);
        job.m_view->PostRunFinished();
        return 1;
    };
    MakeDoc(entries);
    EXPECT_TRUE(m_doc->UpdateCommand(CommandId::DefragAllDrives).enabled);
    m_doc->OnDefragAllDrives();
    EXPECT_TRUE(app::Settings().AllDrives());
    PumpUntil([] { return !app::Settings().AllDrives(); });
    EXPECT_EQ(ran, (std::vector<std::string>{"C", "E"}));
}

TEST_F(RunControllerTest, AllDrivesQueueGivesEachFileSystemTheMethodItsOptionNames) {
    if (EngineWorkerEntries().complete == nullptr) GTEST_SKIP() << "COMPLETE is not built yet";
    auto c = MapSim('C', SimFileSystem::Ntfs, 200);
    auto d = MapSim('D', SimFileSystem::Fat, 200);
    app::Settings().SetNTFSOption(1, app::Persist::No);  // SPACE
    app::Settings().SetFATOption(0, app::Persist::No);   // COMPLETE
    MakeDoc(EngineWorkerEntries());
    m_doc->OnDefragAllDrives();
    PumpUntil([] { return !app::Settings().AllDrives(); });
    EXPECT_TRUE(Reported(app::MSG_INF_SPACE_STARTED, "C:"));
    EXPECT_TRUE(Reported(app::MSG_INF_COMPLETE_STARTED, "D:"));
    EXPECT_FALSE(Reported(app::MSG_INF_COMPLETE_STARTED, "C:"));
    EXPECT_TRUE(Consistent(*c));
    EXPECT_TRUE(Consistent(*d));
}

TEST_F(RunControllerTest, CommandLineListWithLaterDrivesIneligibleClosesAfterTheFirst) {
    auto c = MapSim('C', SimFileSystem::Ntfs, 200);
    MapSim('D', SimFileSystem::Fat, 40);
    const app::DriveList list{"C", "D"};
    platform::UnmapTestDrive('D');  // gone since the command line was read
    app::Settings().SetSpaceDrives(&list);
    app::Settings().SetAllFlags(0, 0);
    app::Settings().SetCommandLineRun(1);
    MakeDoc(EngineWorkerEntries(), RunKind::Scheduled);
    m_loop.Post([&] { m_doc->StartCommandLineRun(); });
    m_loop.Run();  // returns when the controller closes the main window
    EXPECT_EQ(m_host.CloseRequests(), 1);
    EXPECT_TRUE(Reported(app::MSG_INF_SPACE_COMPLETED, "C:"));
    EXPECT_FALSE(Reported(app::MSG_INF_SPACE_STARTED, "D:"));
    EXPECT_TRUE(Consistent(*c));
    app::Settings().SetCommandLineRun(0);
    app::Settings().SetSpaceDrives(nullptr);
}

TEST_F(RunControllerTest, ListMovesOnWhenAMethodEndsWithoutFinishingAndAnEmptyListCloses) {
    MapSim('C', SimFileSystem::Ntfs, 40);
    MapSim('D', SimFileSystem::Fat, 40);
    static std::vector<std::string> ran;
    ran.clear();
    WorkerEntries entries;
    entries.space = [](CDefragJob& job) {
        ran.push_back(job.m_drive);  // ends early (say, write protection): no UM_RUN_FINISHED
        job.m_workerActive.store(false);
        return 1;
    };
    MakeDoc(entries, RunKind::Scheduled);
    const app::DriveList list{"C", "D"};
    app::Settings().SetSpaceDrives(&list);
    app::Settings().SetAllFlags(0, 0);
    app::Settings().SetCommandLineRun(1);
    m_loop.Post([&] { m_doc->StartCommandLineRun(); });
    m_loop.Run();
    EXPECT_EQ(ran, (std::vector<std::string>{"C", "D"}));

    const app::DriveList empty;
    app::Settings().SetSpaceDrives(&empty);
    MakeDoc(entries, RunKind::Scheduled);
    m_loop.Post([&] { m_doc->StartCommandLineRun(); });
    m_loop.Run();
    EXPECT_EQ(m_host.CloseRequests(), 2);
    app::Settings().SetCommandLineRun(0);
    app::Settings().SetSpaceDrives(nullptr);
}

}  // namespace
}  // namespace tarvo::control
