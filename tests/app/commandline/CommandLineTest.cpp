// CommandLineTest.cpp --- the grammar's rules and reports, and a command line applied for the run only.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/CommandLine.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "platform/eventlog/EventLogReader.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app {
namespace {

using testing::TempHomeTest;

// C, D and E are eligible; every other letter is not.
bool ThreeDrives(char letter) {
    return letter == 'C' || letter == 'D' || letter == 'E';
}

struct LoggedEvent {
    MessageId id;
    std::vector<std::string> strings;
};

class CommandLineTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        Settings().SetLogging(1, 4);
        SetDisplay(Display::Off);
        ASSERT_TRUE(RegisterSource(nullptr));
    }
    void TearDown() override {
        DeregisterSource();
        SetDisplay(Display::On);
        TempHomeTest::TearDown();
    }

    CommandLineRecord Parse(const std::vector<std::string>& words) { return ParseCommandLine(words, ThreeDrives); }

    std::vector<LoggedEvent> Events() {
        std::vector<platform::EventRecord> records;
        std::string error;
        EXPECT_TRUE(platform::ReadEventLog({}, records, error)) << error;
        std::vector<LoggedEvent> out;
        for (auto& r : records) out.push_back({r.eventId, r.strings});
        return out;
    }
    bool Logged(MessageId id, const std::string& first) {
        auto events = Events();
        return std::any_of(events.begin(), events.end(), [&](const LoggedEvent& e) {
            return e.id == id && !e.strings.empty() && e.strings[0] == first;
        });
    }
};

TEST_F(CommandLineTest, OptionsAreUpperCasedAndEachProcessedOptionIsReported) {
    CommandLineRecord r = Parse({"/space:c", "-sort:name", "/log:2", "/quiet", "README.TXT"});
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.spaceDrives, DriveList{"C"});
    EXPECT_EQ(r.sort, 0);
    EXPECT_TRUE(r.loggingOn);
    EXPECT_EQ(r.logLevel, 2);
    EXPECT_TRUE(r.quiet);
    EXPECT_TRUE(r.IsCommandLineRun());
    for (const char* word : {"SPACE:C", "SORT:NAME", "LOG:2", "QUIET"})
        EXPECT_TRUE(Logged(MSG_INF_OPTION_ACCEPTED, word)) << word;
}

TEST_F(CommandLineTest, DriveListsEndAtAnEmptyItemAndAllTakesEveryEligibleDrive) {
    EXPECT_EQ(Parse({"/SPACE:C,,D"}).spaceDrives, DriveList{"C"});
    EXPECT_EQ(Parse({"/COMPLETE:E,C"}).completeDrives, (DriveList{"E", "C"}));
    CommandLineRecord all = Parse({"/SPACE:ALL,X"});
    EXPECT_TRUE(all.valid);
    EXPECT_TRUE(all.spaceAll);
    EXPECT_EQ(all.spaceDrives, (DriveList{"C", "D", "E"}));
    // "/SPACE" without a value names an empty list: a command-line run without drives.
    CommandLineRecord empty = Parse({"/SPACE"});
    EXPECT_TRUE(empty.valid && empty.spaceSeen && empty.spaceDrives.empty());
}

TEST_F(CommandLineTest, BadDriveItemsInvalidateTheRecordButTheOptionIsStillReported) {
    for (const char* word : {"/SPACE:C:", "/SPACE:Q", "/COMPLETE:CD", "/COMPLETE:1"}) {
        CommandLineRecord r = Parse({word});
        EXPECT_FALSE(r.valid) << word;
        EXPECT_TRUE(Logged(MSG_INF_OPTION_ACCEPTED, std::string(word + 1))) << word;
    }
    EXPECT_TRUE(Logged(MSG_ERR_BAD_DRIVE_OPTION, "C:"));
    // The list ends at the bad item: what came before stays.
    EXPECT_EQ(Parse({"/SPACE:D,Q,C"}).spaceDrives, DriveList{"D"});
}

// F names a volume that was refused; every other rejected letter names none.
std::string RefusedF(char letter) {
    return letter == 'F' ? "/img/f.img was not cleanly unmounted; run fsck.fat on the volume first" : "";
}

TEST_F(CommandLineTest, ARefusedVolumeIsReportedWithItsReasonAndAnUnknownLetterAsAnInvalidDrive) {
    CommandLineRecord refused = ParseCommandLine({"/SPACE:C,F,D"}, ThreeDrives, RefusedF);
    EXPECT_FALSE(refused.valid);
    EXPECT_TRUE(refused.driveRefused);
    EXPECT_EQ(refused.spaceDrives, DriveList{"C"});
    const auto events = Events();
    const bool reasonGiven = std::any_of(events.begin(), events.end(), [](const LoggedEvent& e) {
        return e.id == MSG_ERR_VOLUME_REFUSED && e.strings.size() == 2 && e.strings[0] == "F" &&
               e.strings[1].find("run fsck.fat") != std::string::npos;
    });
    EXPECT_TRUE(reasonGiven);
    EXPECT_FALSE(Logged(MSG_ERR_BAD_DRIVE_OPTION, "F"));

    CommandLineRecord unknown = ParseCommandLine({"/COMPLETE:Q"}, ThreeDrives, RefusedF);
    EXPECT_FALSE(unknown.valid);
    EXPECT_FALSE(unknown.driveRefused);
    EXPECT_TRUE(Logged(MSG_ERR_BAD_DRIVE_OPTION, "Q"));
}

