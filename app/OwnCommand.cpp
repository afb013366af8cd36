// OwnCommand.cpp --- the process command line in the system's form, and the program's own command.
#include "app/OwnCommand.h"

#include <unistd.h>

#include <mutex>

#include "platform/process/CommandLine.h"

namespace tarvo::app {
namespace {

std::mutex g_lock;
std::vector<std::string> g_arguments;

std::string ExecutablePath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string("TarvoDefrag");
}

}  // namespace

void SetProgramArguments(int argc, const char* const* argv) {
    std::lock_guard guard(g_lock);
    g_arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string GetCommandLineA() {
    std::string program = ExecutablePath();
    if (program.size() < 4 || program.compare(program.size() - 4, 4, ".exe") != 0) program += ".exe";
    std::string line = "\"" + program + "\"";
    std::lock_guard guard(g_lock);
    for (const std::string& word : g_arguments) line += " " + platform::QuoteArgument(word);
    return line;
}

std::string OwnCommandOf(const std::string& commandLine) {
    return commandLine.substr(0, commandLine.find(".exe")) + ".exe\"";
}

std::string OwnCommand() {
    return OwnCommandOf(GetCommandLineA());
}

}  // namespace tarvo::app
