// SelfTest.h --- the window driving itself under a display: pick a drive, analyse, COMPLETE, pause, stop, logs.
//
// Keys go through wxUIActionSimulator as a user's would; each step checks what
// the window shows and the closing line is "N passed, N failed".
#pragma once

#include "ui/NtFirst.h"

#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/WindowedProgram.h"

namespace tarvo::ui {

class CMainFrame;

class CSelfTest : public wxEvtHandler {
public:
    CSelfTest(CMainFrame& frame, const WindowedOptions& options);
    // Records a failure outside a step (a toolkit assertion).
    void Fail(const std::string& what);
    int ExitStatus() const { return m_failed == 0 && m_passed > 0 ? 0 : 1; }

private:
    struct Step {
        std::string name;
        std::function<bool()> ready;   // polled until true (or the step times out)
        std::function<bool()> check;   // the step's verdict once ready
        std::function<void()> action;  // run when the step starts
    };
    void BuildSteps();
    void OnTick(wxTimerEvent& event);
    void Finish();
    bool Screenshot(const std::string& path);

    CMainFrame& m_frame;
    WindowedOptions m_options;
    wxTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_current = 0;
    bool m_started = false;
    int m_ticks = 0;
    int m_passed = 0;
    int m_failed = 0;
};

}  // namespace tarvo::ui
