// VolOptions.cpp --- number parsing for the tool's options.
#include "tools/tarvoctl/VolOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tarvo::tools {

bool ParseCount(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    out = value;
    return true;
}

bool ParseFraction(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace tarvo::tools
