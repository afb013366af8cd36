// StatusTexts.cpp --- formatting of the status panes, tray tip, path compaction and window placement.
#include "ui/texts/StatusTexts.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tarvo::ui {

std::string FormatPercent(int percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%3d %%", percent);
    return text;
}

std::time_t EstimatedEndTime(std::time_t start, std::time_t now, int percent) {
    if (percent <= 0) return start;
    return start + static_cast<std::time_t>(static_cast<double>(now - start) / percent * 99);
}

std::string EstimatedEnd(std::time_t start, std::time_t now, int percent) {
    if (percent <= 0) return {};
    const std::time_t end = EstimatedEndTime(start, now, percent);
    std::tm local{};
    if (localtime_r(&end, &local) == nullptr) return {};
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

std::string FormatFragmentedCount(int count) {
    if (count < 0) return "---";
    char text[64];
    std::snprintf(text, sizeof text, "%4d %s", count, kFragUnitText);
    return text;
}

std::string BuildTrayTip(const std::string& status, const std::string& driveRoot, const std::string& percent,
                         const std::string& count) {
    std::string tip;
    if (!status.empty() && status != kIdleText) tip = status;
    if (!driveRoot.empty()) tip += " " + driveRoot;
    if (!percent.empty()) tip += " " + percent + "%";
    if (!count.empty()) tip += " " + count + " " + kFragUnitText;
    if (tip.size() > kTrayTipLimit) tip.resize(kTrayTipLimit);
    return tip;
}

std::string CompactPath(const std::string& path, size_t limit) {
    if (path.size() <= limit) return path;
    const size_t rootEnd = path.size() >= 3 && path[1] == ':' && path[2] == '\\' ? 3 : 0;
    const size_t nameStart = path.rfind('\\');
    const std::string root = path.substr(0, rootEnd);
    const std::string name = nameStart == std::string::npos || nameStart < rootEnd ? path.substr(rootEnd)
                                                                                   : path.substr(nameStart + 1);
    // Keep as many trailing folders as fit between root + "..." and the name.
    std::string tail = "\\" + name;
    size_t cut = nameStart == std::string::npos ? rootEnd : nameStart;
    while (cut > rootEnd) {
        const size_t previous = path.rfind('\\', cut - 1);
        if (previous == std::string::npos || previous < rootEnd) break;
        const std::string longer = path.substr(previous, cut - previous) + tail;
        if (root.size() + 3 + longer.size() > limit) break;
        tail = longer;
        cut = previous;
    }
    std::string result = root + "..." + tail;
    if (result.size() > limit) result = "..." + name.substr(name.size() > limit - 3 ? name.size() - (limit - 3) : 0);
    if (result.size() > limit) result.resize(limit);
    return result;
}

std::string FitPaneText(const std::string& text, size_t chars) {
    if (text.empty()) return kReadyText;
    const size_t tab = text.find('\t');
    if (tab != std::string::npos) {
        const std::string head = text.substr(0, tab);
        const size_t room = chars > head.size() ? chars - head.size() : 0;
        return head + CompactPath(text.substr(tab + 1), room);
    }
    if (text.size() >= 3 && text[1] == ':' && text[2] == '\\') return CompactPath(text, chars);
    return text;
}

std::string FormatWindowPos(const WindowPlacement& p) {
    char text[160];
    std::snprintf(text, sizeof text, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i", p.flags, p.showCommand, p.minX, p.minY, p.maxX,
                  p.maxY, p.left, p.top, p.right, p.bottom);
    return text;
}

std::optional<WindowPlacement> ParseWindowPos(const std::string& text) {
    std::vector<int> values;
    const char* at = text.c_str();
    while (*at) {
        char* end = nullptr;
        const long value = std::strtol(at, &end, 10);
        if (end == at || value < -1000000 || value > 1000000) return std::nullopt;
        values.push_back(static_cast<int>(value));
        at = end;
        if (*at == ':') {
            ++at;
            if (*at == '\0') return std::nullopt;
        } else if (*at != '\0') {
            return std::nullopt;
        }
    }
    if (values.size() != 10) return std::nullopt;
    return WindowPlacement{values[0], values[1], values[2], values[3], values[4],
                           values[5], values[6], values[7], values[8], values[9]};
}

SplitRows LeftPaneRows(int clientHeight) {
    const int d = clientHeight - 210;
    if (d < 50) return {210, 0};
    return {d, 210};
}

}  // namespace tarvo::ui
