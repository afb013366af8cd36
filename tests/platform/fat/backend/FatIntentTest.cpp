// FatIntentTest.cpp --- the move record: several moves round-trip, older records read, damaged or overlapping ones refused.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FatTestSupport.h"
#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatIntent.h"

namespace tarvo::platform::testing {

namespace {

FatMoveRecord Move(bool fromEntry, uint64_t where, uint32_t target, uint32_t successor, std::vector<uint32_t> old) {
    FatMoveRecord move;
    move.fromEntry = fromEntry;
    move.entryOffset = fromEntry ? where : 0;
    move.previousCluster = fromEntry ? 0 : static_cast<uint32_t>(where);
    move.target = target;
    move.successor = successor;
    move.oldClusters = std::move(old);
    return move;
}

bool Same(const FatMoveRecord& a, const FatMoveRecord& b) {
    return a.fromEntry == b.fromEntry && a.entryOffset == b.entryOffset && a.previousCluster == b.previousCluster &&
           a.target == b.target && a.successor == b.successor && a.oldClusters == b.oldClusters;
}

}  // namespace

TEST_F(FatTest, MoveRecordKeepsEveryMoveOfABatch) {
    FatIntent intent;
    intent.volumeSerial = 0xDEADBEEF;
    intent.totalSectors = 16384;
    intent.clusterCount = 16000;
    intent.moves.push_back(Move(true, 0x4A20, 900, 0x0FFFFFFF, {10, 11, 12, 40, 41, 7}));
    intent.moves.push_back(Move(false, 300, 950, 302, {301}));
    const std::string path = FatIntentPath((m_dir / "some.img").string());
    std::string error;
    ASSERT_TRUE(WriteFatIntent(path, intent, error)) << error;
    FatIntent back;
    ASSERT_TRUE(ReadFatIntent(path, back, error)) << error;
    EXPECT_EQ(back.volumeSerial, intent.volumeSerial);
    EXPECT_EQ(back.totalSectors, intent.totalSectors);
    ASSERT_EQ(back.moves.size(), 2u);
    EXPECT_TRUE(Same(back.moves[0], intent.moves[0]));
    EXPECT_TRUE(Same(back.moves[1], intent.moves[1]));

    // An idle record: the volume is ours, nothing in flight.
    intent.moves.clear();
    ASSERT_TRUE(WriteFatIntent(path, intent, error)) << error;
    ASSERT_TRUE(ReadFatIntent(path, back, error)) << error;
    EXPECT_TRUE(back.moves.empty());

    // Records of the first format, one cluster a line, still read.
    std::ofstream(path) << "tarvo-fat-intent 1\nvolume 1 16384 16000\nmove cluster 300 950 302 2\n301\n305\nend\n";
    ASSERT_TRUE(ReadFatIntent(path, back, error)) << error;
    ASSERT_EQ(back.moves.size(), 1u);
    EXPECT_EQ(back.moves[0].oldClusters, (std::vector<uint32_t>{301, 305}));
    std::ofstream(path) << "tarvo-fat-intent 1\nvolume 1 16384 16000\nidle\nend\n";
    ASSERT_TRUE(ReadFatIntent(path, back, error)) << error;
    EXPECT_TRUE(back.moves.empty());

    // Cut short, runs that overrun their count, or no record at all.
    for (const char* damaged : {"tarvo-fat-intent 2\nvolume 1 16384 16000\nmove entry 18976 900 4095 3 1\n10 3\n",
                                "tarvo-fat-intent 2\nvolume 1 16384 16000\nmove entry 18976 900 4095 3 1\n10 4\nend\n",
                                "tarvo-fat-intent 2\nvolume 1 16384 16000\nmove entry 18976 900 4095 0 0\nend\n",
                                "tarvo-fat-intent 9\nvolume 1 16384 16000\nend\n"}) {
        std::ofstream(path) << damaged;
        EXPECT_FALSE(ReadFatIntent(path, back, error)) << damaged;
        EXPECT_NE(error.find("damaged"), std::string::npos) << damaged;
    }
    ASSERT_TRUE(RemoveFatIntent(path, error)) << error;
    EXPECT_FALSE(ReadFatIntent(path, back, error));
    EXPECT_EQ(error, "");
}

TEST_F(FatTest, RecordThatDoesNotFitTheVolumeIsRefusedAndNothingIsWritten) {
    std::vector<FatManifestEntry> manifest;
    const std::string image = MakeImage("v.img", 16, 8u << 20, 512, 12, true, 9, manifest);
    std::vector<uint8_t> bytes = ReadAll(image);
    FatGeometry g;
    std::string error;
    ASSERT_TRUE(ParseFatBootSector(bytes.data(), 512, bytes.size(), g, error)) << error;
    bytes[g.dirtyFlagOffset] |= 0x01;  // as our own run leaves the volume while it works
    FatIntent intent;
    intent.volumeSerial = g.volumeSerial;
    intent.totalSectors = g.totalSectors;
    intent.clusterCount = g.clusterCount;
    intent.moves.push_back(Move(false, 5, 3000, 7, {6}));
    intent.moves.push_back(Move(false, 8, 3000, 10, {9}));  // the same target twice, links never written
    ASSERT_TRUE(WriteFatIntent(FatIntentPath(image), intent, error)) << error;
    WriteAll(image, bytes);
    auto backend = OpenImage(image, error);
    EXPECT_EQ(backend, nullptr);
    EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
    EXPECT_NE(error.find("fsck.fat"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(image), bytes);
}

TEST_F(FatTest, RecordOfARunThatDiedMarkingTheVolumeLeavesTheFreeCountKnown) {
    std::vector<FatManifestEntry> manifest;
    const std::string image = MakeImage("stale.img", 32, 34u << 20, 512, 6, false, 4, manifest);
    std::vector<uint8_t> bytes = ReadAll(image);
    FatGeometry g;
    std::string error;
    ASSERT_TRUE(ParseFatBootSector(bytes.data(), 512, bytes.size(), g, error)) << error;
    ASSERT_NE(g.fsInfoSector, 0u);
    // The run wrote its idle record and the "unknown" free count; the dirty flag never reached the medium.
    const size_t freeCount = size_t{g.fsInfoSector} * g.bytesPerSector + 488;
    std::fill(bytes.begin() + static_cast<long>(freeCount), bytes.begin() + static_cast<long>(freeCount + 4), 0xFF);
    WriteAll(image, bytes);
    FatIntent idle;
    idle.volumeSerial = g.volumeSerial;
    idle.totalSectors = g.totalSectors;
    idle.clusterCount = g.clusterCount;
    ASSERT_TRUE(WriteFatIntent(FatIntentPath(image), idle, error)) << error;
    {
        auto backend = OpenImage(image, error);
        ASSERT_NE(backend, nullptr) << error;
    }
    std::string output;
    EXPECT_EQ(Fsck(image, output), 0) << output;
    EXPECT_EQ(output.find("uninitialized"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(FatIntentPath(image)));
    EXPECT_EQ(MtoolsManifest(image), manifest);
}

}  // namespace tarvo::platform::testing
