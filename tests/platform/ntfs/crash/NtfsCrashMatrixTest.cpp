// NtfsCrashMatrixTest.cpp --- moves cut by power loss at every flush point; the medium as the cut left
// it must hold every file intact, the next open must leave a consistent volume, and a rerun must complete.
//
// By default a bounded sample of cut points runs; TARVO_STRESS=full runs every
// flush point in every mode.
#include <cstdio>
#include <cstdlib>

#include "platform/blockio/PowerLossDevice.h"
#include "platform/ntfs/NtfsBackend.h"
#include "tests/platform/ntfs/NtfsCutJudges.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsFreeRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

// The run being cut: every listed file moved whole to the first free, 16-aligned run.
std::vector<NTSTATUS> RunMoves(VolumeBackend& backend) {
    std::vector<NTSTATUS> statuses;
    for (const char* path : {"DATA\\F0000.BIN", "DATA\\F0001.BIN", "PACKED\\C0000.TXT", "DATA\\S0000.DAT",
                             "DATA\\F0002.BIN", "DATA\\F0003.BIN"}) {
        FileId id = 0;
        if (backend.OpenFile(path, {}, id) != STATUS_SUCCESS) {
            statuses.push_back(STATUS_UNSUCCESSFUL);
            break;
        }
        std::vector<Extent> extents;
        ExtentsOf(backend, id, extents);
        uint64_t length = extents.empty() ? 0 : extents.back().nextVcn;
        Lcn target = FindFreeRun(backend, length, 0, 16);
        NTSTATUS status = target == kVirtualLcn ? STATUS_DISK_FULL
                                                : backend.MoveFile(id, 0, target, static_cast<DWORD>(length)).status;
        statuses.push_back(status);
        if (status != STATUS_SUCCESS) {
            break;
        }
    }
    NTSTATUS flushed = backend.Flush();
    if (flushed != STATUS_SUCCESS) {
        statuses.push_back(flushed);
    }
    return statuses;
}

// A chain of moves of the first cluster of the files F0000.BIN on, `files` of them, each
// into the cluster the one before just left, so that the batch commits in
// stages: a move's data may only go where the record on the medium no longer
// points once the earlier stage is written.
std::vector<NTSTATUS> RunChainOf(VolumeBackend& backend, int files) {
    std::vector<NTSTATUS> statuses;
    Lcn target = kVirtualLcn;
    for (int i = 0; i < files; ++i) {
        char path[32];
        std::snprintf(path, sizeof path, "DATA\\F%04d.BIN", i);
        FileId id = 0;
        std::vector<Extent> extents;
        if (backend.OpenFile(path, {}, id) != STATUS_SUCCESS) {
            statuses.push_back(STATUS_UNSUCCESSFUL);
            break;
        }
        if (ExtentsOf(backend, id, extents) != STATUS_SUCCESS || extents.empty() || extents[0].lcn == kVirtualLcn) {
            continue;  // data held in the record: no cluster to move
        }
        // The first cluster of the file goes where the previous file's first cluster was.
        const Lcn left = extents[0].lcn;
        if (target == kVirtualLcn) {
            target = FindFreeRun(backend, 1);
        }
        NTSTATUS status = target == kVirtualLcn ? STATUS_DISK_FULL : backend.MoveFile(id, 0, target, 1).status;
        statuses.push_back(status);
        if (status != STATUS_SUCCESS) {
            break;
        }
        target = left;
    }
    NTSTATUS flushed = backend.Flush();
    if (flushed != STATUS_SUCCESS) {
        statuses.push_back(flushed);
    }
    return statuses;
}

std::vector<NTSTATUS> RunChainedMoves(VolumeBackend& backend) { return RunChainOf(backend, 4); }

// A chain longer than a batch has stages: the batch is handed to its commit
// while the chain goes on, the next move's data waits for that commit's
// records, and the moves after it stage in the next batch.
std::vector<NTSTATUS> RunChainAcrossBatches(VolumeBackend& backend) { return RunChainOf(backend, 13); }

// Copies over copies in one batch written at once: a file moved twice, the
// first cluster of another moved where the first file's first copy went, and
// a staged move into clusters the second file left.
std::vector<NTSTATUS> RunMovesOverEarlierCopies(VolumeBackend& backend) {
    std::vector<NTSTATUS> statuses;
    FileId a = 0, b = 0, c = 0;
    std::vector<Extent> ea, eb;
    if (backend.OpenFile("DATA\\F0000.BIN", {}, a) != STATUS_SUCCESS ||
        backend.OpenFile("DATA\\F0001.BIN", {}, b) != STATUS_SUCCESS ||
        backend.OpenFile("DATA\\F0002.BIN", {}, c) != STATUS_SUCCESS || ExtentsOf(backend, a, ea) != STATUS_SUCCESS ||
        ExtentsOf(backend, b, eb) != STATUS_SUCCESS || ea.empty() || eb.empty() || eb[0].lcn == kVirtualLcn) {
        return {STATUS_UNSUCCESSFUL};
    }
    const uint64_t lengthA = ea.back().nextVcn;
    const Lcn first = FindFreeRun(backend, lengthA);
    const Lcn leftByB = eb[0].lcn;
    auto move = [&](FileId id, Lcn target, uint64_t count) {
        NTSTATUS status = target == kVirtualLcn ? STATUS_DISK_FULL
                                                : backend.MoveFile(id, 0, target, static_cast<DWORD>(count)).status;
        statuses.push_back(status);
        return status == STATUS_SUCCESS;
    };
    if (move(a, first, lengthA) && move(a, FindFreeRun(backend, lengthA, first + lengthA), lengthA) &&
        move(b, first, 1)) {
        move(c, leftByB, 1);
    }
    NTSTATUS flushed = backend.Flush();
    if (flushed != STATUS_SUCCESS) {
        statuses.push_back(flushed);
    }
    return statuses;
}

