// HeadlessDriveTree.h --- the drive tree of a run without windows: a selected letter and each drive's state.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>

#include "control/RunWindows.h"

namespace tarvo::control {

// Thread-safe: the worker sets drive states while the UI thread reads them.
class CHeadlessDriveTree : public DriveTree {
public:
    CHeadlessDriveTree() { m_states.fill(1); }

    int SelectedDriveState() const override {
        std::lock_guard lock(m_mutex);
        return m_selected ? m_states[Index(m_selected)] : 0;
    }
    char SelectedDriveLetter() const override {
        std::lock_guard lock(m_mutex);
        return m_selected;
    }
    void SelectDrive(char letter) override {
        std::lock_guard lock(m_mutex);
        m_selected = letter >= 'A' && letter <= 'Z' ? letter : 0;
        if (m_selected && m_states[Index(m_selected)] == 0) m_states[Index(m_selected)] = 1;
    }
    void SetDriveState(volume::DriveState state) override {
        std::lock_guard lock(m_mutex);
        if (!m_running) m_running = m_selected;
        if (m_running) m_states[Index(m_running)] = static_cast<int>(state);
    }
    void ClearDriveState() override {
        std::lock_guard lock(m_mutex);
        if (m_running) m_states[Index(m_running)] = 0;
        m_running = 0;
    }
    // Calls the handler (the controller's AnalyzeDrive) with the selected letter.
    void AnalyzeSelectedDrive() override {
        char letter = SelectedDriveLetter();
        if (letter && m_analyze) m_analyze(letter);
    }
    void RebuildDriveList() override {}

    void SetAnalyzeHandler(std::function<void(char)> handler) { m_analyze = std::move(handler); }
    int StateOf(char letter) const {
        std::lock_guard lock(m_mutex);
        return m_states[Index(letter)];
    }

private:
    static size_t Index(char letter) { return static_cast<size_t>(letter - 'A'); }

    mutable std::mutex m_mutex;
    std::array<int, 26> m_states{};
    char m_selected = 0;
    char m_running = 0;
    std::function<void(char)> m_analyze;
};

}  // namespace tarvo::control
