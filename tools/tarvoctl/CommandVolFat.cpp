// CommandVolFat.cpp --- tarvoctl vol mkfat: a real, deliberately fragmented FAT image with a manifest.
#include <cstdio>
#include <fstream>
#include <limits>

#include "platform/fat/FatImageMaker.h"
#include "tools/tarvoctl/Command.h"
#include "tools/tarvoctl/VolNtfsArguments.h"

namespace tarvo::tools {

namespace {

constexpr const char* kUsage =
    "vol mkfat FILE --size 64M [--fat 12|16|32] [--cluster-size B] [--files N] [--fragment] "
    "[--fragment-share PERCENT] [--seed S]";

bool ParseMkfatArguments(const Arguments& args, platform::FatImageRecipe& recipe, std::string& error) {
    bool haveSize = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        uint64_t v = 0;
        auto value = [&](uint64_t limit) {
            if (i + 1 >= args.size() || !ParseSize(args[i + 1], v) || v > limit) {
                error = "bad or missing value for " + a;
                return false;
            }
            ++i;
            return true;
        };
        if (a == "--size") {
            if (!value(64ull << 30)) {
                return false;
            }
            recipe.sizeBytes = v;
            haveSize = true;
        } else if (a == "--fat") {
            if (!value(32) || (v != 12 && v != 16 && v != 32)) {
                error = "--fat takes 12, 16 or 32";
                return false;
            }
            recipe.fatBits = static_cast<int>(v);
        } else if (a == "--cluster-size") {
            if (!value(65536)) {
                return false;
            }
            recipe.clusterBytes = static_cast<uint32_t>(v);
        } else if (a == "--files") {
            if (!value(1000000)) {
                return false;
            }
            recipe.files = static_cast<uint32_t>(v);
        } else if (a == "--seed") {
            if (!value(std::numeric_limits<uint64_t>::max())) {
                return false;
            }
            recipe.seed = v;
        } else if (a == "--fragment") {
            recipe.fragment = true;
        } else if (a == "--fragment-share") {
            if (!value(40) || v == 0) {
                error = "--fragment-share takes a percentage from 1 to 40";
                return false;
            }
            recipe.fragment = true;
            recipe.fragmentPercent = static_cast<uint32_t>(v);
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (recipe.path.empty()) {
            recipe.path = a;
        } else {
            error = "more than one FILE given";
            return false;
        }
    }
    if (recipe.path.empty() || !haveSize) {
        error = std::string("usage: ") + kUsage;
        return false;
    }
    return true;
}

int RunMkfat(const Arguments& args) {
    platform::FatImageRecipe recipe;
    std::string error;
    if (!ParseMkfatArguments(args, recipe, error)) {
        std::fprintf(stderr, "tarvoctl vol mkfat: %s\n", error.c_str());
        return 2;
    }
    std::vector<platform::FatManifestEntry> manifest;
    if (!platform::MakeFatImage(recipe, manifest, error)) {
        std::fprintf(stderr, "tarvoctl vol mkfat: %s\n", error.c_str());
        return 1;
    }
    std::string text = platform::FormatFatManifest(manifest);
    std::string manifestPath = recipe.path + ".manifest";
    std::ofstream out(manifestPath, std::ios::trunc);
    out << text;
    if (!out) {
        std::fprintf(stderr, "tarvoctl vol mkfat: cannot write %s\n", manifestPath.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    std::fprintf(stderr, "%s: FAT image, %zu files; manifest in %s\n", recipe.path.c_str(), manifest.size(),
                 manifestPath.c_str());
    return 0;
}

CommandRegistration g_mkfat{{"vol mkfat", kUsage,
                             "make a FAT image with files of known content (manifest in FILE.manifest)", RunMkfat}};

}  // namespace

}  // namespace tarvo::tools
