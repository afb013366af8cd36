// VolNtfsArguments.h --- the command line of tarvoctl vol mkntfs.
#pragma once

#include <string>

#include "platform/ntfs/NtfsImageBuilder.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

// Parses "FILE --size 128M [--cluster-size B] [--files N] [--fragment]
// [--compressed N] [--sparse N] [--seed S]". Sizes take K, M or G. Answers
// false with a message for a missing file, an unknown option or a bad number.
bool ParseMkntfsArguments(const Arguments& args, platform::NtfsImageRecipe& recipe, std::string& error);

// "128M" -> 134217728; answers false for anything that is not a whole size.
bool ParseSize(const std::string& text, uint64_t& out);

}  // namespace tarvo::tools
