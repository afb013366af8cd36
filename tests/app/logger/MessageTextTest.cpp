// MessageTextTest.cpp --- message texts: placeholders, the string table, the message file and its
// registration.
#include <fstream>
#include <sstream>

#include "app/Logger.h"
#include "app/MessageFormat.h"
#include "app/MessageTable.h"
#include "app/RegistryValues.h"
#include "app/StringTable.h"
#include "platform/eventlog/MessageFile.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;
using testing::QueryRaw;
using RegistrationTest = testing::TempHomeTest;

TEST(MessageFormatTest, PlaceholdersTakeInsertionStringsLiterally) {
    EXPECT_EQ(FormatMessageText("drive %s (%s)", {"C:", "NTFS"}), "drive C: (NTFS)");
    EXPECT_EQ(FormatMessageText("%d items", {"12"}), "12 items");
    EXPECT_EQ(FormatMessageText("File '%1' and '%1'", {"A"}), "File 'A' and 'A'");
    EXPECT_EQ(FormatMessageText("%2-%1", {"a", "b"}), "b-a");
    EXPECT_EQ(FormatMessageText("100%% done", {}), "100% done");
    // Missing strings give empty text; unknown sequences and a trailing "%" stay.
    EXPECT_EQ(FormatMessageText("a%sb%sc%3d", {"1"}), "a1bcd");
    EXPECT_EQ(FormatMessageText("%x %", {}), "%x %");
    // A string holding placeholders is copied, never expanded.
    EXPECT_EQ(FormatMessageText("'%s' %s", {"%s%n%1", "second"}), "'%s%n%1' second");
}

TEST(StringTableTest, AnswersTheTextsByNumber) {
    EXPECT_EQ(LoadString(IDS_ROOT_SUFFIX), ":\\");
    EXPECT_EQ(LoadString(IDS_PROGRAM_NAME), "Tarvo Defrag");
    EXPECT_EQ(LoadString(IDS_ELLIPSIS), "...");
    EXPECT_EQ(LoadString(IDS_READY), "Ready");
    EXPECT_EQ(LoadString(IDS_ANALYZING_DRIVE), "Analyzing drive");
    EXPECT_EQ(LoadString(IDS_IDLE), "Idle    ");
    EXPECT_EQ(LoadString(IDS_APP_TITLE), "Tarvo Defrag");
    EXPECT_EQ(LoadString(IDS_MESSAGE_FILE_NAME), "Messages.dll");
    EXPECT_EQ(LoadString(IDS_SCHED_ADD_JOB, StringModule::Scheduler), "Add a job to the schedule.");
    EXPECT_EQ(LoadString(IDS_REGISTRY_KEY, StringModule::Scheduler), "Tarvo");
    EXPECT_FALSE(HasString(4711));
    EXPECT_EQ(LoadString(4711), "");
    // The single-instance guard's name is the first field of its string.
    std::string guard = LoadString(IDS_SINGLE_INSTANCE);
    EXPECT_FALSE(guard.substr(0, guard.find('\n')).empty());

    char small[6];
    EXPECT_EQ(LoadStringA(IDS_APP_TITLE, small, sizeof small), 5);
    EXPECT_STREQ(small, "Tarvo");
    EXPECT_EQ(LoadStringA(4711, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(LoadStringA(IDS_APP_TITLE, nullptr, 10), 0);
}

TEST(MessageTableTest, EveryRowHasItsTextsAndEveryIdentifierItsEventText) {
    std::ifstream in(TARVO_BINARY_DIR "/bin/Messages.mc");
    ASSERT_TRUE(in) << "the build copies Messages.mc beside the programs";
    std::stringstream source;
    source << in.rdbuf();
    MessageFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(source.str(), error)) << error;
    for (const MessageRow& row : MessageRows()) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(MessageFacility(row.id), 2u);
        EXPECT_NE(file.Find(row.id), nullptr);
        if (row.textId != 0) {
            EXPECT_TRUE(HasString(row.textId));
        }
        if (row.ask) {
            EXPECT_EQ(LoadString(row.checkTextId), "Do not display this message again during this session.");
        }
    }
    EXPECT_EQ(file.Entries().size(), MessageRows().size());
    const MessageEntry* analysis = file.Find(MSG_INF_ANALYSIS);
    ASSERT_NE(analysis, nullptr);
    EXPECT_NE(platform::FormatMessageText(analysis->Text(), {"C:\\", "NTFS"}).find("C:\\ (NTFS)"),
              std::string::npos);
}

TEST_F(RegistrationTest, MessageFileIsRegisteredBesideTheApplicationPath) {
    const char* appPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TarvoDefrag.exe";
    const char* sourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tarvo Defrag";
    struct Case {
        std::string path;
        std::string expected;
    };
    for (const Case& c : {Case{"C:\\TARVO", "C:\\TARVO\\Messages.dll"},
                          Case{"C:\\TARVO\\", "C:\\TARVO\\Messages.dll"}, Case{"", ""}}) {
        ASSERT_TRUE(WriteString(HKEY_LOCAL_MACHINE, appPath, "Path", c.path));
        RegisterMessageFile();
        DWORD type = 0;
        std::string value = QueryRaw(HKEY_LOCAL_MACHINE, sourceKey, "EventMessageFile", &type);
        EXPECT_EQ(type, REG_EXPAND_SZ);
        EXPECT_EQ(value, c.expected + std::string(1, '\0'));
        std::string types = QueryRaw(HKEY_LOCAL_MACHINE, sourceKey, "TypesSupported", &type);
        EXPECT_EQ(type, REG_DWORD);
        EXPECT_EQ(types, std::string("\x07\0\0\0", 4));
    }
}

}  // namespace
}  // namespace tarvo::app
