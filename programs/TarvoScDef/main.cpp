// main.cpp --- TarvoScDef: plans unattended runs of the defragmenter as jobs of the Schedule service.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/scheduler/SchedulerProgram.h"

namespace {

void PrintUsage() {
    std::printf(
        "Usage: TarvoScDef [--self-test [--shots DIR]]\n"
        "\n"
        "Opens the scheduling window: a tree of the drives with the scheduled runs of\n"
        "TarvoDefrag below the drive they concern, and the Job menu to add, change and\n"
        "remove runs. The runs are jobs of the Schedule service (see tarvoctl svc and\n"
        "tarvoctl at); the program keeps no job file of its own.\n"
        "\n"
        "  --self-test  drive the window through its commands and print \"N passed, N failed\"\n"
        "  --shots DIR  with --self-test: save a picture of the main window in DIR\n"
        "  --help       show this text\n"
        "\n"
        "Needs a display (DISPLAY) and an installed TarvoDefrag (its application path).\n");
}

}  // namespace

int main(int argc, char** argv) {
    tarvo::ui::scheduler::SchedulerOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--self-test") == 0) {
            options.selfTest = true;
            continue;
        }
        if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc) {
            options.shotFolder = argv[++i];
            continue;
        }
        std::fprintf(stderr, "TarvoScDef: unknown option '%s' (see TarvoScDef --help)\n", argv[i]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        std::fprintf(stderr,
                     "TarvoScDef: no display: the scheduling program needs a window (DISPLAY is not set).\n");
        return 1;
    }
    // The toolkit sees only the program name: the options are ours.
    int toolkitArgc = 1;
    const int status = tarvo::ui::scheduler::RunSchedulerProgram(toolkitArgc, argv, options);
    if (status == tarvo::ui::scheduler::kSchedulerNoDisplay) {
        std::fprintf(stderr, "TarvoScDef: the display '%s' could not be opened.\n", display ? display : "");
        return 1;
    }
    return status;
}
