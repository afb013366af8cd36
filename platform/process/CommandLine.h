// CommandLine.h --- splitting Windows command lines the way the system's runtime does.
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

// Splits a whole command line into words with the rules of CommandLineToArgvW:
// the first word ends at the first blank outside quotes and takes no escapes;
// later words honour 2n backslashes + quote (n backslashes, quote toggles),
// 2n+1 backslashes + quote (n backslashes and a literal quote) and "" inside
// quotes (a literal quote). An empty line gives no words.
std::vector<std::string> CommandLineToArgv(const std::string& commandLine);

// Splits only the arguments after the program name (the second rule set above).
std::vector<std::string> SplitArguments(const std::string& arguments);

// Quotes one argument so that SplitArguments gives it back unchanged.
std::string QuoteArgument(const std::string& argument);

}  // namespace tarvo::platform
