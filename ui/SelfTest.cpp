// SelfTest.cpp --- the self-test's steps, polled from a timer on the UI thread.
#include "ui/SelfTest.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/splash.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <cstdio>
#include <regex>

#include "app/Logger.h"
#include "app/Settings.h"
#include "control/OrdexDoc.h"
#include "ui/DriveTreePane.h"
#include "ui/MainFrame.h"
#include "ui/MapView.h"
#include "ui/MenuIds.h"
#include "ui/SplashWindow.h"
#include "common/SelfTestReports.h"
#include "common/WindowShot.h"
#include "ui/texts/StatusTexts.h"

namespace tarvo::ui {

namespace {

constexpr int kTickMs = 50;
constexpr int kStepTicks = 1200;  // one minute per step at most
constexpr int kPauseTicks = 8;    // how long a pause is watched for moves

using control::CommandId;
int Id(CommandId id) { return WxIdOf(static_cast<int>(id)); }

bool SameRect(const wxRect& r, const ExpectedPlacement& p) {
    return r.x == p.left && r.y == p.top && r.x + r.width == p.right && r.y + r.height == p.bottom;
}

std::string Describe(const wxRect& r) {
    return wxString::Format("%d,%d %dx%d", r.x, r.y, r.width, r.height).utf8_string();
}

}  // namespace

int CSelfTest::ExitStatus() const {
    return m_failed + common::ToolkitReports() == 0 && m_passed > 0 ? 0 : 1;
}

CSelfTest::CSelfTest(CMainFrame& frame, const WindowedOptions& options)
    : m_frame(frame), m_options(options), m_timer(this) {
    m_steps = options.selfTestPhase == SelfTestPhase::Run ? RunSteps() : PlacementSteps();
    Bind(wxEVT_TIMER, &CSelfTest::OnTick, this);
    m_timer.Start(kTickMs);
}

void CSelfTest::Key(int code, int modifiers) {
    m_frame.Raise();
    m_frame.Tree().SetFocus();
    wxYield();
    wxUIActionSimulator sim;
    // Without a window manager the keyboard follows the pointer: put it over the tree.
    sim.MouseMove(m_frame.Tree().GetScreenRect().GetPosition() + wxPoint(20, 40));
    wxYield();
    sim.Char(code, modifiers);
}

void CSelfTest::Click(wxDialog& dialog, int id) {
    if (wxWindow* button = dialog.FindWindow(id)) ClickOn(*button);
}

void CSelfTest::ClickOn(wxWindow& window) {
    wxUIActionSimulator sim;
    const wxRect rect = window.GetScreenRect();
    sim.MouseMove(rect.GetPosition() + wxPoint(rect.width / 2, rect.height / 2));
    wxYield();
    sim.MouseClick();
}

wxDialog* CSelfTest::ShownDialog(const std::string& title) {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog && dialog->IsShown() && dialog->GetTitle().utf8_string() == title) return dialog;
    }
    return nullptr;
}

void CSelfTest::PrintPanes() const {
    common::PrintSelfTestLine("  status bar: [" + m_frame.PaneText(0) + "] [" + m_frame.PaneText(1) + "] [" + m_frame.PaneText(2) +
              "]");
}

