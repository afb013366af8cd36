// EventlogCommandTest.cpp --- tarvoctl eventlog: the list, filters, JSON and hostile texts.
#include <string>

#include "platform/eventlog/EventLog.h"
#include "platform/eventlog/EventMessageText.h"
#include "platform/registry/Registry.h"
#include "tests/tools/reg/ToolRunner.h"

namespace tarvo::tools {
namespace {

using namespace tarvo::platform;

class EventlogCommandTest : public testing::ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        std::string mc = m_home + "/Messages.mc";
        std::ofstream(mc)
            << "FacilityNames=(Tarvo=0x2)\n"
               "MessageId=0x1D\nSeverity=Error\nFacility=Tarvo\nLanguage=English\n"
               "There is not enough free space on drive %1 left.%nThe defragmentation will be aborted.\n.\n"
               "MessageId=0x2004\nSeverity=Informational\nFacility=Tarvo\nLanguage=English\n"
               "Defragmentation of Drive %1 (%2) has completed.\n.\n";
        HKEY key = nullptr;
        std::string name = std::string(kEventLogApplicationKey) + "\\Tarvo Defrag";
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, name.c_str(), &key), ERROR_SUCCESS);
        std::string value = m_home + "/Messages.dll";
        ASSERT_EQ(RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void Report(WORD type, DWORD id, std::vector<const char*> strings, const char* source = "Tarvo Defrag") {
        HEVENTLOG log = RegisterEventSourceA(nullptr, source);
        ASSERT_NE(log, nullptr);
        ASSERT_TRUE(ReportEventA(log, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                                 strings.data(), nullptr));
        DeregisterEventSource(log);
    }
};

TEST_F(EventlogCommandTest, ListsRecordsNewestLastWithTheirTexts) {
    EXPECT_EQ(Run({"eventlog"}).out, "No events.\n");
    Report(EVENTLOG_ERROR_TYPE, 0xC002001D, {"D:"});
    Report(EVENTLOG_INFORMATION_TYPE, 0x40022004, {"C:", "NTFS"});
    auto list = Run({"eventlog"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    size_t error = list.out.find("Error       Tarvo Defrag  Event ID 29 (0xC002001D)\n");
    size_t info = list.out.find("Information Tarvo Defrag  Event ID 8196 (0x40022004)\n");
    ASSERT_NE(error, std::string::npos) << list.out;
    ASSERT_NE(info, std::string::npos) << list.out;
    EXPECT_LT(error, info);
    EXPECT_NE(list.out.find("       There is not enough free space on drive D: left.\n"
                            "       The defragmentation will be aborted.\n"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("Defragmentation of Drive C: (NTFS) has completed."), std::string::npos);

    auto errors = Run({"eventlog", "--type", "ERROR"});
    EXPECT_EQ(errors.out.find("Information"), std::string::npos);
    auto last = Run({"eventlog", "--last", "1"});
    EXPECT_EQ(last.out.find("Event ID 29 "), std::string::npos);
    EXPECT_NE(last.out.find("Event ID 8196 "), std::string::npos);
    EXPECT_EQ(Run({"eventlog", "--source", "Other"}).out, "No events.\n");
}

TEST_F(EventlogCommandTest, JsonCarriesTheFieldsAndEscapesHostileStrings) {
    Report(EVENTLOG_ERROR_TYPE, 0xC002001D, {"\"%1\"\x1b[2J\\\xff"});
    auto json = Run({"eventlog", "--json"});
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"eventId\": 29, \"fullEventId\": \"0xC002001D\""), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"type\": \"Error\""), std::string::npos);
    EXPECT_NE(json.out.find("\"strings\": [\"\\\"%1\\\"\\u001b[2J\\\\\\ufffd\"]"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"message\": \"There is not enough free space on drive \\\"%1\\\"\\u001b[2J"),
              std::string::npos);
    // The plain list never passes the escape character to the terminal.
    auto list = Run({"eventlog"});
    EXPECT_EQ(list.out.find('\x1b'), std::string::npos);
    EXPECT_NE(list.out.find("drive \"%1\"?[2J"), std::string::npos) << list.out;
}

TEST_F(EventlogCommandTest, BadArgumentsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"eventlog", "--type", "fatal"},
                                          {"eventlog", "--last", "0"},
                                          {"eventlog", "--last", "-3"},
                                          {"eventlog", "--last"},
                                          {"eventlog", "--bogus"}}) {
        auto result = Run(args);
        EXPECT_EQ(result.exitCode, 1) << args.back();
        EXPECT_NE(result.err.find("usage: tarvoctl eventlog"), std::string::npos);
    }
}

}  // namespace
}  // namespace tarvo::tools
