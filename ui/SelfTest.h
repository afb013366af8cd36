// SelfTest.h --- the window driving itself under a display: pick a drive, analyse, COMPLETE, pause, stop,
// the status report, the Message Log and System Used Files, the options sheet, the status-bar texts and the
// saved placement.
//
// Keys and clicks go through wxUIActionSimulator as a user's would; each step
// checks what the window shows and the closing line is "N passed, N failed".
// Toolkit assertions, warnings and debug reports print and count as failures.
#pragma once

#include "ui/NtFirst.h"

#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/WindowedProgram.h"

class wxDialog;

namespace tarvo::ui {

class CMainFrame;

class CSelfTest : public wxEvtHandler {
public:
    CSelfTest(CMainFrame& frame, const WindowedOptions& options);
    int ExitStatus() const;

private:
    struct Step {
        std::string name;
        std::function<bool()> ready;   // polled until true (or the step times out)
        std::function<bool()> check;   // the step's verdict once ready
        std::function<void()> action;  // run when the step starts
    };
    std::vector<Step> RunSteps();
    std::vector<Step> PlacementSteps();
    // The options sheet, opened from the menu (SelfTestOptions.cpp).
    std::vector<Step> OptionsSteps();
    void OpenOptions();
    void SelectPage(int page);
    void OnTick(wxTimerEvent& event);
    void Finish();
    // A key as the user would press it, over the drive tree.
    void Key(int code, int modifiers = 0);
    // Clicks the dialog's button with this identifier.
    void Click(wxDialog& dialog, int id);
    // Clicks the middle of a window.
    void ClickOn(wxWindow& window);
    // The shown dialog with this title, or null.
    static wxDialog* ShownDialog(const std::string& title);
    // Prints what the status bar shows (with a failed step).
    void PrintPanes() const;

    CMainFrame& m_frame;
    WindowedOptions m_options;
    wxTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_current = 0;
    bool m_started = false;
    int m_ticks = 0;
    int m_passed = 0;
    int m_failed = 0;
    // The pause check: moves seen when the pause took hold, and the ticks since.
    uint64_t m_pausedMoves = 0;
    int m_pausedTicks = -1;
};

}  // namespace tarvo::ui