TEST_F(CommandLineTest, RepeatedListOrSortIsIgnoredButRepeatedLogOrQuietInvalidates) {
    CommandLineRecord lists = Parse({"/SPACE:C", "/SPACE:D", "/SORT:NAME", "/SORT:LASTMODIFIED"});
    EXPECT_TRUE(lists.valid);
    EXPECT_EQ(lists.spaceDrives, DriveList{"C"});
    EXPECT_EQ(lists.sort, 0);
    EXPECT_TRUE(Logged(MSG_WAR_OPTION_REPEATED, "SPACE:D"));
    EXPECT_FALSE(Logged(MSG_INF_OPTION_ACCEPTED, "SPACE:D"));

    EXPECT_FALSE(Parse({"/LOG:2", "/LOG:3"}).valid);
    EXPECT_FALSE(Parse({"/QUIET", "/QUIET"}).valid);
}

TEST_F(CommandLineTest, LogAndSortValuesFollowTheirTables) {
    CommandLineRecord off = Parse({"/LOG:OFF"});
    EXPECT_TRUE(off.valid && off.logSeen && !off.loggingOn);
    CommandLineRecord zero = Parse({"/LOG:0"});
    EXPECT_TRUE(zero.valid && !zero.loggingOn);
    CommandLineRecord bad = Parse({"/LOG:5"});
    EXPECT_FALSE(bad.valid);
    EXPECT_TRUE(Logged(MSG_ERR_BAD_LOG_OPTION, "5"));
    EXPECT_FALSE(Logged(MSG_INF_OPTION_ACCEPTED, "LOG:5"));

    CommandLineRecord emptySort = Parse({"/SORT:"});
    EXPECT_TRUE(emptySort.valid);
    EXPECT_EQ(emptySort.sort, -1);
    EXPECT_EQ(Parse({"/SORT:LASTMODIFIED"}).sort, 1);
    EXPECT_FALSE(Parse({"/SORT:SIZE"}).valid);
    EXPECT_TRUE(Logged(MSG_ERR_BAD_SORT_OPTION, "SIZE"));
}

TEST_F(CommandLineTest, AppliedCommandLineChangesTheRecordForTheRunOnlyAndNothingIsStored) {
    CommandLineRecord r = Parse({"/COMPLETE:D", "/SORT:LASTMODIFIED", "/LOG:3", "/QUIET"});
    ASSERT_TRUE(ApplyCommandLine(r, Settings()));
    EXPECT_TRUE(Settings().CommandLineRun());
    EXPECT_TRUE(Settings().CompleteListGiven());
    EXPECT_EQ(*Settings().CompleteDrives(), DriveList{"D"});
    EXPECT_EQ(Settings().FATSortedBy(), 1);
    EXPECT_EQ(Settings().NTFSSortedBy(), 1);
    EXPECT_EQ(Settings().LogLevel(), 3);
    EXPECT_TRUE(Settings().QuietMode());

    // A fresh load sees only what was stored: the defaults.
    CSettings stored;
    stored.Load();
    EXPECT_EQ(stored.FATSortedBy(), CSettings().FATSortedBy());
    EXPECT_EQ(stored.LogLevel(), CSettings().LogLevel());
    EXPECT_EQ(stored.QuietMode(), CSettings().QuietMode());

    CommandLineRecord invalid = Parse({"/SPACE:C", "/LOG:9"});
    CSettings untouched;
    EXPECT_FALSE(ApplyCommandLine(invalid, untouched));
    EXPECT_FALSE(untouched.CommandLineRun());
}

TEST_F(CommandLineTest, StartupAppliesOnlyACommandLineThatNamesDrives) {
    CTarvoApp application;
    ASSERT_TRUE(application.InitInstance({"/QUIET", "/LOG:3"}, ThreeDrives));
    EXPECT_FALSE(application.CommandLineRun());
    EXPECT_FALSE(Settings().QuietMode());
    application.ExitInstance();

    CTarvoApp invalid;
    EXPECT_FALSE(invalid.InitInstance({"/LOG:2", "/LOG:3"}, ThreeDrives));
    EXPECT_EQ(invalid.Failure(), StartFailure::InvalidCommandLine);
}

}  // namespace
}  // namespace tarvo::app
