// FragmentFlagsTest.cpp --- the fragmentation flags a record keeps between tests follow every change of its pair map.
#include <gtest/gtest.h>

#include <random>

#include "volume/FileRecord.h"

namespace tarvo::volume {
namespace {

// A random pair map of up to six pairs, some virtual, some touching.
PairMap RandomMap(std::mt19937_64& rng) {
    const uint32_t n = static_cast<uint32_t>(rng() % 7);
    PairMap map = PairMap::Sized(n);
    Vcn vcn = 0;
    Lcn next = 100 + rng() % 50;
    for (uint32_t i = 0; i < n; ++i) {
        const uint64_t length = 1 + rng() % 4;
        vcn += length;
        map.nextVcn[i] = vcn;
        const int kind = static_cast<int>(rng() % 4);
        map.lcn[i] = kind == 0 ? kVirtualLcn : kind == 1 ? next : next + 1 + rng() % 9;
        if (map.lcn[i] != kVirtualLcn) next = map.lcn[i] + length;
    }
    return map;
}

// Each answer of a kept record must equal that of a record given the same pairs
// afresh, whichever way the pairs changed and whichever walk ran last.
TEST(FragmentFlagsTest, KeptFlagsEqualAFreshWalkAfterEveryKindOfChange) {
    std::mt19937_64 rng(9);
    FileRecord kept("Z:\\K", RecordKind::Directory);
    for (int step = 0; step < 3000; ++step) {
        const PairMap map = RandomMap(rng);
        switch (rng() % 4) {
            case 0:
                kept.AdoptPairMap(map);
                break;
            case 1:
                kept.CreatePairMap(map.count);
                for (uint32_t i = 0; i < map.count; ++i) kept.SetPair(i, map.nextVcn[i], map.lcn[i]);
                break;
            case 2:  // one pair changed in place
                if (kept.PairCount() > 0) {
                    const uint32_t i = static_cast<uint32_t>(rng() % kept.PairCount());
                    const Pair old = kept.GetPair(i);
                    kept.SetPair(i, old.nextVcn, old.lcn == kVirtualLcn ? 7 : old.lcn + 1);
                }
                break;
            default: {
                FileRecord source("Z:\\S", RecordKind::Directory);
                source.AdoptPairMap(map);
                kept.CopyPairs(source);
            }
        }
        if (rng() % 3 == 0) kept.CountFragments();  // a full walk may leave other flags
        if (rng() % 3 == 0) kept.NextBreakAfter(rng() % 8);
        FileRecord fresh("Z:\\F", RecordKind::Directory);
        fresh.CreatePairMap(kept.PairCount());
        for (uint32_t i = 0; i < kept.PairCount(); ++i) fresh.SetPair(i, kept.GetPair(i).nextVcn, kept.GetPair(i).lcn);
        ASSERT_EQ(kept.IsFragmented(), fresh.IsFragmented()) << step;
        ASSERT_EQ(kept.CompressedFlag(), fresh.CompressedFlag()) << step;
        ASSERT_EQ(kept.IsFragmented(), fresh.IsFragmented()) << step;  // answered from the kept flags
        ASSERT_EQ(kept.GetState(), fresh.GetState()) << step;
    }
}

}  // namespace
}  // namespace tarvo::volume
