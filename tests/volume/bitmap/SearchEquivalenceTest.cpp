// SearchEquivalenceTest.cpp --- the word-wise searches answer exactly what cluster-by-cluster scans answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/volume/support/NaiveSearch.h"
#include "tests/volume/support/ScriptedDrive.h"
#include "volume/ClusterBitmap.h"
#include "volume/FileRecord.h"

namespace tarvo::volume {
namespace {

using testing::NaiveVolume;
using testing::ScriptedDriveTest;

int Seeds() { return std::getenv("TARVO_STRESS") && std::string(std::getenv("TARVO_STRESS")) == "full" ? 400 : 24; }

class SearchEquivalenceTest : public ScriptedDriveTest {};

TEST_F(SearchEquivalenceTest, RandomVolumesAndQueriesMatchTheNaiveScans) {
    for (int seed = 0; seed < Seeds(); ++seed) {
        std::mt19937_64 rng(seed);
        const bool ntfs = seed % 2 == 0;
        const uint64_t total = 64 + rng() % 3000;
        auto& volume = Attach(total, ntfs ? "NTFS" : "FAT", 4096);
        // Runs of allocated and free clusters of mixed lengths, some long.
        for (Lcn n = 0; n < total;) {
            const uint64_t run = 1 + (rng() % 4 == 0 ? rng() % 200 : rng() % 12);
            volume.SetAllocated(n, std::min(run, total - n), rng() % 2 == 0);
            n += run;
        }
        ASSERT_EQ(Open(), 1);
        CClusterBitmap bitmap;
        ASSERT_EQ(bitmap.Init(m_job), 1);
        if (ntfs && rng() % 3 != 0) {
            m_job.m_mftReservedStart = rng() % total;
            m_job.m_mftReservedEnd = std::min<Lcn>(total - 1, m_job.m_mftReservedStart + rng() % 400);
        }
        // Register a few files so that the system map differs from the volume map.
        std::vector<std::unique_ptr<FileRecord>> files;
        for (int i = 0; i < 20; ++i) {
            const Lcn at = rng() % total;
            if (!volume.Allocated(at)) continue;
            uint64_t length = 1;
            while (at + length < total && volume.Allocated(at + length) && length < 50) ++length;
            auto r = std::make_unique<FileRecord>("T:\\F", RecordKind::Directory);
            r->CreatePairMap(1);
            r->SetPair(0, length, at);
            (void)bitmap.RegisterFile(*r);
            files.push_back(std::move(r));
        }
        NaiveVolume naive{total, ntfs, m_job.m_mftReservedStart, m_job.m_mftReservedEnd,
                          [&](Lcn n) { return volume.Allocated(n); }};
        NaiveVolume system = naive;
        system.used = [&](Lcn n) { return bitmap.Bit(ClusterMap::System, n); };

        for (int q = 0; q < 300; ++q) {
            const Lcn a = rng() % (total + 8);
            const Lcn b = rng() % (total + 8);
            const uint64_t length = rng() % 5 == 0 ? rng() % 400 : rng() % 20;
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " a " << a << " b " << b << " length " << length);
            EXPECT_EQ(bitmap.FindFirstFit(a, length), naive.FirstFit(a, length));
            EXPECT_EQ(bitmap.FindFirstFitNonSystem(a, length), system.FirstFit(a, length));
            uint64_t l1 = 0, l2 = 0;
            const auto r1 = bitmap.FindFirstFitInRange(a, b, length, l1);
            const auto r2 = naive.FirstFitInRange(a, b, length, l2);
            EXPECT_EQ(r1, r2);
            if (!r1) {
                EXPECT_EQ(l1, l2);
            }
            EXPECT_EQ(bitmap.FindLastFit(a, length), naive.LastFitFrom(a, length, ~uint64_t{0}));
            Lcn cursor = b;
            EXPECT_EQ(bitmap.FindLastFitFrom(a, length, cursor), naive.LastFitFrom(a, length, b));
            l1 = l2 = length;
            EXPECT_EQ(bitmap.FindFreeRunDown(a, l1), naive.FreeRunDown(a, l2));
            EXPECT_EQ(l1, l2);
            l1 = l2 = 0;
            EXPECT_EQ(bitmap.FindNonSystemRun(a, l1), system.NonSystemRun(a, l2));
            EXPECT_EQ(l1, l2);
            const bool naiveFree = [&] {
                const uint64_t l = naive.Round(length);
                Lcn s = naive.InZone(a) ? naive.zoneLast + 1 : a;
                if (l == 0 || s + l > total) return false;
                for (Lcn n = s; n < s + l; ++n)
                    if (naive.used(n) || naive.InZone(n)) return false;
                return true;
            }();
            EXPECT_EQ(bitmap.IsFreeRunAt(a, length).has_value(), naiveFree);
            std::optional<Lcn> highest;
            for (Lcn n = std::min<Lcn>(a, total - 1); n >= 1 && !highest; --n)
                if (!naive.InZone(n) && volume.Allocated(n) && !bitmap.Bit(ClusterMap::System, n)) highest = n;
            EXPECT_EQ(bitmap.FindHighestFileCluster(a), highest);
        }
        m_job.CloseVolume();
    }
}

}  // namespace
}  // namespace tarvo::volume
