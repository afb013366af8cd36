// MapPngTest.cpp --- TarvoDefrag --map-png: the picture of a mapped drive without a display, and its refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/e2e/support/ProgramRun.h"
#include "tests/ui/map/PngDecode.h"

namespace tarvo::e2e {
namespace {

class MapPng : public ProgramTest {};

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kLightGrey = 0xC0C0C0;

TEST_F(MapPng, WritesThePictureOfTheDriveAtTheAskedSizeAndLeavesTheVolumeAlone) {
    MapSim("C", "NTFS", 20000, 300, 3);
    const std::string out = m_home + "/out.png";
    ProgramResult run = Run("TarvoDefrag", {"--map-png", out, "--size", "640x480", "C:"});
    ASSERT_EQ(run.status, 0) << run.output;

    std::ifstream file(out, std::ios::binary);
    char signature[8] = {};
    file.read(signature, 8);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    const ui::testing::DecodedPng png = ui::testing::DecodePng(out);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 640);
    EXPECT_EQ(png.height, 480);
    // A mapped volume with files shows free blocks, used blocks and the background around the grid.
    std::set<uint32_t> colours;
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) colours.insert(png.At(x, y));
    EXPECT_TRUE(colours.count(kWhite)) << "no free block";
    EXPECT_TRUE(colours.count(kLightGrey)) << "no background";
    EXPECT_GE(colours.size(), 4u) << "no used or system blocks";
    EXPECT_EQ(Run("tarvoctl", {"vol", "check", "C:"}).status, 0);
}

TEST_F(MapPng, TheDefaultSizeAndATooSmallPictureStillWriteAFile) {
    MapSim("D", "FAT", 20000, 100, 4);
    const std::string out = m_home + "/default.png";
    ProgramResult run = Run("TarvoDefrag", {"--map-png", out, "d"});
    ASSERT_EQ(run.status, 0) << run.output;
    const ui::testing::DecodedPng png = ui::testing::DecodePng(out);
    EXPECT_EQ(png.width, 640);
    EXPECT_EQ(png.height, 480);

    // 20,000 clusters do not fit 8 by 8 pixels: the picture carries the message only.
    const std::string tiny = m_home + "/tiny.png";
    ProgramResult small = Run("TarvoDefrag", {"--map-png", tiny, "--size", "8x8", "D:"});
    EXPECT_EQ(small.status, 0) << small.output;
    EXPECT_NE(small.output.find("too small"), std::string::npos) << small.output;
    EXPECT_TRUE(ui::testing::DecodePng(tiny).ok);
}

TEST_F(MapPng, BadSizesMissingValuesAndUnmappedDrivesAreRefusedWithoutAFile) {
    MapSim("C", "NTFS", 8000, 50);
    const std::string out = m_home + "/refused.png";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"--map-png", out, "--size", "640", "C:"}, 1, "WxH"},
        {{"--map-png", out, "--size", "0x480", "C:"}, 1, "WxH"},
        {{"--map-png", out, "--size", "640x99999", "C:"}, 1, "WxH"},
        {{"--map-png", out, "--size", "-640x480", "C:"}, 1, "WxH"},
        {{"--map-png"}, 1, "needs a value"},
        {{"--map-png", out}, 1, "exactly one drive"},
        {{"--map-png", out, "C:", "D:"}, 1, "exactly one drive"},
        {{"--size", "640x480", "C:"}, 1, "goes with --map-png"},
        {{"--map-png", out, "Q:"}, 2, "does not open"},
        {{"--map-png", out, "C:x"}, 2, "not a drive"},
        {{"--map-png", m_home + "/no/such/folder/map.png", "C:"}, 2, ""},
    };
    for (const Case& c : cases) {
        ProgramResult run = Run("TarvoDefrag", c.args);
        std::string words;
        for (const auto& w : c.args) words += w + " ";
        EXPECT_EQ(run.status, c.status) << words << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << words << run.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << words;
    }
}

}  // namespace
}  // namespace tarvo::e2e
