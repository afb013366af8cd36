// SimNames.cpp --- name rules of the simulated directories.
#include "platform/sim/SimNames.h"

namespace tarvo::platform {

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsShortChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    static constexpr std::string_view kExtra = "!#$%&'()-@^_`{}~";
    return kExtra.find(c) != std::string_view::npos || static_cast<unsigned char>(c) >= 0x80;
}
}  // namespace

bool IsValidLongName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool IsShortName(std::string_view name) {
    size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string_view::npos ||
        (dot != std::string_view::npos && ext.empty())) {
        return false;
    }
    for (char c : base) {
        if (!IsShortChar(c)) {
            return false;
        }
    }
    for (char c : ext) {
        if (!IsShortChar(c)) {
            return false;
        }
    }
    return true;
}

std::string MakeShortName(std::string_view longName, unsigned tail) {
    size_t dot = longName.rfind('.');
    std::string_view basePart = dot == std::string_view::npos || dot == 0 ? longName : longName.substr(0, dot);
    std::string_view extPart = dot == std::string_view::npos || dot == 0 ? std::string_view() : longName.substr(dot + 1);
    std::string base;
    for (char c : basePart) {
        char u = Upper(c);
        if (IsShortChar(u)) {
            base += u;
        }
    }
    std::string ext;
    for (char c : extPart) {
        char u = Upper(c);
        if (IsShortChar(u) && ext.size() < 3) {
            ext += u;
        }
    }
    if (base.empty()) {
        base = "_";
    }
    std::string suffix = "~" + std::to_string(tail);
    if (base.size() + suffix.size() > 8) {
        base.resize(8 - suffix.size());
    }
    std::string result = base + suffix;
    if (!ext.empty()) {
        result += "." + ext;
    }
    return result;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

uint64_t NameHash(uint32_t parent, std::string_view name) {
    uint64_t hash = 1469598103934665603ull ^ (uint64_t{parent} * 0x9E3779B97F4A7C15ull);
    for (char c : name) {
        hash ^= static_cast<unsigned char>(Upper(c));
        hash *= 1099511628211ull;
    }
    return hash ^ (hash >> 29);
}

}  // namespace tarvo::platform
