// main.cpp --- TarvoDefrag: start-up, then a command-line run in the terminal.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/Logger.h"
#include "app/OwnCommand.h"
#include "app/Startup.h"
#include "programs/TarvoDefrag/ConsoleFrontEnd.h"
#include "programs/TarvoDefrag/ProgramOptions.h"

using namespace tarvo;
using namespace tarvo::programs;

namespace {

int ExitStatusOf(app::StartFailure failure) {
    return failure == app::StartFailure::InvalidCommandLine ? kExitInvalidCommandLine : kExitDriveFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts, so that only the front-end's watcher takes these signals.
    BlockStopSignals();
    const ProgramOptions options = ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::fputs(HelpText(), stdout);
        return kExitCompleted;
    }
    app::SetProgramArguments(argc, argv);

    CConsoleFrontEnd frontEnd(isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Lines);
    app::SetPresenter(&frontEnd.Presenter());
    app::CTarvoApp application;
    if (!application.InitInstance(options.words)) {
        application.ExitInstance();
        return ExitStatusOf(application.Failure());
    }

    if (!application.CommandLineRun()) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0' || options.console)
            std::fputs("TarvoDefrag: the window needs a display, and none is available"
                       " (DISPLAY is not set, or --console was given).\n",
                       stderr);
        else
            std::fputs("TarvoDefrag: this build of the program has no window yet.\n", stderr);
        std::fputs("To defragment in the terminal, name the drives on the command line, for example\n"
                   "  TarvoDefrag /COMPLETE:C /SORT:NAME\n"
                   "Map a volume to a letter first with: tarvoctl drive map C: IMAGE. See TarvoDefrag --help.\n",
                   stderr);
        application.ExitInstance();
        return kExitNoWindow;
    }

    // In the terminal the logger's messages are lines that never wait for an
    // answer, so they are shown in a command-line run too (QUIET still silences them).
    app::SetDisplay(app::Display::On);
    const int status = frontEnd.Run(application);
    application.ExitInstance();
    app::SetPresenter(nullptr);
    return status;
}
