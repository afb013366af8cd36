// main.cpp --- TarvoDefrag: start-up, then the window with a display, a command-line run in the
// terminal without one, or the map picture of a drive.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/Logger.h"
#include "app/OwnCommand.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "platform/registry/Registry.h"
#include "programs/TarvoDefrag/ConsoleFrontEnd.h"
#include "programs/TarvoDefrag/ProgramOptions.h"
#include "ui/map/MapExport.h"
#ifdef TARVO_HAVE_WINDOW
#include "programs/TarvoDefrag/WindowedRun.h"
#endif

using namespace tarvo;
using namespace tarvo::programs;

namespace {

int ExitStatusOf(const app::CTarvoApp& application) {
    // A drive whose volume was refused is a failed drive, not a mistake in the command line.
    return application.Failure() == app::StartFailure::InvalidCommandLine && !application.Record().driveRefused
               ? kExitInvalidCommandLine
               : kExitDriveFailed;
}

bool DisplayAvailable(const ProgramOptions& options) {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && !options.console;
}

// --map-png: the settings give the block size and shadow; the drive is only read.
int ExportMap(const ProgramOptions& options) {
    ui::MapExportRequest request;
    if (!options.mapSize.empty() && !ui::ParseMapSize(options.mapSize, request.width, request.height)) {
        std::fprintf(stderr, "TarvoDefrag: --size %s: give the size as WxH, for example 800x600 (1 to 16384 each)\n",
                     options.mapSize.c_str());
        return kExitInvalidCommandLine;
    }
    platform::SetRegistryKey(app::LoadString(app::IDS_REGISTRY_KEY).c_str(),
                             app::LoadString(app::IDS_APP_TITLE).c_str());
    app::Settings().Load();
    request.drive = options.words.front();
    request.path = options.mapPng;
    request.blockSize = app::Settings().BlockSize();
    request.shadow = app::Settings().DrawShadow() ? ui::Shadow::ThreeD : ui::Shadow::Flat;
    std::string error;
    const int result = ui::ExportDriveMap(request, error);
    if (result != 0) {
        std::fprintf(stderr, "TarvoDefrag: %s\n", error.c_str());
        return kExitDriveFailed;
    }
    if (!error.empty()) std::fprintf(stderr, "TarvoDefrag: note: %s\n", error.c_str());
    return kExitCompleted;
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
    if (!options.error.empty()) {
        std::fprintf(stderr, "TarvoDefrag: %s (see TarvoDefrag --help)\n", options.error.c_str());
        return kExitInvalidCommandLine;
    }
    if (!options.mapPng.empty()) return ExportMap(options);
    app::SetProgramArguments(argc, argv);

    CConsoleFrontEnd frontEnd(isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Lines);
    app::SetPresenter(&frontEnd.Presenter());
    app::CTarvoApp application;
#ifdef TARVO_HAVE_WINDOW
    ForwardSecondStartToWindow(application);
#endif
    if (!application.InitInstance(options.words)) {
        application.ExitInstance();
        return ExitStatusOf(application);
    }

#ifdef TARVO_HAVE_WINDOW
    if (DisplayAvailable(options)) {
        const int status = RunInWindow(application, argv[0], options);
        if (status != kWindowNotShown) {
            application.ExitInstance();
            app::SetPresenter(nullptr);
            return status;
        }
        // The display does not answer: a run with drives goes on in the terminal.
        app::SetPresenter(&frontEnd.Presenter());
    }
#endif

    if (!application.CommandLineRun()) {
        if (!DisplayAvailable(options))
            std::fputs("TarvoDefrag: the window needs a display, and none is available"
                       " (DISPLAY is not set, or --console was given).\n",
                       stderr);
        else
            std::fputs("TarvoDefrag: the window cannot be shown (this build has none, or the display"
                       " does not answer).\n",
                       stderr);
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
