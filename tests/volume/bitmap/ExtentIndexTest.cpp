// ExtentIndexTest.cpp --- the open-addressing extent start index against an ordered map, under churn.
#include "volume/ExtentIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace tarvo::volume {
namespace {

FileRecord* FakeFile(uint64_t n) { return reinterpret_cast<FileRecord*>(static_cast<uintptr_t>(0x1000 + n * 16)); }

// Inserts and erases keys that crowd a few probe runs (dense neighbours, small
// tables that wrap) and keys spread over the volume; every answer must match
// the ordered map, and erasing must never hide a key behind a gap.
TEST(ExtentIndexTest, AgreesWithAnOrderedMapThroughInsertsAndErases) {
    std::mt19937_64 rng(3);
    for (int round = 0; round < 20; ++round) {
        ExtentIndex index;
        if (round % 2) index.Reserve(rng() % 100);
        std::map<Lcn, std::pair<FileRecord*, uint64_t>> model;
        const uint64_t span = round < 10 ? 64 : (uint64_t{1} << 32);
        for (int step = 0; step < 4000; ++step) {
            const Lcn key = rng() % span;
            if (rng() % 3 != 0) {
                const bool fresh = model.count(key) == 0;
                EXPECT_EQ(index.Insert(key, FakeFile(key), key + 1), fresh);
                if (fresh) model[key] = {FakeFile(key), key + 1};
            } else {
                EXPECT_EQ(index.Erase(key), model.erase(key) == 1);
            }
            ASSERT_EQ(index.Size(), model.size());
            if (step % 97 == 0) {
                for (Lcn probe = 0; probe < 64; ++probe) {
                    const ExtentIndex::Entry* e = index.Find(probe);
                    auto it = model.find(probe);
                    ASSERT_EQ(e != nullptr, it != model.end()) << probe;
                    if (e) {
                        EXPECT_EQ(e->file, it->second.first);
                        EXPECT_EQ(e->length, it->second.second);
                    }
                }
                for (const auto& [key2, value] : model) ASSERT_NE(index.Find(key2), nullptr) << key2;
            }
        }
    }
}

TEST(ExtentIndexTest, EmptiesAndRefillsAfterItsLastEntryGoes) {
    ExtentIndex index;
    EXPECT_EQ(index.Find(0), nullptr);
    EXPECT_FALSE(index.Erase(5));
    ASSERT_TRUE(index.Insert(0, FakeFile(1), 7));  // cluster 0 is a valid key
    EXPECT_FALSE(index.Insert(0, FakeFile(2), 9));
    EXPECT_EQ(index.Find(0)->file, FakeFile(1));
    EXPECT_TRUE(index.Erase(0));
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_EQ(index.Find(0), nullptr);
    ASSERT_TRUE(index.Insert(0, FakeFile(3), 1));
    EXPECT_EQ(index.Find(0)->file, FakeFile(3));
}

}  // namespace
}  // namespace tarvo::volume
