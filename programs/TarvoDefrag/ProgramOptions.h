// ProgramOptions.h --- the program's own words (--help, --console, --map-png), taken out before the grammar sees the rest.
#pragma once

#include <string>
#include <vector>

namespace tarvo::programs {

struct ProgramOptions {
    bool help = false;
    bool console = false;
    bool show = false;        // --show: a command-line run shows its window instead of hiding it
    std::string screenshot;   // --screenshot FILE: a picture of the shown window during the run
    std::string mapPng;   // --map-png FILE: write the drive's map picture instead of running
    std::string mapSize;  // --size WxH (with --map-png)
    std::string error;    // why the program's own options are wrong; empty when they are fine
    std::vector<std::string> words;  // everything else, for the command-line grammar
};

// Splits the words after the program name.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// The text of --help: the grammar, the program's own options and the exit statuses.
const char* HelpText();

}  // namespace tarvo::programs
