// SchedulerSelfTest.h --- the scheduling program driving itself under a display: the tree, the job editor,
// the questions and the Job commands, each step checked against what the windows and the job list hold.
//
// Keys go through wxUIActionSimulator as a user's would; choices inside the
// editor are sent as the controls' own events. The closing line is
// "N passed, N failed"; toolkit assertions and warnings count as failures.
#pragma once

#include "ui/NtFirst.h"

#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "scheduler/JobList.h"

class wxDialog;
class wxTopLevelWindow;

namespace tarvo::ui::scheduler {

class CMainFrame;
class CJobEditorDialog;

class CSchedulerSelfTest : public wxEvtHandler {
public:
    CSchedulerSelfTest(CMainFrame& frame, tarvo::scheduler::CJobList& jobs, std::string shotFolder = {});
    // Prints the box's title and text once it shows, and closes it with its first button (OK or Yes).
    static void CloseWhenShown(wxDialog& box);
    int ExitStatus() const;

private:
    struct Step {
        std::string name;
        std::function<void()> action;  // run when the step starts
        std::function<bool()> ready;   // polled until true (or the step times out)
        std::function<bool()> check;   // the step's verdict once ready
    };
    std::vector<Step> Steps();
    std::vector<Step> EditorSteps();
    std::vector<Step> RemovalSteps();
    void OnTick(wxTimerEvent& event);
    void Finish();
    void Key(int code);
    bool TreeMatchesList();
    CJobEditorDialog* Editor(const std::string& title) const;

    CMainFrame& m_frame;
    tarvo::scheduler::CJobList& m_jobs;
    wxTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_current = 0;
    bool m_started = false;
    int m_ticks = 0;
    int m_passed = 0;
    int m_failed = 0;
    void Shot(wxTopLevelWindow& window, const std::string& name);

    std::string m_shotFolder;  // pictures of the windows go here when set
    int16_t m_drive = 0;      // the first shown drive
    uint32_t m_addedKey = 0;  // the job the editor added
};

}  // namespace tarvo::ui::scheduler
