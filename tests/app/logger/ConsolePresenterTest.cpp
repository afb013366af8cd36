// ConsolePresenterTest.cpp --- the console presenter's lines and tables, and the status report's figure.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/ConsolePresenter.h"

namespace tarvo::app {
namespace {

// Everything written to a temporary file.
std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

TEST(ConsolePresenterTest, WritesOneLinePerMessageWithItsSeverity) {
    std::FILE* out = std::tmpfile();
    std::FILE* in = std::tmpfile();  // not a terminal: the ask box must not wait
    ConsolePresenter presenter(out, in);
    EXPECT_EQ(
        presenter.ShowMessageBox({MSG_WAR_NOT_ENOUGH_DISKSPACE, "first\nsecond", MB_ICONEXCLAMATION, 0}),
        IDOK);
    bool checked = true;
    EXPECT_EQ(
        presenter.ShowAskBox({MSG_WAR_FILE_GIVEN_UP, "ask %s", MB_ICONEXCLAMATION, 0, "check"}, checked),
        IDOK);
    EXPECT_FALSE(checked);
    EXPECT_EQ(presenter.ShowMessageBox({MSG_ERR_WRITE_PROTECTED, "err", MB_ICONHAND, 0}), IDOK);
    EXPECT_EQ(Contents(out), "Warning: first second\nWarning: ask %s\nError: err\n");
    std::fclose(out);
    std::fclose(in);
}

TEST(ConsolePresenterTest, StatusReportIsAShortTable) {
    std::FILE* out = std::tmpfile();
    ConsolePresenter presenter(out, nullptr);
    StatusReportRequest request{MSG_INF_COMPLETE_COMPLETED, "done", "C:", "NTFS", "300", "20", "1"};
    EXPECT_EQ(presenter.ShowStatusReport(request), IDOK);
    std::string text = Contents(out);
    EXPECT_NE(text.find("Status report: done\n"), std::string::npos);
    EXPECT_NE(text.find("Fragmented files NOW      1\n"), std::string::npos);
    EXPECT_NE(text.find("% fragmented files        0.33%\n"), std::string::npos);
    std::fclose(out);
}

TEST(ConsolePresenterTest, DefaultButtonFollowsTheStyle) {
    EXPECT_EQ(DefaultButton(MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(DefaultButton(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(DefaultButton(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultButton(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
}

TEST(FragmentedShareTest, PercentOfFragmentedFilesAndItsBar) {
    struct Case {
        const char* total;
        const char* now;
        const char* text;
        int bar;
    };
    const Case cases[] = {
        {"0", "0", "100.00%", 10000},   {"3", "1", "33.33%", 3333},
        {"200", "3", "1.50%", 150},     {"10", "0", "0.00%", 0},
        {"10", "20", "200.00%", 10000}, {"x", "1", "100.00%", 10000},
        {"10", "-1", "0.00%", 0},       {"18446744073709551615", "18446744073709551615", "100.00%", 10000},
    };
    for (const Case& c : cases) {
        FragmentedShare share = ComputeFragmentedShare(c.total, c.now);
        EXPECT_EQ(share.percentText, c.text) << c.total << "/" << c.now;
        EXPECT_EQ(share.barPosition, c.bar) << c.total << "/" << c.now;
    }
}

TEST(FragmentedShareTest, LogTimeHasTheDialogsFormat) {
    std::string text = FormatLogTime(0);
    ASSERT_EQ(text.size(), 19u);
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[13], ':');
}

}  // namespace
}  // namespace tarvo::app
