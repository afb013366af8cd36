// ProgramOptions.cpp --- --help, --console and --map-png, and the help text.
#include "programs/TarvoDefrag/ProgramOptions.h"

namespace tarvo::programs {

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
    ProgramOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.help = true;
        } else if (arg == "--console") {
            options.console = true;
        } else if (arg == "--show") {
            options.show = true;
        } else if (arg == "--map-png" || arg == "--size" || arg == "--screenshot") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                options.error = arg + " needs a value";
                continue;
            }
            (arg == "--map-png" ? options.mapPng : arg == "--size" ? options.mapSize : options.screenshot) = args[++i];
        } else {
            options.words.push_back(arg);
        }
    }
    if (options.error.empty() && !options.mapSize.empty() && options.mapPng.empty())
        options.error = "--size goes with --map-png";
    if (options.error.empty() && !options.mapPng.empty() && options.words.size() != 1)
        options.error = "--map-png needs exactly one drive, for example: --map-png map.png D:";
    return options;
}

const char* HelpText() {
    return "usage: TarvoDefrag [--console | --show [--screenshot FILE]] [/SPACE:DRIVES | /COMPLETE:DRIVES]\n"
           "                   [/SORT:NAME|LASTMODIFIED]\n"
           "                   [/LOG:OFF|0|1|2|3|4] [/QUIET]\n"
           "       TarvoDefrag --map-png FILE [--size WxH] D:\n"
           "\n"
           "Defragments NTFS and FAT volumes mapped to drive letters (tarvoctl drive map D: IMAGE).\n"
           "\n"
           "  /SPACE:DRIVES     SPACE method: make files contiguous where free space fits them\n"
           "  /COMPLETE:DRIVES  COMPLETE method: rebuild the whole layout in sort order\n"
           "                    DRIVES is a list of letters, \"C,D\", or ALL (every eligible drive,\n"
           "                    each with the method the options choose for its file system);\n"
           "                    an empty item ends the list; a letter with a colon is refused\n"
           "  /SORT:NAME|LASTMODIFIED  order of COMPLETE (for this run only)\n"
           "  /LOG:N            event logging for this run: OFF or 0 off, 1 errors ... 4 everything\n"
           "  /QUIET            no messages shown\n"
           "  --console         work in the terminal even when a display is available\n"
           "  --show            a run with drives shows its window (normally hidden) while it works\n"
           "  --screenshot FILE with --show: save a PNG picture of the window when a method\n"
           "                    has moved files and is past a third of its work\n"
           "  --map-png FILE    analyse drive D: (nothing on it changes) and write its cluster map\n"
           "                    as a PNG picture; needs no display\n"
           "  --size WxH        the picture's size in pixels (default 640x480, at most 16384x16384)\n"
           "  --help            this text\n"
           "\n"
           "Options may be written with / or -, in any case. Nothing given on the command line is stored.\n"
           "With a display and without --console, TarvoDefrag opens its window; a run with drives then\n"
           "keeps the window hidden and ends with its list (Ctrl+C closes it). Otherwise a run with\n"
           "drives works in the terminal: progress on standard error (one line redrawn in place on a\n"
           "terminal, a line every 5% otherwise); Ctrl+C stops after the move in flight.\n"
           "\n"
           "Exit status:\n"
           "  0  every drive of the list completed\n"
           "  1  invalid command line\n"
           "  2  a drive was refused or failed (or the run could not start, or the map picture\n"
           "     could not be made)\n"
           "  3  stopped (Ctrl+C, SIGTERM, or the window of a run with drives closed before the end)\n"
           "  4  started without drives, but the window cannot be shown\n";
}

}  // namespace tarvo::programs
