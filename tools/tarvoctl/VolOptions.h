// VolOptions.h --- strict parsing of the numbers and words of the vol and drive subcommands.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo::tools {

// Whole numbers without sign, suffix or overflow. False otherwise.
bool ParseCount(const std::string& text, uint64_t& out);
// A finite decimal number. False otherwise.
bool ParseFraction(const std::string& text, double& out);

}  // namespace tarvo::tools
