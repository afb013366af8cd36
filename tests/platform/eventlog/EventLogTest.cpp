// EventLogTest.cpp --- writing records, reading them from another process, filters and bad input.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/eventlog/EventLog.h"
#include "platform/eventlog/EventLogReader.h"

namespace tarvo::platform {
namespace {

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-evt-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    std::vector<EventRecord> ReadAll(EventFilter filter = {}) {
        std::vector<EventRecord> records;
        std::string error;
        EXPECT_TRUE(ReadEventLog(filter, records, error)) << error;
        return records;
    }
    std::string m_home;
};

TEST_F(EventLogTest, RecordsWrittenByOneProcessAreReadByAnother) {
    pid_t pid = fork();
    if (pid == 0) {
        HEVENTLOG source = RegisterEventSourceA(nullptr, "Tarvo Defrag");
        const char* strings[] = {"C:", "NTFS"};
        const char* sid = "S-1-22-1-1000";
        BOOL ok = source != nullptr &&
                  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40022001, const_cast<char*>(sid), 2, 0,
                               strings, nullptr) &&
                  ReportEventA(source, EVENTLOG_ERROR_TYPE, 3, 0xC002001D, nullptr, 1, 0, strings, nullptr) &&
                  DeregisterEventSource(source);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto records = ReadAll();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_LT(records[0].recordNumber, records[1].recordNumber);
    EXPECT_EQ(records[0].source, "Tarvo Defrag");
    EXPECT_EQ(records[0].eventId, 0x40022001u);
    EXPECT_EQ(records[0].eventType, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(records[0].userSid, "S-1-22-1-1000");
    EXPECT_EQ(records[0].strings, (std::vector<std::string>{"C:", "NTFS"}));
    EXPECT_GT(records[0].timeGenerated, 0);
    EXPECT_GE(records[0].timeWritten, records[0].timeGenerated);
    EXPECT_EQ(records[1].category, 3);
    EXPECT_EQ(records[1].userSid, "");
    EXPECT_EQ(records[1].strings, (std::vector<std::string>{"C:"}));
}

TEST_F(EventLogTest, FiltersBySourceTypeAndLastN) {
    HEVENTLOG a = RegisterEventSourceA(nullptr, "Alpha");
    HEVENTLOG b = RegisterEventSourceA("", "Beta");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 5; ++i) {
        std::string n = std::to_string(i);
        const char* strings[] = {n.c_str()};
        ASSERT_TRUE(ReportEventA(i % 2 ? a : b, i < 3 ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE, 0, 1,
                                 nullptr, 1, 0, strings, nullptr));
    }
    EXPECT_EQ(ReadAll({"alpha", {}, 0}).size(), 2u);
    EXPECT_EQ(ReadAll({"", EVENTLOG_ERROR_TYPE, 0}).size(), 2u);
    auto lastTwo = ReadAll({"", {}, 2});
    ASSERT_EQ(lastTwo.size(), 2u);
    EXPECT_EQ(lastTwo[0].strings[0], "3");  // newest last
    EXPECT_EQ(lastTwo[1].strings[0], "4");
    auto betaWarnings = ReadAll({"Beta", EVENTLOG_WARNING_TYPE, 0});
    ASSERT_EQ(betaWarnings.size(), 2u);
    EXPECT_EQ(betaWarnings[1].strings[0], "2");
    DeregisterEventSource(a);
    DeregisterEventSource(b);
}

TEST_F(EventLogTest, RefusesBadSourcesAndHandles) {
    EXPECT_EQ(RegisterEventSourceA("\\\\faraway-host-that-is-not-us", "Tarvo Defrag"), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(RegisterEventSourceA(nullptr, ""), nullptr);
    EXPECT_EQ(RegisterEventSourceA(nullptr, "Bad\\Source"), nullptr);
    HEVENTLOG source = RegisterEventSourceA(nullptr, "Tarvo Defrag");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const char* withNull[] = {"a", nullptr};
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, withNull, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    auto records = ReadAll();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].strings, (std::vector<std::string>{"a", ""}));
}

TEST_F(EventLogTest, DamagedLogFileIsReportedNotFatal) {
    EXPECT_TRUE(ReadAll().empty());  // no file yet reads as empty
    {
        std::ofstream damaged(m_home + "/eventlog.db", std::ios::binary);
        damaged << std::string(2048, '\x01');
    }
    HEVENTLOG source = RegisterEventSourceA(nullptr, "Tarvo Defrag");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_BADDB);
    std::vector<EventRecord> records;
    std::string error;
    EXPECT_FALSE(ReadEventLog({}, records, error));
    EXPECT_NE(error.find("event log"), std::string::npos);
    DeregisterEventSource(source);
}

}  // namespace
}  // namespace tarvo::platform
