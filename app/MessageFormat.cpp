// MessageFormat.cpp --- placeholder substitution for message texts.
#include "app/MessageFormat.h"

namespace tarvo::app {

std::string FormatMessageText(std::string_view pattern, const std::vector<std::string>& inserts) {
    std::string out;
    out.reserve(pattern.size() + 64);
    size_t next = 0;  // the insertion string the next "%s" or "%d" takes
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        char directive = pattern[i + 1];
        if (directive == 's' || directive == 'd') {
            if (next < inserts.size())
                out += inserts[next];
            ++next;
            ++i;
        } else if (directive >= '1' && directive <= '9') {
            size_t index = static_cast<size_t>(directive - '1');
            if (index < inserts.size())
                out += inserts[index];
            ++i;
        } else if (directive == '%') {
            out += '%';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace tarvo::app
