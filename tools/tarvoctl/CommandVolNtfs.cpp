// CommandVolNtfs.cpp --- tarvoctl vol mkntfs: a real, deliberately fragmented NTFS image with a manifest.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/ntfs/NtfsImageBuilder.h"
#include "tools/tarvoctl/Command.h"
#include "tools/tarvoctl/VolNtfsArguments.h"

namespace tarvo::tools {

namespace {

int RunMkntfs(const Arguments& args) {
    platform::NtfsImageRecipe recipe;
    std::string error;
    if (!ParseMkntfsArguments(args, recipe, error)) {
        std::fprintf(stderr, "tarvoctl vol mkntfs: %s\n", error.c_str());
        return 2;
    }
    std::vector<platform::ManifestEntry> manifest;
    if (!platform::BuildNtfsImage(recipe, manifest, error)) {
        std::fprintf(stderr, "tarvoctl vol mkntfs: %s\n", error.c_str());
        return 1;
    }
    std::string text = platform::FormatManifest(manifest);
    std::string manifestPath = recipe.path + ".manifest";
    std::ofstream out(manifestPath, std::ios::trunc);
    out << text;
    if (!out) {
        std::fprintf(stderr, "tarvoctl vol mkntfs: cannot write %s\n", manifestPath.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    std::fprintf(stderr, "%s: NTFS, %zu files; manifest in %s\n", recipe.path.c_str(), manifest.size(),
                 manifestPath.c_str());
    return 0;
}

CommandRegistration g_mkntfs{{"vol mkntfs",
                              "vol mkntfs FILE --size 128M [--cluster-size B] [--files N] [--fragment] "
                              "[--compressed N] [--sparse N] [--seed S]",
                              "make an NTFS image with files of known content (manifest in FILE.manifest)",
                              RunMkntfs}};

}  // namespace

}  // namespace tarvo::tools