std::vector<CSelfTest::Step> CSelfTest::RunSteps() {
    const char drive = m_options.selfTestDrive;
    auto doc = [this] { return m_frame.Document(); };
    auto idle = [doc] { return doc() && !doc()->WorkerRunning(); };
    auto moves = [this] { return m_options.moveCount ? m_options.moveCount() : uint64_t{0}; };
    // Pane 1 while a method runs: "%3d %%", and past 0 % the estimated end time "%H:%M" at its right.
    auto progressShown = [this] {
        static const std::regex withEnd(R"(^ *[0-9]{1,3} %  +[0-9]{2}:[0-9]{2}$)");
        return m_frame.HasProgressBar() && std::regex_match(m_frame.PaneText(1), withEnd);
    };
    auto fragCountShown = [this, doc] {
        const volume::CDefragJob* job = doc()->Job();
        return job && m_frame.PaneText(2) == FormatFragmentedCount(static_cast<int>(job->m_fragmentedFiles));
    };
    auto idlePanes = [this] { return !m_frame.HasProgressBar() && m_frame.PaneText(1) == kIdleText; };

    auto splashShown = [] {
        for (wxWindow* window : wxTopLevelWindows)
            if (dynamic_cast<wxSplashScreen*>(window) && window->IsShown()) return true;
        return false;
    };
    std::vector<Step> steps;
    if (m_options.splash) {
        steps.push_back({"the splash shows over the window at the start", [] { return true; }, splashShown, {}});
        steps.push_back({"the splash goes by itself after four seconds",
                         [this, splashShown] { return !splashShown() && m_ticks * kTickMs >= 3000; },
                         [this] { return m_ticks * kTickMs <= kSplashMilliseconds + 2000; }, {}});
    }
    std::vector<Step> first = {
        {"the window shows Ready, Idle and no fragmented files, and lists the drive",
         [this] { return m_frame.IsShown(); },
         [this, drive] {
             return m_frame.Tree().ItemOf(drive).IsOk() && m_frame.PaneText(0) == kReadyText && m_frame.PaneText(1) == kIdleText &&
                    m_frame.PaneText(2) == "   0 frag. file(s)";
         },
         {}},
        {"picking the drive analyses it and the count pane shows its fragmented files", idle,
         [doc, drive, fragCountShown] {
             return doc()->Job() && doc()->Job()->m_drive == std::string(1, drive) && doc()->Job()->m_fragmentedFiles > 0 &&
                    fragCountShown();
         },
         [this, drive] { m_frame.Tree().SelectDrive(drive); }},
        {"F9 analyses again and the map shows clusters per block", idle,
         [this, doc, idlePanes] {
             return doc()->RunningMode() == control::kModeAnalysis && m_frame.View().ClustersPerBlock() > 0 && idlePanes();
         },
         [this] { Key(WXK_F9); }},
        {"F11 starts COMPLETE: the gauge, the percent and the estimated end time show",
         [doc, progressShown] { return doc()->RunningMode() == control::kModeComplete && progressShown(); },
         [doc, progressShown] { return doc()->WorkerRunning() && progressShown(); }, [this] { Key(WXK_F11); }},
    };
    steps.insert(steps.end(), first.begin(), first.end());
    if (!m_options.screenshot.empty())
        steps.push_back({"a picture of the window during COMPLETE is saved",
                         // Past a quarter, so that the picture shows files moved and files still to move.
                         [this] { return std::atoi(m_frame.PaneText(1).c_str()) >= 25; },
                         [this] {
                             std::string error;
                             const bool saved = common::SaveWindowPicture(m_frame, m_options.screenshot, error);
                             if (!saved) common::PrintSelfTestLine("  " + error);
                             return saved;
                         },
                         {}});
    std::vector<Step> more = {
        {"Pause (Break) pauses COMPLETE: no move is made, the button is down, Stop is disabled",
         [this, doc, moves] {
             if (!doc()->Paused()) return false;
             if (m_pausedTicks < 0) {
                 m_pausedTicks = 0;
                 m_pausedMoves = moves();
             }
             return ++m_pausedTicks >= kPauseTicks;
         },
         [this, doc, moves] {
             // The move in flight when the pause came may still end.
             const bool stillMoves = moves() > m_pausedMoves + 1;
             wxToolBar* bar = m_frame.GetToolBar();
             return doc()->WorkerRunning() && !stillMoves && bar->GetToolState(Id(CommandId::Pause)) &&
                    !bar->GetToolEnabled(Id(CommandId::Stop));
         },
         [this] { Key(WXK_PAUSE); }},
        {"Pause again resumes and moves go on",
         [this, doc, moves] { return !doc()->Paused() && moves() > m_pausedMoves + 1; },
         [doc] { return doc()->WorkerRunning(); }, [this] { Key(WXK_PAUSE); }},
        {"Ctrl+Break stops COMPLETE: the gauge goes and the panes show Idle", idle,
         [this, idlePanes] { return idlePanes() && m_frame.PaneText(0) == kReadyText; },
         [this] { Key(WXK_PAUSE, wxMOD_CONTROL); }},
        {"picking the drive again analyses it", [this, idle, drive] {
             return idle() && m_frame.Document()->Job() && m_frame.Tree().SelectedDriveLetter() == drive;
         },
         [this] { return m_frame.View().ClustersPerBlock() > 0; },
         [this, drive] {
             m_frame.Tree().UnselectAll();
             m_frame.Tree().SelectDrive(drive);
         }},
        {"F11 runs COMPLETE to its end and the Status report opens",
         [] { return ShownDialog("Status report") != nullptr; },
         [drive] {
             wxDialog* report = ShownDialog("Status report");
             const wxString letter = wxString::Format("%c:", drive);
             for (wxWindow* child : report->GetChildren())
                 if (dynamic_cast<wxStaticText*>(child) && child->GetLabel() == letter) return true;
             return false;
         },
         [this] {
             // Messages are shown from here on, and the run's go to the Message Log.
             app::SetDisplay(app::Display::On);
             Key(WXK_F11);
         }},
        {"Close ends the Status report and the run: the gauge goes, the count pane stays",
         [idle] { return idle() && ShownDialog("Status report") == nullptr; },
         [fragCountShown, idlePanes] { return fragCountShown() && idlePanes(); },
         [this] {
             if (wxDialog* report = ShownDialog("Status report")) Click(*report, wxID_OK);
         }},
        {"the Message Log opens with the run's messages in its four columns",
         [] { return ShownDialog("Message Log") != nullptr; },
         [drive] {
             auto* list = dynamic_cast<wxListCtrl*>(ShownDialog("Message Log")->FindWindowByName("listCtrl"));
             if (list == nullptr || list->GetColumnCount() != 4 || list->GetItemCount() < 1) return false;
             const char* titles[] = {"", "Time", "Drv.", "Message text"};
             for (int c = 0; c < 4; ++c) {
                 wxListItem column;
                 column.SetMask(wxLIST_MASK_TEXT);
                 if (!list->GetColumn(c, column) || column.GetText() != titles[c]) return false;
             }
             return list->GetItemText(0, 2) == wxString::Format("%c:", drive);
         },
         [this] {
             m_frame.UpdateWindowUI();
             if (!m_frame.GetMenuBar()->IsEnabled(kIdMessageLog)) return;
             // The menu command, as the user gives it; the dialog is modal.
             m_frame.CallAfter([this] {
                 wxCommandEvent command(wxEVT_MENU, kIdMessageLog);
                 m_frame.ProcessWindowEvent(command);
             });
         }},
        {"Close closes the Message Log", [] { return ShownDialog("Message Log") == nullptr; },
         [] { return app::HasLoggedMessages() != 0; },
         [this] {
             if (wxDialog* log = ShownDialog("Message Log")) Click(*log, wxID_CLOSE);
         }},
        {"Ctrl+S shows the System Used Files of the drive", [] { return ShownDialog("System Used Files") != nullptr; },
         [] {
             auto* list = dynamic_cast<wxListBox*>(ShownDialog("System Used Files")->FindWindow(1009));
             return list && list->GetCount() >= 1;
         },
         [this] { Key('S', wxMOD_CONTROL); }},
        {"OK closes System Used Files", [] { return ShownDialog("System Used Files") == nullptr; },
         [] { return true; },
         [this] {
             if (wxDialog* box = ShownDialog("System Used Files")) Click(*box, wxID_OK);
         }},
    };
    steps.insert(steps.end(), more.begin(), more.end());
    const std::vector<Step> options = OptionsSteps();
    steps.insert(steps.end(), options.begin(), options.end());
    std::vector<Step> last = {
        {"the window takes the place the restart check expects",
         [this] { return SameRect(m_frame.GetRect(), m_options.leavePlacement); },
         [this] { return SameRect(m_frame.GetRect(), m_options.leavePlacement); },
         [this] {
             const ExpectedPlacement& p = m_options.leavePlacement;
             m_frame.SetSize(p.left, p.top, p.right - p.left, p.bottom - p.top);
         }},
        {"the toolkit reported no assertion, warning or debug message", [] { return true; },
         [] { return common::ToolkitReports() == 0; }, {}},
    };
    steps.insert(steps.end(), last.begin(), last.end());
    return steps;
}

