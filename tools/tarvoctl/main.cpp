// main.cpp --- tarvoctl: dispatches to the registered subcommands.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
}  // namespace

CommandRegistration::CommandRegistration(Command command) { Registry().push_back(std::move(command)); }

const std::vector<Command>& Commands() { return Registry(); }

namespace {
void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: tarvoctl COMMAND [ARGS...]\n\nCommands:\n");
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const auto& c : commands) {
        std::fprintf(out, "  %-58s %s\n", c.usage.c_str(), c.summary.c_str());
    }
    std::fprintf(out, "\nData folder: $TARVO_HOME (default ~/.local/share/tarvo).\n");
}

const Command* Find(const std::string& name) {
    for (const auto& c : Registry()) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}
}  // namespace

}  // namespace tarvo::tools

int main(int argc, char** argv) {
    using namespace tarvo::tools;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    Arguments words(argv + 1, argv + argc);
    const Command* command = nullptr;
    size_t used = 0;
    if (words.size() >= 2) {
        command = Find(words[0] + " " + words[1]);
        used = 2;
    }
    if (command == nullptr) {
        command = Find(words[0]);
        used = 1;
    }
    if (command == nullptr) {
        std::fprintf(stderr, "tarvoctl: unknown command '%s'. Try 'tarvoctl --help'.\n", words[0].c_str());
        return 1;
    }
    Arguments rest(words.begin() + static_cast<long>(used), words.end());
    try {
        return command->run(rest);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvoctl %s: %s\n", command->name.c_str(), e.what());
        return 1;
    }
}
