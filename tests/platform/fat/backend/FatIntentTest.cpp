// FatIntentTest.cpp --- the move record: several moves round-trip, older records read, damaged or overlapping ones refused.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FatTestSupport.h"
#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatDataHash.h"
#include "platform/fat/FatIntent.h"
#include "platform/fat/FatVolume.h"

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
           a.target == b.target && a.successor == b.successor && a.oldClusters == b.oldClusters &&
           a.generation == b.generation && a.hasDataHash == b.hasDataHash && a.dataHash == b.dataHash;
}

}  // namespace

TEST_F(FatTest, MoveRecordKeepsEveryMoveOfABatch) {
    FatIntent intent;
    intent.volumeSerial = 0xDEADBEEF;
    intent.totalSectors = 16384;
    intent.clusterCount = 16000;
    intent.moves.push_back(Move(true, 0x4A20, 900, 0x0FFFFFFF, {10, 11, 12, 40, 41, 7}));
    intent.moves.push_back(Move(false, 300, 950, 302, {301}));
    intent.moves[1].generation = 1;
    intent.moves[1].hasDataHash = true;
    intent.moves[1].dataHash = 0xFEDCBA9876543210ull;
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

    // Records of the second format, without generations and fingerprints, still read.
    std::ofstream(path) << "tarvo-fat-intent 2\nvolume 1 16384 16000\nmove entry 18976 900 4095 3 1\n10 3\nend\n";
    ASSERT_TRUE(ReadFatIntent(path, back, error)) << error;
    ASSERT_EQ(back.moves.size(), 1u);
    EXPECT_EQ(back.moves[0].oldClusters, (std::vector<uint32_t>{10, 11, 12}));
    EXPECT_EQ(back.moves[0].generation, 0u);
    EXPECT_FALSE(back.moves[0].hasDataHash);

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
                                "tarvo-fat-intent 3\nvolume 1 16384 16000\nmove entry 18976 900 4095 3 1 0 2 7\n10 3\nend\n",
                                "tarvo-fat-intent 3\nvolume 1 16384 16000\nmove entry 18976 900 4095 3 1\n10 3\nend\n",
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
    // A target in the old clusters of a move of the same or a later generation.
    FatIntent takesTooEarly = intent;
    takesTooEarly.moves.clear();
    takesTooEarly.moves.push_back(Move(false, 5, 3000, 7, {6}));
    takesTooEarly.moves.push_back(Move(false, 8, 6, 10, {9}));
    takesTooEarly.moves[0].generation = 1;
    takesTooEarly.moves[1].generation = 1;
    for (const FatIntent& record : {intent, takesTooEarly}) {
        ASSERT_TRUE(WriteFatIntent(FatIntentPath(image), record, error)) << error;
        WriteAll(image, bytes);
        auto backend = OpenImage(image, error);
        EXPECT_EQ(backend, nullptr);
        EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
        EXPECT_NE(error.find("fsck.fat"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(image), bytes);
    }
}

// A move whose links reached every FAT copy is finished only when its target holds
// the data it copied; with the same links and other data (a torn copy) it is undone.
// A record of the previous format, without fingerprints, is judged by its links as before.
TEST_F(FatTest, LinksWithoutTheirDataAreUndoneAndWithItFinished) {
    for (int mode : {0, 1, 2}) {
        const bool dataWhole = mode != 0;
        const bool oldFormat = mode == 2;
        SCOPED_TRACE(oldFormat ? "record of the previous format" : dataWhole ? "data whole" : "data torn");
        std::vector<FatManifestEntry> manifest;
        const std::string image = MakeImage("links" + std::to_string(mode) + ".img", 16, 8u << 20, 512, 12, true, 4, manifest);
        std::string error;
        FatVolume volume;
        {
            auto device = OpenBlockDevice(image, DeviceAccess::ReadOnly, error);
            ASSERT_NE(device, nullptr) << error;
            ASSERT_TRUE(volume.Load(*device, nullptr, error)) << error;
        }
        const FatGeometry& g = volume.geometry;
        size_t node = 0;
        for (size_t i = 1; i < volume.nodes.size() && node == 0; ++i) {
            if (!volume.nodes[i].isDirectory && volume.nodes[i].chain.size() >= 2) node = i;
        }
        ASSERT_NE(node, 0u);
        const std::vector<uint32_t> chain = volume.nodes[node].chain;
        uint32_t target = g.clusterCount + 2 - static_cast<uint32_t>(chain.size());
        for (uint32_t i = 0; i < chain.size(); ++i) ASSERT_TRUE(volume.fat.IsFree(target + i));
        std::vector<uint8_t> bytes = ReadAll(image);
        FatDataHash hash;
        for (uint32_t i = 0; i < chain.size(); ++i) {
            std::copy_n(bytes.begin() + static_cast<long>(g.ClusterOffset(chain[i])), g.bytesPerCluster,
                        bytes.begin() + static_cast<long>(g.ClusterOffset(target + i)));
            hash.Add(bytes.data() + g.ClusterOffset(chain[i]), g.bytesPerCluster);
        }
        if (!dataWhole) bytes[g.ClusterOffset(target + 1) + 7] ^= 0x5A;  // one sector of the copy never arrived
        FatMoveRecord move = Move(true, volume.nodes[node].entryOffset, target, volume.fat.EndOfChain(), chain);
        move.generation = 1;
        move.hasDataHash = true;
        move.dataHash = hash.Value();
        for (uint32_t k = 0; k < g.numberOfFats; ++k) {
            FatTable copy(g, std::vector<uint8_t>(bytes.begin() + static_cast<long>(g.FatOffset(k)),
                                                  bytes.begin() + static_cast<long>(g.FatOffset(k) + g.FatBytes())));
            for (uint32_t i = 0; i < chain.size(); ++i) {
                copy.Set(target + i, i + 1 < chain.size() ? target + i + 1 : volume.fat.EndOfChain());
            }
            std::copy(copy.Bytes().begin(), copy.Bytes().end(), bytes.begin() + static_cast<long>(g.FatOffset(k)));
        }
        bytes[g.dirtyFlagOffset] |= 0x01;
        WriteAll(image, bytes);
        FatIntent intent;
        intent.volumeSerial = g.volumeSerial;
        intent.totalSectors = g.totalSectors;
        intent.clusterCount = g.clusterCount;
        intent.moves.push_back(move);
        ASSERT_TRUE(WriteFatIntent(FatIntentPath(image), intent, error)) << error;
        if (oldFormat) {
            std::ofstream old(FatIntentPath(image), std::ios::trunc);
            old << "tarvo-fat-intent 2\nvolume " << g.volumeSerial << " " << g.totalSectors << " " << g.clusterCount
                << "\nmove entry " << move.entryOffset << " " << target << " " << move.successor << " " << chain.size()
                << " " << chain.size() << "\n";
            for (uint32_t c : chain) old << c << " 1\n";
            old << "end\n";
        }
        {
            auto backend = OpenImage(image, error);
            ASSERT_NE(backend, nullptr) << error;
            const auto runs = Runs(*backend, node);
            ASSERT_FALSE(runs.empty());
            EXPECT_EQ(runs.front().first == static_cast<Lcn>(target - 2), dataWhole);
        }
        std::string output;
        EXPECT_EQ(Fsck(image, output), 0) << output;
        EXPECT_EQ(MtoolsManifest(image), manifest);
    }
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
