// LoggerTest.cpp --- Report's routes: event-log levels, boxes, ask rows, buffering, status report, message
// log.
#include <string>
#include <thread>
#include <vector>

#include "app/Logger.h"
#include "app/MessageIds.h"
#include "app/Settings.h"
#include "platform/eventlog/EventLog.h"
#include "platform/eventlog/EventLogReader.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/logger/RecordingPresenter.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;

class LoggerTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetPresenter(&m_presenter);
        ASSERT_TRUE(RegisterSource(const_cast<char*>("S-1-5-21-1000"), nullptr));
        SetDisplay(Display::On);
        ClearLog();
    }
    void TearDown() override {
        ClearLog();
        DeregisterSource();
        SetPresenter(nullptr);
        TempHomeTest::TearDown();
    }

    std::vector<EventRecord> Events() {
        std::vector<EventRecord> records;
        std::string error;
        EXPECT_TRUE(ReadEventLog(EventFilter{}, records, error)) << error;
        return records;
    }

    // One report of each range: error, warning, run result, program event, both diagnostics.
    void ReportOneOfEachRange() {
        Report(MSG_ERR_CLUSTER_TOO_LARGE, "C:\\");
        Report(MSG_WAR_EXTENTS_UNREADABLE, "C:\\PAGEFILE.SYS");
        Report(MSG_INF_SPACE_STARTED, "C:\\", "NTFS");
        Report(MSG_INF_PROGRAM_START, "Tarvo Defrag");
        Report(MSG_DIAG_INFO, "Create Pair Map with 0 Entries.");
        Report(MSG_DIAG_ERROR, "5000");
    }

    testing::RecordingPresenter m_presenter;
};

