// StatusTextsTest.cpp --- status-bar pane texts, estimated end, tray tip, path fitting and window placement.
#include <gtest/gtest.h>

#include "ui/texts/StatusTexts.h"

namespace tarvo::ui {
namespace {

TEST(StatusTextsTest, PercentAndEndTimeAsTheProgressPaneShowsThem) {
    EXPECT_EQ(FormatPercent(50), " 50 %");
    EXPECT_EQ(FormatPercent(5), "  5 %");
    // Ten minutes for 50 %: the end lies 600 / 50 * 99 = 1188 s after the start.
    EXPECT_EQ(EstimatedEndTime(1000000, 1000600, 50), 1000000 + 1188);
    EXPECT_EQ(EstimatedEnd(1000000, 1000600, 0), "");
    EXPECT_EQ(EstimatedEnd(1000000, 1000600, 50).size(), 5u);
}

TEST(StatusTextsTest, FragmentedCountPane) {
    EXPECT_EQ(FormatFragmentedCount(-1), "---");
    EXPECT_EQ(FormatFragmentedCount(7), "   7 frag. file(s)");
    EXPECT_EQ(FormatFragmentedCount(12345), "12345 frag. file(s)");
}

TEST(StatusTextsTest, TrayTipLeavesOutIdleAndIsCutAt62) {
    EXPECT_EQ(BuildTrayTip("Idle    ", "C:\\", "", ""), " C:\\");
    EXPECT_EQ(BuildTrayTip("Analyzing", "C:\\", "40", "7"), "Analyzing C:\\ 40% 7 frag. file(s)");
    EXPECT_EQ(BuildTrayTip("", "", "", ""), "");
    EXPECT_EQ(BuildTrayTip(std::string(100, 'x'), "C:\\", "1", "2").size(), 62u);
}

TEST(StatusTextsTest, LongPathsAreFittedKeepingRootAndName) {
    const std::string path = "C:\\WINNT\\SYSTEM32\\DRIVERS\\ETC\\HOSTS.TXT";
    EXPECT_EQ(CompactPath(path, 100), path);
    EXPECT_EQ(CompactPath(path, 24), "C:\\...\\ETC\\HOSTS.TXT");
    EXPECT_LE(CompactPath(path, 10).size(), 10u);
    EXPECT_EQ(FitPaneText("", 40), "Ready");
    EXPECT_EQ(FitPaneText("Moving\t" + path, 30), "MovingC:\\...\\ETC\\HOSTS.TXT");
    EXPECT_EQ(FitPaneText("A plain text that is long", 5), "A plain text that is long");
}

TEST(StatusTextsTest, WindowPlacementRoundTripsAndRejectsAnythingButTenNumbers) {
    const WindowPlacement p{2, 3, -1, -1, -8, -8, 10, 20, 650, 500};
    EXPECT_EQ(FormatWindowPos(p), "2:3:-1:-1:-8:-8:10:20:650:500");
    const auto back = ParseWindowPos(FormatWindowPos(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->right, 650);
    for (const char* bad : {"", "1:2:3", "1:2:3:4:5:6:7:8:9:10:11", "1:2:3:4:5:6:7:8:9:x", "1:2:3:4:5:6:7:8:9:",
                            "1;2;3;4;5;6;7;8;9;10", "1:2:3:4:5:6:7:8:9:99999999999"})
        EXPECT_FALSE(ParseWindowPos(bad)) << bad;
}

TEST(StatusTextsTest, LeftPaneRowsGiveTheLegendRowOnlyWhenTheTreeKeeps50) {
    EXPECT_EQ(LeftPaneRows(250).tree, 210);
    EXPECT_EQ(LeftPaneRows(250).legend, 0);
    EXPECT_EQ(LeftPaneRows(400).tree, 190);
    EXPECT_EQ(LeftPaneRows(400).legend, 210);
}

}  // namespace
}  // namespace tarvo::ui
