// StatusTexts.h --- the texts of the status-bar panes, the tray tip and the saved window placement.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace tarvo::ui {

constexpr const char* kReadyText = "Ready";            // string 33655
constexpr const char* kIdleText = "Idle    ";          // string 33612
constexpr const char* kFragUnitText = "frag. file(s)";  // string 33611
constexpr size_t kTrayTipLimit = 62;

// Pane 1's percent part: "%3d %%".
std::string FormatPercent(int percent);

// The estimated end: start + elapsed / percent * 99, as local "%H:%M". Empty for percent <= 0.
std::string EstimatedEnd(std::time_t start, std::time_t now, int percent);
// The end time in seconds since 1970 (for tests): start + (now - start) / percent * 99.
std::time_t EstimatedEndTime(std::time_t start, std::time_t now, int percent);

// Pane 2: "---" for a negative count, else "%4d %s" with "frag. file(s)".
std::string FormatFragmentedCount(int count);

// The tray tip: status (unless empty or "Idle    "), drive root, percent with
// "%", count with "frag. file(s)", blank-separated, cut to 62 characters.
std::string BuildTrayTip(const std::string& status, const std::string& driveRoot, const std::string& percent,
                         const std::string& count);

// Shortens a path such as C:\A\B\C\FILE.TXT to at most `limit` characters,
// keeping the root and the file name and putting "..." for the folders left out.
std::string CompactPath(const std::string& path, size_t limit);

// A status text fitted to a pane of `chars` characters: a text holding a tab,
// or a path ("?:\..."), is compacted; others are kept. Empty becomes "Ready".
std::string FitPaneText(const std::string& text, size_t chars);

// The saved window placement: ten integers joined by ':'.
struct WindowPlacement {
    int flags = 0, showCommand = 0;
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
};
std::string FormatWindowPos(const WindowPlacement& placement);
// None unless the text holds exactly ten integers.
std::optional<WindowPlacement> ParseWindowPos(const std::string& text);

// The splitter rows for a client height: {tree row, legend row}.
struct SplitRows {
    int tree = 0;
    int legend = 0;
};
SplitRows LeftPaneRows(int clientHeight);

}  // namespace tarvo::ui