TEST_F(LoggerTest, EventLogDetailFollowsTheLogLevel) {
    struct Case {
        int level;
        std::vector<DWORD> ids;
    };
    const Case cases[] = {
        {0, {MSG_ERR_CLUSTER_TOO_LARGE}},
        {1, {MSG_ERR_CLUSTER_TOO_LARGE}},
        {2, {MSG_ERR_CLUSTER_TOO_LARGE, MSG_WAR_EXTENTS_UNREADABLE}},
        {3, {MSG_ERR_CLUSTER_TOO_LARGE, MSG_WAR_EXTENTS_UNREADABLE, MSG_INF_SPACE_STARTED}},
        {4,
         {MSG_ERR_CLUSTER_TOO_LARGE, MSG_WAR_EXTENTS_UNREADABLE, MSG_INF_SPACE_STARTED,
          MSG_INF_PROGRAM_START}},
    };
    SetDisplay(Display::Off);
    size_t seen = 0;
    for (const Case& c : cases) {
        Settings().SetLogging(1, c.level);
        ReportOneOfEachRange();
        std::vector<EventRecord> events = Events();
        ASSERT_EQ(events.size(), seen + c.ids.size()) << "level " << c.level;
        for (size_t i = 0; i < c.ids.size(); ++i) EXPECT_EQ(events[seen + i].eventId, c.ids[i]);
        seen = events.size();
    }
    // Level 4's records carry the event types of their ranges, the source, the SID and the strings.
    std::vector<EventRecord> events = Events();
    const EventRecord* last = &events[events.size() - 4];
    EXPECT_EQ(last[0].eventType, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(last[1].eventType, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(last[2].eventType, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(last[3].eventType, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(last[2].source, "Tarvo Defrag");
    EXPECT_EQ(last[2].userSid, "S-1-5-21-1000");
    EXPECT_EQ(last[2].strings, (std::vector<std::string>{"C:\\", "NTFS"}));
    EXPECT_EQ(m_presenter.Shown(), 0u);
}

TEST_F(LoggerTest, LoggingDisabledWritesNothingButBoxesStillAppear) {
    Settings().SetLogging(0, 4);
    EXPECT_EQ(Report(MSG_ERR_CLUSTER_TOO_LARGE, "D:\\"), IDOK);
    EXPECT_TRUE(Events().empty());
    ASSERT_EQ(m_presenter.boxes.size(), 1u);
    EXPECT_EQ(m_presenter.boxes[0].style, MB_ICONHAND);
    EXPECT_EQ(
        m_presenter.boxes[0].text,
        "The clustersize of drive D:\\ is too large (> 4.096 bytes). The drive cannot be defragmented.");
}

TEST_F(LoggerTest, WithoutSourceNothingReachesTheEventLog) {
    DeregisterSource();
    Settings().SetLogging(1, 4);
    Report(MSG_ERR_CLUSTER_TOO_LARGE, "C:\\");
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(m_presenter.boxes.size(), 1u);
}

TEST_F(LoggerTest, UnknownIdentifierAnswersMinusOneAndShowsNothing) {
    EXPECT_EQ(Report(0xC0020003), -1);
    EXPECT_EQ(Report(0x12345678, "x"), -1);
    EXPECT_EQ(m_presenter.Shown(), 0u);
}

TEST_F(LoggerTest, DisplayOffQuietModeAndEventOnlyRowsShowNothing) {
    SetDisplay(Display::Off);
    EXPECT_EQ(Report(MSG_ERR_CLUSTER_TOO_LARGE, "C:\\"), 0);
    EXPECT_EQ(Report(0x12345678), 0);  // display off answers before the table is asked
    SetDisplay(Display::On);
    Settings().SetQuietMode(1);
    EXPECT_EQ(Report(MSG_ERR_CLUSTER_TOO_LARGE, "C:\\"), 0);
    Settings().SetQuietMode(0);
    EXPECT_EQ(Report(MSG_INF_PROGRAM_START, "Tarvo Defrag"), 0);
    EXPECT_EQ(Report(MSG_DIAG_ERROR, "1113"), 0);
    EXPECT_EQ(m_presenter.Shown(), 0u);
    // The event log still received the error both times.
    EXPECT_EQ(Events().size(), 2u);
}

TEST_F(LoggerTest, CheckedAskRowStaysSilentForTheRestOfTheProcess) {
    m_presenter.checkAsks.insert(MSG_WAR_FILE_NO_SPACE);
    EXPECT_EQ(Report(MSG_WAR_FILE_NO_SPACE, "C:\\BIG.DAT"), IDOK);
    ASSERT_EQ(m_presenter.asks.size(), 1u);
    EXPECT_EQ(m_presenter.asks[0].checkText, "Do not display this message again during this session.");
    EXPECT_EQ(m_presenter.asks[0].text,
              "The file 'C:\\BIG.DAT' could not be defragmented due to lack of free space.");
    EXPECT_EQ(Report(MSG_WAR_FILE_NO_SPACE, "C:\\OTHER.DAT"), 0);
    EXPECT_EQ(m_presenter.asks.size(), 1u);
    // Another ask row, not checked, keeps asking.
    EXPECT_EQ(Report(MSG_WAR_FILE_GIVEN_UP, "C:\\A"), IDOK);
    EXPECT_EQ(Report(MSG_WAR_FILE_GIVEN_UP, "C:\\B"), IDOK);
    EXPECT_EQ(m_presenter.asks.size(), 3u);
}

TEST_F(LoggerTest, BufferingSendsWarningsToTheLogAndTheCompletionToTheStatusReport) {
    BeginRunMessages('C');
    EXPECT_FALSE(HasLoggedMessages());
    EXPECT_EQ(Report(MSG_WAR_FILE_GIVEN_UP, "C:\\A.TXT"), MB_ICONEXCLAMATION);
    EXPECT_EQ(Report(MSG_WAR_FILE_IN_USE, "C:\\B.TXT"), MB_ICONEXCLAMATION);  // style 64, logged as 48
    EXPECT_EQ(Report(MSG_WAR_COMPLETED_WITH_REMAINDER, "C:", "FAT"), MB_ICONEXCLAMATION);
    EXPECT_EQ(m_presenter.Shown(), 0u);
    EXPECT_EQ(Report(MSG_INF_SPACE_COMPLETED, "C:", "FAT", "200", "10", "3"), 0);
    ASSERT_EQ(m_presenter.reports.size(), 1u);
    const StatusReportRequest& report = m_presenter.reports[0];
    EXPECT_EQ(report.text, "The SPACE-defragmentation has completed for drive C: (Filesystem FAT).");
    EXPECT_EQ(report.drive, "C:");
    EXPECT_EQ(report.fileSystem, "FAT");
    EXPECT_EQ(report.totalFiles, "200");
    EXPECT_EQ(report.fragmentedBefore, "10");
    EXPECT_EQ(report.fragmentedNow, "3");
    EXPECT_TRUE(m_presenter.boxes.empty());
    EXPECT_TRUE(m_presenter.asks.empty());

    ASSERT_TRUE(HasLoggedMessages());
    std::vector<MessageLogRecord> log = MessageLogRecords();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].text, "The SPACE-defragmentation has completed for drive C: (Filesystem FAT).");
    EXPECT_EQ(
        log[1].text,
        "The defragmentation process for drive C: (FAT) has completed successfully.  The remaining "
        "fragmented files might be system files or they cannot be defragmentated due to lack of free space.");
    EXPECT_EQ(log[1].style, MB_ICONEXCLAMATION);
    EXPECT_EQ(log[2].style, MB_ICONINFORMATION);
    EXPECT_EQ(log[3].text, "The file 'C:\\A.TXT' could not be defragmented.");
    for (const MessageLogRecord& record : log) EXPECT_EQ(record.drive, 'C');
    EXPECT_GT(log[3].time, 0);

    // Cleared, the log is gone and boxes come back.
    ClearLog();
    EXPECT_FALSE(HasLoggedMessages());
    EXPECT_EQ(Report(MSG_WAR_DEFRAG_ABORTED), IDOK);
    EXPECT_EQ(m_presenter.boxes.size(), 1u);
}

TEST_F(LoggerTest, WithoutBufferingEveryMessageShowsItsBox) {
    ASSERT_TRUE(WriteBufferMessages(0));
    Settings().Load();
    BeginRunMessages('D');
    EXPECT_EQ(Report(MSG_WAR_DEFRAG_ABORTED), IDOK);
    EXPECT_EQ(Report(MSG_INF_COMPLETE_COMPLETED, "D:", "NTFS", "0", "0", "0"), IDOK);
    EXPECT_EQ(m_presenter.boxes.size(), 1u);
    EXPECT_EQ(m_presenter.reports.size(), 1u);
    EXPECT_FALSE(HasLoggedMessages());
}

TEST_F(LoggerTest, AllDrivesModeWithoutLogShowsNoBox) {
    Settings().SetAllDrives(1, Persist::No);
    EXPECT_EQ(Report(MSG_ERR_WRITE_PROTECTED, "E:\\"), 0);
    EXPECT_EQ(Report(MSG_INF_SPACE_COMPLETED, "E:", "FAT", "1", "1", "1"), 0);
    EXPECT_EQ(m_presenter.Shown(), 0u);
    // With a log the completion still opens the status report.
    BeginRunMessages('E');
    Report(MSG_INF_SPACE_COMPLETED, "E:", "FAT", "1", "1", "1");
    EXPECT_EQ(m_presenter.reports.size(), 1u);
    Settings().SetAllDrives(0, Persist::No);
}

TEST_F(LoggerTest, InsertionStringsAreShownLiterally) {
    Settings().SetLogging(1, 4);
    const char* hostile = "C:\\%s%n%x%1%%%d.TXT";
    EXPECT_EQ(Report(MSG_WAR_FILE_GIVEN_UP, hostile), IDOK);
    EXPECT_EQ(Report(MSG_WAR_DESTINATION_OCCUPIED, "%1%2"), IDOK);
    // Missing insertion strings give empty text.
    EXPECT_EQ(Report(MSG_ERR_BAD_LOG_OPTION), IDOK);
    ASSERT_EQ(m_presenter.asks.size(), 2u);
    EXPECT_EQ(m_presenter.asks[0].text, "The file 'C:\\%s%n%x%1%%%d.TXT' could not be defragmented.");
    EXPECT_EQ(m_presenter.asks[1].text,
              "File '%1%2' could not be moved its optimal destination which possibly was occupied by another "
              "file concurrent to the defragmentation process.\n");
    ASSERT_EQ(m_presenter.boxes.size(), 1u);
    EXPECT_EQ(m_presenter.boxes[0].text, "Unkown logging option passed by command line: \nUSAGE: ");
    std::vector<EventRecord> events = Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].strings, std::vector<std::string>{hostile});
    EXPECT_TRUE(events[2].strings.empty());
}

