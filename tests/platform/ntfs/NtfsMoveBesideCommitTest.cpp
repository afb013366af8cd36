// NtfsMoveBesideCommitTest.cpp --- moves that go on while the previous batch's commit is held at its first flush.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/blockio/BlockDevice.h"
#include "platform/ntfs/NtfsBackend.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsFreeRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

// An image whose flushes the test can hold back: from Hold() on, each flush
// waits until Release(), and each write from another thread than the test's
// (the backend's copies) is slow, so that a read that does not wait for a
// copy finds the clusters without it.
class HeldFlushDevice final : public BlockDevice {
public:
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool holding = false;
        int held = 0;  // flushes that had to wait
        const std::thread::id test = std::this_thread::get_id();

        void Hold() {
            std::lock_guard<std::mutex> guard(lock);
            holding = true;
        }
        void Release() {
            {
                std::lock_guard<std::mutex> guard(lock);
                holding = false;
            }
            opened.notify_all();
        }
    };

    HeldFlushDevice(std::unique_ptr<BlockDevice> inner, Gate& gate) : m_inner(std::move(inner)), m_gate(gate) {}
    int Read(uint64_t offset, void* buffer, size_t length) override { return m_inner->Read(offset, buffer, length); }
    int Write(uint64_t offset, const void* buffer, size_t length) override {
        bool slow = false;
        {
            std::lock_guard<std::mutex> guard(m_gate.lock);
            slow = m_gate.holding && std::this_thread::get_id() != m_gate.test;
        }
        if (slow) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        return m_inner->Write(offset, buffer, length);
    }
    int Flush() override {
        {
            std::unique_lock<std::mutex> guard(m_gate.lock);
            m_gate.held += m_gate.holding ? 1 : 0;
            m_gate.opened.wait(guard, [this] { return !m_gate.holding; });
        }
        return m_inner->Flush();
    }
    uint64_t Size() const override { return m_inner->Size(); }
    bool IsReadOnly() const override { return m_inner->IsReadOnly(); }
    std::string Name() const override { return m_inner->Name(); }

private:
    std::unique_ptr<BlockDevice> m_inner;
    Gate& m_gate;
};

// A batch of eight stages (a chain of first clusters, each moved where the one
// before was, beside a whole file moved away) is handed to its commit when the
// chain asks for a ninth; that commit is held at its first flush. Meanwhile a
// file is moved to free clusters and then on into clusters the held batch
// releases: the second move reads the first one's copy, which must be on the
// medium by then. Once the flushes go on, every file is intact.
TEST_F(NtfsTestFolder, AMoveReadsAnEarlierCopyOfItsBatchWhileThePreviousBatchCommits) {
    NtfsImageRecipe recipe;
    recipe.size = 32ULL << 20;
    recipe.files = 24;
    const std::string image = MakeImage("vol.img", recipe);
    std::string error;
    auto device = OpenBlockDevice(image, DeviceAccess::ReadWrite, error);
    ASSERT_TRUE(device) << error;
    HeldFlushDevice::Gate gate;
    auto backend = OpenNtfsBackend(std::make_unique<HeldFlushDevice>(std::move(device), gate), error);
    ASSERT_TRUE(backend) << error;

    // Eleven files with data outside their records (a resident one has no extents): ten in the chain, one moved whole.
    std::vector<FileId> files;
    std::vector<std::vector<Extent>> extents;
    for (const ManifestEntry& entry : m_manifest) {
        FileId id = 0;
        std::vector<Extent> found;
        ASSERT_EQ(backend->OpenFile(entry.path.substr(1), {}, id), STATUS_SUCCESS) << entry.path;
        if (ExtentsOf(*backend, id, found) == STATUS_SUCCESS && !found.empty() && found[0].lcn != kVirtualLcn && files.size() < 11) {
            files.push_back(id);
            extents.push_back(found);
        }
    }
    ASSERT_EQ(files.size(), 11u);
    const FileId whole = files[10], twice = files[9];
    const uint64_t wholeLength = extents[10].back().nextVcn;
    // Every target in space that was free before any move.
    const Lcn first = FindFreeRun(*backend, 1);
    const Lcn wholeTarget = FindFreeRun(*backend, wholeLength, first + 1);
    const Lcn twiceTarget = FindFreeRun(*backend, 1, wholeTarget + static_cast<Lcn>(wholeLength));
    ASSERT_NE(twiceTarget, kVirtualLcn);

    auto move = [&](FileId id, Lcn target, uint64_t count) {
        return backend->MoveFile(id, 0, target, static_cast<DWORD>(count)).status;
    };
    ASSERT_EQ(move(files[0], first, 1), STATUS_SUCCESS);
    gate.Hold();  // from here on no flush finishes until released
    ASSERT_EQ(move(whole, wholeTarget, wholeLength), STATUS_SUCCESS);
    for (size_t i = 1; i <= 8; ++i) {
        // The eighth (stage 8) hands the batch over and goes into the next one.
        ASSERT_EQ(move(files[i], extents[i - 1][0].lcn, 1), STATUS_SUCCESS) << i;
    }
    ASSERT_EQ(move(twice, twiceTarget, 1), STATUS_SUCCESS);
    ASSERT_EQ(move(twice, extents[10][0].lcn, 1), STATUS_SUCCESS);  // where the whole file was
    {
        std::lock_guard<std::mutex> guard(gate.lock);
        EXPECT_GE(gate.held, 1) << "the first batch's commit was not under way";
    }
    gate.Release();

    std::string report;
    EXPECT_TRUE(backend->CheckConsistency(report)) << report;
    ASSERT_EQ(backend->Flush(), STATUS_SUCCESS);
    backend.reset();
    EXPECT_TRUE(JudgesFindClean(image));
    EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
}

}  // namespace
}  // namespace tarvo::platform::testing
