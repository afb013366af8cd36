// MessageFileTest.cpp --- message-compiler source parsing, identifiers and insert expansion.
#include <gtest/gtest.h>

#include "platform/eventlog/MessageFile.h"

namespace tarvo::platform {
namespace {

constexpr const char* kSource = R"mc(; // Tarvo messages
MessageIdTypedef=DWORD
SeverityNames=(Success=0x0:STATUS_SEVERITY_SUCCESS
               Informational=0x1:STATUS_SEVERITY_INFORMATIONAL
               Warning = 0x2 : STATUS_SEVERITY_WARNING
               Error=0x3:STATUS_SEVERITY_ERROR)
FacilityNames=(System=0x0:FACILITY_SYSTEM Tarvo=0x2:FACILITY_TARVO)
LanguageNames=(English=0x409:MSG00409)

MessageId=0x2
Severity=Error
Facility=Tarvo
SymbolicName=MSG_ERR_NOT_ADMIN
Language=English
User '%1' is not allowed
to run this program.
.
MessageId=
SymbolicName=MSG_ERR_NEXT
Language=English
Next; not a comment.
.
MessageId=0x2004 Severity=Informational Facility=Tarvo SymbolicName=MSG_DONE
Language=English
Drive %1 (%2) done.%0
.
)mc";

TEST(MessageFileTest, BuildsIdentifiersFromSeverityFacilityAndCode) {
    MessageFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(kSource, error)) << error;
    ASSERT_EQ(file.Entries().size(), 3u);
    const MessageEntry* notAdmin = file.Find(0xC0020002);
    ASSERT_NE(notAdmin, nullptr);
    EXPECT_EQ(notAdmin->symbolicName, "MSG_ERR_NOT_ADMIN");
    EXPECT_EQ(notAdmin->Text(), "User '%1' is not allowed\nto run this program.\n");
    // An empty MessageId follows the previous one of its facility, keeping severity and facility.
    const MessageEntry* next = file.Find(0xC0020003);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->Text(), "Next; not a comment.\n");
    ASSERT_NE(file.Find(0x40022004), nullptr);
}

TEST(MessageFileTest, DefaultsApplyWithoutHeader) {
    MessageFile file;
    std::string error;
    ASSERT_TRUE(
        file.Parse("MessageId=5\nLanguage=English\nHi\n.\nMessageId=+2\nSeverity=Warning\n"
                   "Facility=System\nLanguage=English\nThere\n.\n",
                   error))
        << error;
    EXPECT_NE(file.Find(0x0FFF0005), nullptr);  // Success, Application
    EXPECT_NE(file.Find(0x80FF0002), nullptr) << "+2 on a facility not used before";
}

TEST(MessageFileTest, MalformedSourcesAreRejectedWithTheLine) {
    struct Case {
        const char* source;
        const char* reason;
    };
    const Case cases[] = {
        {"MessageId=1\nLanguage=English\nno terminator\n", "not ended"},
        {"MessageId=1\nSeverity=Fatal\nLanguage=English\nx\n.\n", "unknown severity"},
        {"MessageId=0x10000\nLanguage=English\nx\n.\n", "16 bits"},
        {"MessageId=1\nLanguage=Klingon\nx\n.\n", "unknown language"},
        {"SeverityNames=(Huge=0x4)\n", "two bits"},
        {"FacilityNames=(Big=0x1000)\n", "twelve bits"},
        {"MessageId=1\nLanguage=English\nx\n.\nMessageId=1\nLanguage=English\ny\n.\n", "defined twice"},
        {"Severity=Error\n", "outside a message"},
        {"MessageId=1\nSymbolicName=X\n", "no Language text"},
        {"FacilityNames=(A=1\n", "missing ')'"},
        {"Bogus\n", "expected '='"},
    };
    for (const auto& c : cases) {
        MessageFile file;
        std::string error;
        EXPECT_FALSE(file.Parse(c.source, error)) << c.source;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
        EXPECT_TRUE(file.Entries().empty());
    }
}

TEST(MessageFileTest, InsertsAreFilledAndEscapesExpanded) {
    const std::vector<std::string> strings = {"C:", "NTFS"};
    EXPECT_EQ(FormatMessageText("Drive %1 (%2) %3done", strings), "Drive C: (NTFS) done");
    EXPECT_EQ(FormatMessageText("a%nb%tc%rd%%e%.%!% f", {}), "a\nb\tc\rd%e.! f");
    EXPECT_EQ(FormatMessageText("%1!s! and %2!d!", strings), "C: and NTFS");
    EXPECT_EQ(FormatMessageText("stop%0 here", {}), "stop");
    EXPECT_EQ(FormatMessageText("%12", std::vector<std::string>(12, "x")), "x");
    EXPECT_EQ(FormatMessageText("100%", {}), "100%");
    EXPECT_EQ(FormatMessageText("%q", {}), "%q");
}

TEST(MessageFileTest, HostileInsertionStringsStayLiteral) {
    const std::vector<std::string> strings = {"%s%s%n%1%%", "%2%0", "%999!s!"};
    EXPECT_EQ(FormatMessageText("File '%1' / '%2' / '%3'.", strings),
              "File '%s%s%n%1%%' / '%2%0' / '%999!s!'.");
}

}  // namespace
}  // namespace tarvo::platform