std::vector<CSelfTest::Step> CSelfTest::PlacementSteps() {
    return {
        {"the window comes back where the last one was left", [this] { return m_frame.IsShown(); },
         [this] {
             const bool same = SameRect(m_frame.GetRect(), m_options.expectedPlacement);
             if (!same) common::PrintSelfTestLine("  the window is at " + Describe(m_frame.GetRect()));
             return same;
         },
         {}},
        {"the saved placement holds the ten numbers of that rectangle", [] { return true; },
         [this] {
             const auto saved = ParseWindowPos(app::Settings().WindowPos());
             const ExpectedPlacement& p = m_options.expectedPlacement;
             return saved && saved->left == p.left && saved->top == p.top && saved->right == p.right &&
                    saved->bottom == p.bottom;
         },
         {}},
    };
}

void CSelfTest::OnTick(wxTimerEvent&) {
    if (m_current >= m_steps.size()) return Finish();
    Step& step = m_steps[m_current];
    if (!m_started) {
        m_started = true;
        m_ticks = 0;
        if (step.action) step.action();
        return;
    }
    if (!step.ready() && ++m_ticks < kStepTicks) return;
    const bool ok = m_ticks < kStepTicks && step.check();
    common::PrintSelfTestLine(std::string(ok ? "PASS " : "FAIL ") + step.name);
    if (!ok) {
        if (m_ticks >= kStepTicks) common::PrintSelfTestLine("  the step timed out");
        PrintPanes();
    }
    ok ? ++m_passed : ++m_failed;
    m_started = false;
    ++m_current;
}

void CSelfTest::Finish() {
    m_timer.Stop();
    const int failed = m_failed + common::ToolkitReports();
    if (m_options.selfTestCounts) {
        m_options.selfTestCounts->passed = m_passed;
        m_options.selfTestCounts->failed = failed;
    } else {
        common::PrintSelfTestLine(std::to_string(m_passed) + " passed, " + std::to_string(failed) + " failed");
    }
    m_frame.Close(true);
}

}  // namespace tarvo::ui