TEST_F(LoggerTest, InsertionStringsCountUpToTheFirstAbsentOne) {
    Settings().SetLogging(1, 4);
    Report(MSG_INF_SPACE_STARTED, "C:\\", nullptr, "ignored");
    std::vector<EventRecord> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].strings, std::vector<std::string>{"C:\\"});
}

TEST_F(LoggerTest, ShowLogOpensTheDialogOnlyWithRecordsAndOnlyOnce) {
    ShowLog();
    EXPECT_TRUE(m_presenter.logDialogs.empty());
    BeginRunMessages('C');
    Report(MSG_WAR_DEFRAG_TERMINATED);
    // A second ShowLog while the dialog is open does nothing.
    m_presenter.whileLogShown = [] { ShowLog(); };
    ShowLog();
    ASSERT_EQ(m_presenter.logDialogs.size(), 1u);
    ASSERT_EQ(m_presenter.logDialogs[0].size(), 1u);
    EXPECT_EQ(m_presenter.logDialogs[0][0].text, "Defragmentation terminated.");
    m_presenter.whileLogShown = nullptr;
    ShowLog();
    EXPECT_EQ(m_presenter.logDialogs.size(), 2u);
}

TEST_F(LoggerTest, ReportsFromManyThreadsAreAllKept) {
    Settings().SetLogging(1, 4);
    BeginRunMessages('C');
    constexpr int kThreads = 4;
    constexpr int kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < kEach; ++i) Report(MSG_WAR_FILE_GIVEN_UP, "C:\\F");
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(MessageLogRecords().size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(Events().size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace tarvo::app
