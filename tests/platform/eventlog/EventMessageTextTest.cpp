// EventMessageTextTest.cpp --- finding a source's message file through the registry and formatting records.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/eventlog/EventMessageText.h"
#include "platform/registry/Registry.h"

namespace tarvo::platform {
namespace {

class EventMessageTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-msg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
        std::ofstream(m_home + "/Messages.mc")
            << "FacilityNames=(Tarvo=0x2)\nMessageId=0x1D\nSeverity=Error\n"
               "Facility=Tarvo\nLanguage=English\n"
               "There is not enough free space on drive %1 left.\n.\n";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    void Register(const std::string& source, const std::string& path, DWORD type = REG_EXPAND_SZ) {
        HKEY key = nullptr;
        std::string name = std::string(kEventLogApplicationKey) + "\\" + source;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, name.c_str(), &key), ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key, "EventMessageFile", 0, type, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1)),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::string m_home;
};

TEST_F(EventMessageTextTest, RegisteredDllPathWithBackslashesResolvesToTheMcFile) {
    std::string windowsStyle = m_home;
    for (char& c : windowsStyle) {
        c = c == '/' ? '\\' : c;
    }
    Register("Tarvo Defrag", windowsStyle + "\\Messages.dll");
    EXPECT_EQ(FindMessageFile("tarvo defrag"), m_home + "/Messages.mc");

    EventRecord record;
    record.source = "Tarvo Defrag";
    record.eventId = 0xC002001D;
    record.strings = {"D:"};
    EXPECT_EQ(FormatEventRecord(record), "There is not enough free space on drive D: left.\n");
}

TEST_F(EventMessageTextTest, EnvironmentReferencesInTheRegisteredPathAreExpanded) {
    setenv("TARVO_TEST_MSGDIR", m_home.c_str(), 1);
    Register("Expanded", "%TARVO_TEST_MSGDIR%/Messages.mc");
    EXPECT_EQ(FindMessageFile("Expanded"), m_home + "/Messages.mc");
    Register("Plain", "%TARVO_TEST_MSGDIR%/Messages.mc", REG_SZ);
    EXPECT_NE(FindMessageFile("Plain"), m_home + "/Messages.mc");
}

TEST_F(EventMessageTextTest, WithoutATextTheIdentifierAndStringsAreShown) {
    Register("Tarvo Defrag", m_home + "/Messages.mc");
    EventRecord record;
    record.source = "Tarvo Defrag";
    record.eventId = 0x40024001;
    record.strings = {"Create Pair Map with 0 Entries.", "%1"};
    std::string text = FormatEventRecord(record);
    EXPECT_NE(text.find("16385"), std::string::npos) << text;
    EXPECT_NE(text.find("0x40024001"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Create Pair Map with 0 Entries.\" \"%1\""), std::string::npos) << text;

    record.source = "Unregistered";
    EXPECT_NE(FormatEventRecord(record).find("0x40024001"), std::string::npos);
}

TEST_F(EventMessageTextTest, DamagedMessageFileFallsBackToTheIdentifier) {
    std::ofstream(m_home + "/Broken.mc") << "MessageId=1\nLanguage=English\nunterminated\n";
    Register("Broken", m_home + "/Broken.mc");
    EventRecord record;
    record.source = "Broken";
    record.eventId = 0x0FFF0001;
    EXPECT_NE(FormatEventRecord(record).find("0x0FFF0001"), std::string::npos);
}

}  // namespace
}  // namespace tarvo::platform
