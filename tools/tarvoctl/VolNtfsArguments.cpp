// VolNtfsArguments.cpp --- parsing the options of tarvoctl vol mkntfs.
#include "tools/tarvoctl/VolNtfsArguments.h"

#include <cctype>
#include <limits>

namespace tarvo::tools {

bool ParseSize(const std::string& text, uint64_t& out) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (std::numeric_limits<uint64_t>::max() - 9) / 10) {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    std::string suffix = text.substr(i);
    int shift = suffix.empty() ? 0 : suffix == "K" || suffix == "k" ? 10 : suffix == "M" || suffix == "m" ? 20
                                  : suffix == "G" || suffix == "g" ? 30 : -1;
    if (shift < 0 || value > (std::numeric_limits<uint64_t>::max() >> shift)) {
        return false;
    }
    out = value << shift;
    return true;
}

bool ParseMkntfsArguments(const Arguments& args, platform::NtfsImageRecipe& recipe, std::string& error) {
    recipe = platform::NtfsImageRecipe{};
    bool haveSize = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](uint64_t& out, uint64_t limit) {
            if (i + 1 >= args.size() || !ParseSize(args[i + 1], out) || out > limit) {
                error = "bad or missing value for " + a;
                return false;
            }
            ++i;
            return true;
        };
        uint64_t v = 0;
        if (a == "--size") {
            if (!value(recipe.size, 1ULL << 42)) {
                return false;
            }
            haveSize = true;
        } else if (a == "--cluster-size") {
            if (!value(v, 65536)) {
                return false;
            }
            recipe.clusterSize = static_cast<uint32_t>(v);
        } else if (a == "--files" || a == "--compressed" || a == "--sparse") {
            if (!value(v, 1000000)) {
                return false;
            }
            (a == "--files" ? recipe.files : a == "--compressed" ? recipe.compressed : recipe.sparse) = static_cast<uint32_t>(v);
        } else if (a == "--seed") {
            if (!value(recipe.seed, std::numeric_limits<uint64_t>::max())) {
                return false;
            }
        } else if (a == "--fragment") {
            recipe.fragmentation = platform::Fragmentation::Deliberate;
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
        error = "usage: vol mkntfs FILE --size 128M [--cluster-size B] [--files N] [--fragment] [--compressed N] "
                "[--sparse N] [--seed S]";
        return false;
    }
    return true;
}

}  // namespace tarvo::tools
