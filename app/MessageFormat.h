// MessageFormat.h --- fills a message text's placeholders with insertion strings taken literally.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::app {

// Replaces "%s" and "%d" by the next insertion string in order, "%1".."%9" by
// that numbered string, and "%%" by "%"; a placeholder without an insertion
// string gives empty text; any other "%" stays as it is. Insertion strings are
// data: a "%s" or "%n" inside one is copied literally, never interpreted.
std::string FormatMessageText(std::string_view pattern, const std::vector<std::string>& inserts);

}  // namespace tarvo::app
