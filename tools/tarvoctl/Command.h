// Command.h --- how a tarvoctl subcommand registers itself.
#pragma once

#include <string>
#include <vector>

namespace tarvo::tools {

using Arguments = std::vector<std::string>;

// A subcommand: `name` is one or two words ("reg", "vol report"); run gets the
// words after the name and answers the process exit status.
struct Command {
    std::string name;
    std::string usage;    // one line: "vol report D:|FILE [--json] [--files]"
    std::string summary;  // what it does, one sentence
    int (*run)(const Arguments& args);
};

// Registers at static-initialisation time: `static CommandRegistration r{{...}};`
struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

const std::vector<Command>& Commands();

}  // namespace tarvo::tools