class NtfsCrashMatrixTest : public NtfsTestFolder {
protected:
    void SetUp() override {
        NtfsTestFolder::SetUp();
        m_base = MakeBase(8);
    }

    std::string MakeBase(uint32_t files) {
        NtfsImageRecipe recipe;
        recipe.size = 16ULL << 20;
        recipe.files = files;
        recipe.compressed = 1;
        recipe.sparse = 1;
        recipe.fragmentation = Fragmentation::Deliberate;
        return MakeImage("base.img", recipe);
    }

    // Runs the moves on a copy of the base image behind a power-loss device.
    using Moves = std::vector<NTSTATUS> (*)(VolumeBackend&);

    std::shared_ptr<PowerLossRecord> RunCut(const std::string& image, PowerLossPlan plan, Moves moves) {
        std::filesystem::copy_file(m_base, image, std::filesystem::copy_options::overwrite_existing);
        auto record = std::make_shared<PowerLossRecord>();
        std::string error;
        auto inner = OpenBlockDevice(image, DeviceAccess::ReadWrite, error);
        EXPECT_TRUE(inner) << error;
        auto device = std::make_unique<PowerLossDevice>(std::move(inner), plan, record);
        auto backend = OpenNtfsBackend(std::move(device), error);
        EXPECT_TRUE(backend) << error;
        if (backend) {
            moves(*backend);
        }
        return record;
    }

    // Cuts `moves` at every flush point (a bounded sample unless TARVO_STRESS=full);
    // each cut must leave every file whole on the medium, be repaired by the next
    // open and lose no byte, and a rerun must complete.
    void CutEveryFlushPoint(Moves moves);

    std::string m_base;
};

void NtfsCrashMatrixTest::CutEveryFlushPoint(Moves moves) {
    auto clean = RunCut(PathOf("clean.img"), PowerLossPlan{}, moves);
    const uint64_t flushes = clean->flushes;
    // Moves are written in batches of a few flushes each.
    ASSERT_GE(flushes, 6u);
    ASSERT_TRUE(JudgesFindClean(PathOf("clean.img")));
    ASSERT_TRUE(ContentMatchesManifest(PathOf("clean.img"), m_manifest));

    const char* stress = std::getenv("TARVO_STRESS");
    const bool full = stress != nullptr && std::string(stress) == "full";
    const CrashMode modes[] = {CrashMode::Drop, CrashMode::Keep, CrashMode::Tear};
    int cases = 0;
    for (uint64_t cut = 1; cut <= flushes; ++cut) {
        for (int m = 0; m < 3; ++m) {
            // The bounded sample: every cut point torn (a torn flush is the sharpest
            // cut), and every third one also kept or dropped in turn.
            const bool sampled = modes[m] == CrashMode::Tear || (cut % 3 == 1 && m == static_cast<int>(cut / 3) % 2);
            if (!full && !sampled) {
                continue;
            }
            ++cases;
            SCOPED_TRACE("cut at flush " + std::to_string(cut) + " of " + std::to_string(flushes) + ", mode " +
                         std::to_string(m));
            std::string home = PathOf("home-" + std::to_string(cut) + "-" + std::to_string(m));
            setenv("TARVO_HOME", home.c_str(), 1);
            std::string image = PathOf("cut.img");
            auto record = RunCut(image, PowerLossPlan{cut, modes[m], cut * 7 + static_cast<uint64_t>(m)}, moves);
            EXPECT_TRUE(record->crashed);
            // Before our program repairs anything: every file already whole, at worst leaked clusters.
            const TornWrites torn = modes[m] == CrashMode::Tear ? TornWrites::Yes : TornWrites::No;
            EXPECT_TRUE(ContentIntactBeforeReopen(image, m_manifest, torn));
            EXPECT_TRUE(OnlyLeakedClustersBeforeReopen(image, torn));

            std::string error, report;
            auto reopened = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
            ASSERT_TRUE(reopened) << error;
            EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
            reopened.reset();
            EXPECT_TRUE(JudgesFindClean(image));
            EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));

            auto rerun = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
            ASSERT_TRUE(rerun) << error;
            EXPECT_TRUE(AllSucceeded(moves(*rerun)));
            rerun.reset();
            EXPECT_TRUE(JudgesFindClean(image));
            EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
            if (::testing::Test::HasFailure()) {
                return;
            }
        }
    }
    std::printf("crash matrix: %llu flush points, %d cases run\n", static_cast<unsigned long long>(flushes), cases);
}

TEST_F(NtfsCrashMatrixTest, EveryCutIsRepairedByTheNextOpenAndLosesNoByte) { CutEveryFlushPoint(RunMoves); }

TEST_F(NtfsCrashMatrixTest, EveryCutOfAStagedBatchIsRepairedAndLosesNoByte) { CutEveryFlushPoint(RunChainedMoves); }

TEST_F(NtfsCrashMatrixTest, EveryCutOfAChainAcrossBatchesIsRepairedAndLosesNoByte) {
    m_base = MakeBase(13);
    CutEveryFlushPoint(RunChainAcrossBatches);
}

TEST_F(NtfsCrashMatrixTest, EveryCutOfABatchWithCopiesOverCopiesIsRepairedAndLosesNoByte) {
    CutEveryFlushPoint(RunMovesOverEarlierCopies);
}

}  // namespace
}  // namespace tarvo::platform::testing
