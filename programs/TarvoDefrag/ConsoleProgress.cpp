// ConsoleProgress.cpp --- the progress line: drive, method, percent, bar, fragmented files, end time, file.
#include "programs/TarvoDefrag/ConsoleProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>

namespace tarvo::programs {

std::string ShortenFront(const std::string& text, size_t width) {
    if (text.size() <= width) return text;
    if (width <= 3) return text.substr(text.size() - width);
    return "..." + text.substr(text.size() - (width - 3));
}

CConsoleProgress::CConsoleProgress(std::FILE* out, ProgressStyle style, std::function<ProgressLabel()> label)
    : m_out(out), m_style(style), m_label(std::move(label)), m_started(std::chrono::steady_clock::now()) {}

size_t CConsoleProgress::TerminalWidth() const {
    winsize size{};
    if (ioctl(fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

std::string CConsoleProgress::FormatLine(size_t width) const {
    const ProgressLabel label = m_label ? m_label() : ProgressLabel{};
    std::string line = label.drive + " " + label.method;
    if (m_percent >= 0) {
        char figures[96];
        std::snprintf(figures, sizeof figures, " %3d%% [", m_percent);
        line += figures;
        constexpr int kBar = 20;
        const int filled = m_percent * kBar / 100;
        line += std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kBar - filled), '-');
        std::snprintf(figures, sizeof figures, "] %lld frag. file(s)", static_cast<long long>(m_fragCount));
        line += figures;
        const auto elapsed = std::chrono::steady_clock::now() - m_started;
        if (m_percent > 0 && m_percent < 100) {
            const auto left = elapsed * (100 - m_percent) / m_percent;
            const std::time_t end = std::time(nullptr) +
                                    std::chrono::duration_cast<std::chrono::seconds>(left).count();
            std::tm local{};
            localtime_r(&end, &local);
            char clock[32];
            std::strftime(clock, sizeof clock, ", ends %H:%M:%S", &local);
            line += clock;
        }
    } else {
        line += " " + std::to_string(m_fragCount) + " frag. file(s)";
    }
    if (line.size() + 2 < width && !m_status.empty()) line += "  " + ShortenFront(m_status, width - line.size() - 3);
    if (line.size() >= width) line.resize(width - 1);
    return line;
}

void CConsoleProgress::Redraw() {
    if (m_style == ProgressStyle::Terminal) {
        const std::string line = FormatLine(TerminalWidth());
        std::fprintf(m_out, "\r\033[K%s", line.c_str());
        m_lineShown = true;
        std::fflush(m_out);
        return;
    }
    // Lines: one plain line each time the percentage reaches the next 5% step.
    const ProgressLabel label = m_label ? m_label() : ProgressLabel{};
    const std::string name = label.drive + " " + label.method;
    if (name != m_lastLabel) {
        m_lastLabel = name;
        m_lastStep = -1;
    }
    if (m_percent < 0) return;
    const int step = m_percent / 5;
    if (step < m_lastStep) m_lastStep = -1;  // a new phase starts again from 0
    if (step <= m_lastStep) return;
    m_lastStep = step;
    std::fprintf(m_out, "%s %d%% (%lld fragmented files)\n", name.c_str(), step * 5,
                 static_cast<long long>(m_fragCount));
    std::fflush(m_out);
}

void CConsoleProgress::SetStatusText(int pane, std::string text) {
    std::lock_guard lock(m_mutex);
    if (pane != volume::kStatusPaneMain) return;
    m_status = std::move(text);
    if (m_style == ProgressStyle::Terminal) Redraw();
}

void CConsoleProgress::SetFragCount(int64_t count) {
    std::lock_guard lock(m_mutex);
    m_fragCount = count;
    if (m_style == ProgressStyle::Terminal) Redraw();
}

void CConsoleProgress::SetPercent(int percent) {
    std::lock_guard lock(m_mutex);
    if (percent == 0 || (m_percent < 0 && percent > 0)) m_started = std::chrono::steady_clock::now();
    m_percent = percent;
    Redraw();
}

void CConsoleProgress::PrintLine(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_lineShown) std::fputs("\r\033[K", m_out);
    std::fprintf(m_out, "%s\n", text.c_str());
    if (m_lineShown) {
        m_lineShown = false;
        Redraw();
    }
    std::fflush(m_out);
}

void CConsoleProgress::Finish() {
    std::lock_guard lock(m_mutex);
    if (m_lineShown) std::fputs("\r\033[K", m_out);
    m_lineShown = false;
    std::fflush(m_out);
}

}  // namespace tarvo::programs
