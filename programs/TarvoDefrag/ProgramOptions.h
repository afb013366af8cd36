// ProgramOptions.h --- the program's own words (--help, --console), taken out before the grammar sees the rest.
#pragma once

#include <string>
#include <vector>

namespace tarvo::programs {

struct ProgramOptions {
    bool help = false;
    bool console = false;
    std::vector<std::string> words;  // everything else, for the command-line grammar
};

// Splits the words after the program name.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// The text of --help: the grammar, the program's own options and the exit statuses.
const char* HelpText();

}  // namespace tarvo::programs
