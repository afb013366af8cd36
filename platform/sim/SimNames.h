// SimNames.h --- long and 8.3 names of a simulated volume: validity, short-name forms, comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::platform {

// A long name a directory may hold: 1 to 255 bytes, not "." or "..", none of
// \ / : * ? " < > | and no control characters.
bool IsValidLongName(std::string_view name);

// True when the name is already a valid upper-case 8.3 name (then it has no separate short name).
bool IsShortName(std::string_view name);

// The 8.3 name with numeric tail `tail` (1, 2, ...) for a long name: invalid
// characters and spaces dropped, upper case, base cut so that "~tail" fits in 8.
// "Annual Report 1997.doc", 1 -> "ANNUAL~1.DOC".
std::string MakeShortName(std::string_view longName, unsigned tail);

// ASCII case-insensitive equality and hash, as the directories compare names.
bool NamesEqual(std::string_view a, std::string_view b);
uint64_t NameHash(uint32_t parent, std::string_view name);

}  // namespace tarvo::platform
