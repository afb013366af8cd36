// CommandVolReport.cpp --- tarvoctl vol report|check: a volume's figures and its consistency check.
#include <cstdio>

#include "tools/tarvoctl/Command.h"
#include "tools/tarvoctl/VolReport.h"
#include "tools/tarvoctl/VolTarget.h"

namespace tarvo::tools {

namespace {
int Report(const Arguments& args) {
    std::string target;
    bool json = false;
    FileListing listing = FileListing::Without;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg == "--files") {
            listing = FileListing::With;
        } else if (target.empty() && !arg.starts_with("--")) {
            target = arg;
        } else {
            std::fprintf(stderr, "usage: tarvoctl vol report D:|FILE [--json] [--files]\n");
            return 2;
        }
    }
    if (target.empty()) {
        std::fprintf(stderr, "usage: tarvoctl vol report D:|FILE [--json] [--files]\n");
        return 2;
    }
    VolTarget volume;
    std::string error;
    VolumeFigures figures;
    if (!OpenVolTarget(target, VolAccess::ReadOnly, volume, error) ||
        !MeasureVolume(*volume.backend, volume.pathPrefix, listing, figures, error)) {
        std::fprintf(stderr, "tarvoctl vol report: %s\n", error.c_str());
        return 1;
    }
    std::string text = json ? FiguresAsJson(figures, listing) : FiguresAsText(figures, listing);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int Check(const Arguments& args) {
    if (args.size() != 1 || args[0].starts_with("--")) {
        std::fprintf(stderr, "usage: tarvoctl vol check D:|FILE\n");
        return 2;
    }
    VolTarget volume;
    std::string error;
    if (!OpenVolTarget(args[0], VolAccess::ReadOnly, volume, error)) {
        std::fprintf(stderr, "tarvoctl vol check: %s\n", error.c_str());
        return 1;
    }
    std::string report;
    bool consistent = volume.backend->CheckConsistency(report);
    std::fwrite(report.data(), 1, report.size(), consistent ? stdout : stderr);
    return consistent ? 0 : 1;
}

CommandRegistration g_report{{"vol report", "vol report D:|FILE [--json] [--files]",
                              "report clusters, files, fragments and free runs of a volume", Report}};
CommandRegistration g_check{{"vol check", "vol check D:|FILE", "check a volume's consistency (exit 0 when consistent)", Check}};
}  // namespace

}  // namespace tarvo::tools
