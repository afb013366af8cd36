// RandomMovesTest.cpp --- random volumes and random moves keep the bitmap, the index and the extent lists in agreement.
#include <gtest/gtest.h>

#include <random>

#include "platform/drives/Win32Files.h"
#include "tests/volume/support/ScriptedDrive.h"
#include "volume/ClusterBitmap.h"
#include "volume/ExtentReader.h"
#include "volume/FileTable.h"

namespace tarvo::volume {
namespace {

using namespace tarvo::platform;
using testing::ScriptedDriveTest;

class RandomMovesTest : public ScriptedDriveTest {
protected:
    // Every file's pairs equal the volume's; each real cluster maps back to its
    // file; the index holds exactly the start-map bits; the allocation map
    // equals the volume map (every allocated cluster is a file's or the system's).
    void ExpectAgreement(CClusterBitmap& bitmap, FileTable& table, const std::set<Lcn>& systemClusters) {
        auto& volume = *m_volume;
        size_t starts = 0;
        for (Lcn n = 0; n < volume.total; ++n) {
            starts += bitmap.Bit(ClusterMap::Start, n);
            ASSERT_EQ(bitmap.Bit(ClusterMap::Start, n), bitmap.IndexLookup(n) != nullptr) << n;
            ASSERT_EQ(bitmap.Bit(ClusterMap::Allocation, n), volume.Allocated(n)) << n;
            ASSERT_EQ(bitmap.Bit(ClusterMap::Volume, n), volume.Allocated(n)) << n;
            ASSERT_EQ(bitmap.Bit(ClusterMap::System, n), systemClusters.count(n) != 0) << n;
        }
        ASSERT_EQ(starts, bitmap.IndexSize());
        for (int64_t i = 0; i <= table.LastIndex(); ++i) {
            FileRecord& file = *table.Item(i);
            const auto& expected = volume.files[static_cast<size_t>(i)].pairs;
            ASSERT_EQ(file.PairCount(), expected.size());
            Vcn start = 0;
            for (uint32_t k = 0; k < file.PairCount(); ++k) {
                const Pair pair = file.GetPair(k);
                ASSERT_EQ(pair.nextVcn, expected[k].first);
                ASSERT_EQ(pair.lcn, expected[k].second);
                for (Lcn n = pair.lcn; pair.lcn != kVirtualLcn && n < pair.lcn + (pair.nextVcn - start); ++n)
                    ASSERT_EQ(bitmap.FindFileAt(n), &file) << file.Path() << " cluster " << n;
                start = pair.nextVcn;
            }
        }
    }
};

TEST_F(RandomMovesTest, BitmapIndexAndExtentListsStayInAgreement) {
    const int seeds = std::getenv("TARVO_STRESS") && std::string(std::getenv("TARVO_STRESS")) == "full" ? 60 : 6;
    for (int seed = 0; seed < seeds; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937_64 rng(seed);
        const uint64_t total = 2048 + rng() % 2048;
        auto& volume = Attach(total, seed % 2 ? "FAT" : "NTFS", 4096);
        std::set<Lcn> systemClusters;
        for (Lcn n = 0; n < 32; ++n) systemClusters.insert(n);
        volume.SetAllocated(0, 32, true);
        // Files of 1..6 pieces (some virtual) in free places.
        Lcn cursor = 40;
        for (int f = 0; f < 40 && cursor < total - 200; ++f) {
            std::vector<std::pair<Vcn, Lcn>> pairs;
            Vcn vcn = 0;
            const int pieces = 1 + static_cast<int>(rng() % 6);
            for (int p = 0; p < pieces; ++p) {
                const uint64_t length = 1 + rng() % 12;
                vcn += length;
                if (p > 0 && rng() % 6 == 0) {
                    pairs.push_back({vcn, kVirtualLcn});
                    continue;
                }
                pairs.push_back({vcn, cursor});
                cursor += length + (rng() % 3 == 0 ? rng() % 20 : 0);
            }
            volume.AddFile("F" + std::to_string(f), pairs);
        }
        ASSERT_EQ(Open(), 1);
        m_job.m_clusterBitmap = std::make_unique<CClusterBitmap>();
        auto& bitmap = *m_job.m_clusterBitmap;
        ASSERT_EQ(bitmap.Init(m_job), 1);
        FileTable table;
        for (const auto& f : volume.files) {
            auto record = std::make_unique<FileRecord>("T:\\" + f.path, RecordKind::File);
            ASSERT_EQ(ReadExtents(m_job, *record), 1);
            table.Add(std::move(record));
        }
        ExpectAgreement(bitmap, table, systemClusters);

        for (int move = 0; move < 60; ++move) {
            const size_t index = rng() % volume.files.size();
            FileRecord& file = *table.Item(static_cast<int64_t>(index));
            const Vcn length = file.VirtualLength();
            const Vcn vcn = rng() % length;
            const DWORD count = static_cast<DWORD>(1 + rng() % (length - vcn));
            bitmap.Refresh();
            const auto target = bitmap.FindFirstFit(rng() % total, count);
            if (!target) continue;
            HANDLE h = OpenFileForExtents(file.Path(), ExtentOpenForm::PlainShareReadWrite);
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            const auto answer = MoveClusters(m_job, h, vcn, *target, count);
            CloseHandle(h);
            ASSERT_TRUE(answer.status == STATUS_SUCCESS || answer.status == STATUS_INVALID_PARAMETER);
            ASSERT_EQ(RefreshExtents(m_job, file), 1);
            bitmap.Refresh();
            ExpectAgreement(bitmap, table, systemClusters);
        }
        m_job.m_clusterBitmap.reset();
        m_job.CloseVolume();
    }
}

}  // namespace
}  // namespace tarvo::volume
