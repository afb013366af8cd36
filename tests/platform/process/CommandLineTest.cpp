// CommandLineTest.cpp --- Windows command-line splitting.
#include "platform/process/CommandLine.h"

#include <gtest/gtest.h>

using tarvo::platform::CommandLineToArgv;
using tarvo::platform::QuoteArgument;
using tarvo::platform::SplitArguments;
using Words = std::vector<std::string>;

TEST(CommandLine, SplitsJobCommandsAtBlanks) {
    EXPECT_EQ(CommandLineToArgv("C:\\TOOLS\\TARVODEFRAG /COMPLETE:D /SORT:NAME /LOG:2"),
              (Words{"C:\\TOOLS\\TARVODEFRAG", "/COMPLETE:D", "/SORT:NAME", "/LOG:2"}));
    EXPECT_EQ(CommandLineToArgv("   "), Words{});
}

TEST(CommandLine, ProgramNameKeepsBackslashesBeforeQuotes) {
    EXPECT_EQ(CommandLineToArgv("\"C:\\Program Files\\X\\\" a"), (Words{"C:\\Program Files\\X\\", "a"}));
}

TEST(CommandLine, ArgumentsFollowTheBackslashAndQuoteRules) {
    EXPECT_EQ(SplitArguments(R"("a b" c)"), (Words{"a b", "c"}));
    EXPECT_EQ(SplitArguments(R"(a\\\"b)"), (Words{R"(a\"b)"}));
    EXPECT_EQ(SplitArguments(R"(a\\\\"b c" d)"), (Words{R"(a\\b c)", "d"}));
    EXPECT_EQ(SplitArguments(R"(a\\b)"), (Words{R"(a\\b)"}));
    EXPECT_EQ(SplitArguments(R"("say ""hi""")"), (Words{R"(say "hi")"}));
    EXPECT_EQ(SplitArguments(R"("")"), (Words{""}));
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    for (std::string s : {"plain", "two words", "", "end\\", "q\"uote", "tail\\\\", "\\\"mixed\\ \"x"}) {
        EXPECT_EQ(SplitArguments(QuoteArgument(s)), Words{s}) << s;
    }
}
