// SimStoreTest.cpp --- the volume file: round trips, the move journal, kills mid-run, damaged files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/sim/SimGenerator.h"
#include "tests/platform/sim/SimTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class SimStoreTest : public SimFixture {
protected:
    std::shared_ptr<SimVolume> Generated(uint64_t files, uint64_t seed) {
        SimGenerateOptions options;
        options.clusters = 200000;
        options.files = files;
        options.seed = seed;
        SimGenerateSummary summary;
        std::string error;
        auto volume = GenerateSimVolume(options, summary, error);
        EXPECT_NE(volume, nullptr) << error;
        return volume;
    }
    // Every listed file with its runs, for comparing two volumes.
    static std::vector<std::pair<std::string, std::vector<SimRun>>> Contents(SimVolume& volume) {
        std::vector<std::pair<std::string, std::vector<SimRun>>> contents;
        for (FileId id = 0; id < volume.NodeCount(); ++id) {
            contents.emplace_back(volume.PathOf(id), volume.Runs(id));
        }
        return contents;
    }
    // Moves the first cluster of some file to the first free cluster found after `from`.
    static bool MoveSomething(SimVolume& volume, uint64_t step) {
        for (FileId id = 1 + step % 50; id < volume.NodeCount(); id += 7) {
            auto runs = volume.Runs(id);
            if (runs.empty() || runs[0].lcn == kVirtualLcn) {
                continue;
            }
            for (Lcn target = 20000 + (step * 37) % 150000; target < volume.TotalClusters(); ++target) {
                if (volume.IsFree(target, runs[0].nextVcn)) {
                    NTSTATUS status = volume.MoveFile(id, 0, target, static_cast<DWORD>(runs[0].nextVcn)).status;
                    return status == STATUS_SUCCESS || status == STATUS_ACCESS_DENIED || status == STATUS_INVALID_PARAMETER;
                }
            }
        }
        return false;
    }
};

TEST_F(SimStoreTest, SavedVolumeOpensWithTheSameTreeRunsAndFaults) {
    auto volume = Generated(300, 7);
    SimFaults faults;
    faults.unopenable = {"Some Dir\\A File.doc"};
    faults.races = {{3, 1000, 10, false}};
    faults.pendingEvery = 5;
    volume->SetFaults(faults);
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("vol.sim"), error)) << error;
    auto reopened = SimVolume::Open(PathIn("vol.sim"), SimAccess::ReadOnly, error);
    ASSERT_NE(reopened, nullptr) << error;
    EXPECT_EQ(Contents(*reopened), Contents(*volume));
    EXPECT_EQ(reopened->FreeClusters(), volume->FreeClusters());
    EXPECT_EQ(reopened->Faults().unopenable, faults.unopenable);
    EXPECT_EQ(reopened->Faults().races.size(), 1u);
    EXPECT_EQ(reopened->Faults().pendingEvery, 5u);
    std::string report;
    EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
}

TEST_F(SimStoreTest, MovesSurviveWithoutACloseThroughTheJournal) {
    auto volume = Generated(200, 3);
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("vol.sim"), error)) << error;
    for (uint64_t step = 0; step < 30; ++step) {
        ASSERT_TRUE(MoveSomething(*volume, step));
    }
    auto expected = Contents(*volume);
    // Read by a second opener while the first still holds the file: it sees every completed move.
    auto reader = SimVolume::Open(PathIn("vol.sim"), SimAccess::ReadWrite, error);
    ASSERT_NE(reader, nullptr) << error;
    EXPECT_TRUE(reader->IsReadOnly());
    EXPECT_EQ(Contents(*reader), expected);
}

TEST_F(SimStoreTest, AKilledMoverLeavesAConsistentVolumeWithEveryCompletedMove) {
    auto volume = Generated(400, 11);
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("vol.sim"), error)) << error;
    volume.reset();
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(progress[0]);
        std::string childError;
        auto mover = SimVolume::Open(PathIn("vol.sim"), SimAccess::ReadWrite, childError);
        if (!mover) {
            _exit(3);
        }
        for (uint64_t step = 0;; ++step) {
            if (!MoveSomething(*mover, step)) {
                _exit(4);
            }
            uint64_t done = mover->CompletedMoves();
            if (write(progress[1], &done, sizeof done) != sizeof done) {
                _exit(5);
            }
        }
    }
    close(progress[1]);
    uint64_t completed = 0;
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(read(progress[0], &completed, sizeof completed), static_cast<ssize_t>(sizeof completed));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(progress[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "mover ended by itself with " << WEXITSTATUS(status);
    auto reopened = SimVolume::Open(PathIn("vol.sim"), SimAccess::ReadWrite, error);
    ASSERT_NE(reopened, nullptr) << error;
    EXPECT_GE(reopened->CompletedMoves(), completed);  // nothing reported done was lost
    std::string report;
    EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
    EXPECT_FALSE(reopened->IsReadOnly());  // the dead mover's lock went with it
}

TEST_F(SimStoreTest, TornJournalTailIsDroppedAndTheMovesBeforeItKept) {
    auto volume = Generated(100, 5);
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("vol.sim"), error)) << error;
    ASSERT_TRUE(MoveSomething(*volume, 1));
    auto expected = Contents(*volume);
    volume = nullptr;  // a clean close folds the journal in; then a torn record is appended by hand
    {
        std::ofstream out(PathIn("vol.sim"), std::ios::binary | std::ios::app);
        out.write("TJRN\x01\0\0\0garbage", 16);
    }
    auto reopened = SimVolume::Open(PathIn("vol.sim"), SimAccess::ReadWrite, error);
    ASSERT_NE(reopened, nullptr) << error;
    EXPECT_EQ(Contents(*reopened), expected);
}

TEST_F(SimStoreTest, DamagedOrForeignFilesAreRefusedWithAClearMessage) {
    auto volume = Generated(100, 5);
    std::string error;
    ASSERT_TRUE(volume->SaveAs(PathIn("vol.sim"), error)) << error;
    volume = nullptr;
    std::string bytes;
    {
        std::ifstream in(PathIn("vol.sim"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(PathIn(name), std::ios::binary) << content;
        return PathIn(name);
    };
    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x40;
    EXPECT_EQ(SimVolume::Open(write("flipped.sim", flipped), SimAccess::ReadOnly, error), nullptr);
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_EQ(SimVolume::Open(write("short.sim", bytes.substr(0, 300)), SimAccess::ReadOnly, error), nullptr);
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_EQ(SimVolume::Open(write("text.sim", "hello"), SimAccess::ReadOnly, error), nullptr);
    EXPECT_NE(error.find("not a simulated volume"), std::string::npos) << error;
    EXPECT_EQ(SimVolume::Open(PathIn("missing.sim"), SimAccess::ReadOnly, error), nullptr);
}

TEST_F(SimStoreTest, GeneratorIsDeterministicForASeed) {
    auto a = Generated(500, 42);
    auto b = Generated(500, 42);
    auto c = Generated(500, 43);
    EXPECT_EQ(Contents(*a), Contents(*b));
    EXPECT_NE(Contents(*a), Contents(*c));
    std::string report;
    EXPECT_TRUE(a->CheckConsistency(report)) << report;
}

}  // namespace
}  // namespace tarvo::platform::testing
