// MapRenderTest.cpp --- the whole map and file redraws of an analysed simulated drive, read back from PNG files.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Analysis.h"
#include "tests/engine/support/EngineTestEnv.h"
#include "tests/ui/map/PngDecode.h"
#include "ui/map/MapExport.h"
#include "ui/map/MapRenderer.h"
#include "ui/map/MapTexts.h"
#include "ui/map/PngWriter.h"

namespace tarvo::ui {
namespace {

using engine::testing::EngineTest;
using platform::SimFileSystem;
using testing::DecodePng;

class MapRenderTest : public EngineTest {
protected:
    // The centre pixel of the block holding cluster lcn, in a geometry.
    static void Centre(const MapGeometry& g, Lcn lcn, int& x, int& y) {
        g.BlockOrigin(g.BlockOf(lcn), x, y);
        x += 3;
        y += 3;
    }
    std::string PngPath() const { return m_home + "/map.png"; }
};

TEST_F(MapRenderTest, ExportedPictureShowsUsedFragmentedAndFreeBlocksAtOneClusterPerBlock) {
    MakeVolume(SimFileSystem::Fat, 3000);
    AddFile("WHOLE.DAT", {{8, 100}});
    AddFile("SPLIT.DAT", {{4, 200}, {10, 300}});
    std::string error;
    ASSERT_EQ(ExportDriveMap({"T:", PngPath(), 640, 480, 9, Shadow::ThreeD}, error), 0) << error;
    const auto png = DecodePng(PngPath());
    ASSERT_TRUE(png.ok);
    ASSERT_EQ(png.width, 640);
    ASSERT_EQ(png.height, 480);
    const MapGeometry g = ComputeGeometry(640, 480, 9, 3000);
    ASSERT_EQ(g.clustersPerBlock, 1);
    int x = 0, y = 0;
    Centre(g, 104, x, y);
    EXPECT_EQ(png.At(x, y), 0x800000u);  // navy: used
    Centre(g, 202, x, y);
    EXPECT_EQ(png.At(x, y), 0x0000FFu);  // red: fragmented
    Centre(g, 305, x, y);
    EXPECT_EQ(png.At(x, y), 0x0000FFu);
    Centre(g, 2000, x, y);
    EXPECT_EQ(png.At(x, y), 0xFFFFFFu);  // white: free
    // The 3-D shadow along the lower and right edges, the margin in light grey.
    g.BlockOrigin(2000, x, y);
    EXPECT_EQ(png.At(x + 7, y + 7), 0x808080u);
    EXPECT_EQ(png.At(5, 5), kLightGrey);
}

TEST_F(MapRenderTest, TooSmallAPictureIsGreyWithTheMessageAndNoBlocks) {
    MakeVolume(SimFileSystem::Fat, 3000);
    AddFile("WHOLE.DAT", {{8, 100}});
    std::string error;
    ASSERT_EQ(ExportDriveMap({"T", PngPath(), 200, 45, 9, Shadow::Flat}, error), 0);
    EXPECT_NE(error.find("too small"), std::string::npos);
    const auto png = DecodePng(PngPath());
    ASSERT_TRUE(png.ok);
    size_t grey = 0, dark = 0;
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) {
            const uint32_t c = png.At(x, y);
            grey += c == kLightGrey;
            dark += c == 0;
        }
    EXPECT_GT(dark, 10u);  // the message's letters
    EXPECT_EQ(grey + dark, static_cast<size_t>(png.width * png.height));
}

TEST_F(MapRenderTest, BadDrivesAndSizesAreRefusedWithoutWritingAFile) {
    std::string error;
    EXPECT_EQ(ExportDriveMap({"TT", PngPath()}, error), 1);
    EXPECT_EQ(ExportDriveMap({"1:", PngPath()}, error), 1);
    EXPECT_EQ(ExportDriveMap({"Q:", PngPath()}, error), 1);  // not mapped
    EXPECT_NE(error.find("Q:"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(PngPath()));
    int w = 0, h = 0;
    EXPECT_TRUE(ParseMapSize("800x600", w, h));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    for (const char* bad : {"800", "x600", "800x", "0x10", "-5x10", "10x99999", "8a0x600", "800x600x2"})
        EXPECT_FALSE(ParseMapSize(bad, w, h)) << bad;
    PixelBuffer picture(4, 4);
    EXPECT_FALSE(WritePng(picture, m_home + "/no/such/folder/map.png", error));
}

TEST_F(MapRenderTest, FileRangesCoverEachExtentAndJoinRangesThatMeetInABlock) {
    MapGeometry g = ComputeGeometry(640, 480, 9, 3000);
    g.clustersPerBlock = 8;
    volume::FileRecord split("T:\\SPLIT.DAT", volume::RecordKind::File);
    split.CreatePairMap(5);
    split.SetPair(0, 4, 200);
    split.SetPair(1, 10, 203);
    split.SetPair(2, 12, 900);
    split.SetPair(3, 14, volume::kVirtualLcn);
    split.SetPair(4, 15, 40);
    ASSERT_TRUE(split.IsFragmented());
    // 200..203 and 203..208 meet in block 25; 900..901 alone; the virtual run is skipped; 40 alone.
    EXPECT_EQ(FileBlockRanges(split, g), (std::vector<BlockRange>{{25, 26}, {112, 112}, {5, 5}}));
    volume::FileRecord whole("T:\\WHOLE.DAT", volume::RecordKind::File);
    whole.CreatePairMap(2);
    whole.SetPair(0, 10, 1000);
    whole.SetPair(1, 30, 1010);
    ASSERT_FALSE(whole.IsFragmented());
    EXPECT_EQ(FileBlockRanges(whole, g), (std::vector<BlockRange>{{125, 128}}));
}

TEST_F(MapRenderTest, RangeRedrawOfAWorkingFileShowsCyanWhereTheFullRedrawShowsRed) {
    MakeVolume(SimFileSystem::Fat, 3000);
    AddFile("SPLIT.DAT", {{4, 200}, {10, 300}});
    AddFile("MOVING.DAT", {{4, 204}});
    volume::CDefragJob& job = OpenJob();
    ASSERT_EQ(engine::RunAnalysis(job), 1);
    Record("MOVING.DAT")->MarkWorking();
    PixelBuffer picture(640, 480);
    MapGeometry g;
    ASSERT_EQ(DrawWholeMap(job, picture, 16, Shadow::Flat, {}, g), kMapDrawn);
    g.clustersPerBlock = 8;  // block 25 holds 200..207: fragmented clusters first, then working ones
    picture.Fill(kLightGrey);
    DrawBlockRanges(job, picture, g, Shadow::Flat, {{25, 25}}, {});
    int x = 0, y = 0;
    g.BlockOrigin(25, x, y);
    EXPECT_EQ(picture.Pixel(x + 2, y + 2), 0xFFFF00u);
    ClusterKindSource source = ClusterKindSource::For(*job.m_clusterBitmap, StateLookup::Cluster);
    EXPECT_EQ(ReduceBlock(source, 200, 207, RedrawScope::Full), kBlockFragmented);
}

}  // namespace
}  // namespace tarvo::ui
