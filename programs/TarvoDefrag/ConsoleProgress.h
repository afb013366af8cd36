// ConsoleProgress.h --- the progress of a run on standard error: one line redrawn in place on a
// terminal, otherwise a plain line at each 5% step.
//
// It is the view sink the worker's messages reach on the UI thread. Other
// output goes through PrintLine, which moves the progress line out of the way.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "volume/ViewSink.h"

namespace tarvo::programs {

// How progress is written.
enum class ProgressStyle { Terminal, Lines };

// What the progress line shows besides the figures: the drive ("C:") and the method.
struct ProgressLabel {
    std::string drive;
    std::string method;
};

class CConsoleProgress : public volume::ViewSink {
public:
    CConsoleProgress(std::FILE* out, ProgressStyle style, std::function<ProgressLabel()> label);

    void SetStatusText(int pane, std::string text) override;
    void SetFragCount(int64_t count) override;
    void SetPercent(int percent) override;
    void PostRunFinished() override {}
    void SetDriveFlag(int) override {}
    void RedrawAll() override {}
    bool RedrawFile(const volume::FileRecord&) override { return true; }

    // Writes a line of its own (a message), then redraws the progress line.
    void PrintLine(const std::string& text);
    // Ends a redrawn progress line so that later output starts on a fresh line.
    void Finish();

    // The redrawn line for a given width (without the carriage return).
    std::string FormatLine(size_t width) const;

private:
    void Redraw();
    size_t TerminalWidth() const;

    mutable std::mutex m_mutex;
    std::FILE* m_out;
    ProgressStyle m_style;
    std::function<ProgressLabel()> m_label;
    std::string m_status;
    int64_t m_fragCount = 0;
    int m_percent = -1;
    int m_lastStep = -1;  // the last 5% step written in Lines style
    std::string m_lastLabel;
    bool m_lineShown = false;
    std::chrono::steady_clock::time_point m_started;
};

// Shortens text to at most width characters, keeping its end (a path's file
// name) behind "...".
std::string ShortenFront(const std::string& text, size_t width);

}  // namespace tarvo::programs
