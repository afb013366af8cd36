// SchedulerSelfTest.cpp --- the scheduling program's self-test steps, polled from a timer on the UI thread.
#include "ui/scheduler/SchedulerSelfTest.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/spinbutt.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include <cstdio>

#include "common/SelfTestReports.h"
#include "common/WindowShot.h"
#include "scheduler/JobText.h"
#include "scheduler/SchedulerTexts.h"
#include "ui/scheduler/JobEditorDialog.h"
#include "ui/scheduler/MainFrame.h"
#include "ui/scheduler/MessageBoxPrompt.h"
#include "ui/scheduler/SchedulerIds.h"
#include "ui/scheduler/TarvoScheduleView.h"

namespace tarvo::ui::scheduler {

using namespace tarvo::scheduler;

namespace {

constexpr int kTickMs = 50;
constexpr int kStepTicks = 400;  // twenty seconds per step at most

// The shown message box with this text, or null.
wxGenericMessageDialog* MessageBox(const std::string& text) {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* box = dynamic_cast<wxGenericMessageDialog*>(window);
        if (box && box->IsShown() && box->GetMessage().utf8_string() == text)
            return box;
    }
    return nullptr;
}

// Answers the shown message box with this text.
void Answer(const std::string& text, int id) {
    if (wxGenericMessageDialog* box = MessageBox(text))
        box->EndModal(id);
}

// Chooses a radio button as a click would.
void Choose(wxWindow& dialog, int id) {
    auto* radio = dynamic_cast<wxRadioButton*>(dialog.FindWindow(id));
    if (radio == nullptr)
        return;
    radio->SetValue(true);
    wxCommandEvent event(wxEVT_RADIOBUTTON, id);
    event.SetEventObject(radio);
    event.SetInt(1);
    radio->HandleWindowEvent(event);
}

// Presses a dialog button later, from the event loop: OK may open a box of its own.
void Press(wxWindow& dialog, int id) {
    wxWindow* button = dialog.FindWindow(id);
    if (button == nullptr)
        return;
    wxTheApp->CallAfter([button, id] {
        wxCommandEvent event(wxEVT_BUTTON, id);
        event.SetEventObject(button);
        button->HandleWindowEvent(event);
    });
}

bool Enabled(wxWindow& dialog, int id) {
    wxWindow* control = dialog.FindWindow(id);
    return control && control->IsEnabled();
}

template <typename T>
T* Control(wxWindow& dialog, int id) {
    return dynamic_cast<T*>(dialog.FindWindow(id));
}

}  // namespace

void CSchedulerSelfTest::CloseWhenShown(wxDialog& box) {
    box.Bind(wxEVT_INIT_DIALOG, [&box](wxInitDialogEvent& event) {
        event.Skip();
        box.CallAfter([&box] {
            auto* message = dynamic_cast<wxGenericMessageDialog*>(&box);
            common::PrintSelfTestLine("dialog: " + box.GetTitle().utf8_string() + ": " +
                      (message ? message->GetMessage().utf8_string() : std::string()));
            box.EndModal(box.FindWindow(wxID_YES) ? wxID_YES : wxID_OK);
        });
    });
}

CSchedulerSelfTest::CSchedulerSelfTest(CMainFrame& frame, CJobList& jobs, std::string shotFolder)
    : m_frame(frame), m_jobs(jobs), m_timer(this), m_shotFolder(std::move(shotFolder)) {
    m_steps = Steps();
    for (auto& step : EditorSteps()) m_steps.push_back(std::move(step));
    for (auto& step : RemovalSteps()) m_steps.push_back(std::move(step));
    Bind(wxEVT_TIMER, &CSchedulerSelfTest::OnTick, this);
    m_timer.Start(kTickMs);
}

void CSchedulerSelfTest::Shot(wxTopLevelWindow& window, const std::string& name) {
    if (m_shotFolder.empty())
        return;
    const std::string path = m_shotFolder + "/" + name;
    std::string error;
    common::PrintSelfTestLine(common::SaveWindowPicture(window, path, error) ? "picture: " + path
                                                                             : "  no picture: " + error);
}

int CSchedulerSelfTest::ExitStatus() const {
    return m_failed + common::ToolkitReports() == 0 && m_passed > 0 ? 0 : 1;
}

void CSchedulerSelfTest::Key(int code) {
    wxTreeCtrl& tree = m_frame.View().Tree();
    m_frame.Raise();
    tree.SetFocus();
    wxYield();
    wxUIActionSimulator sim;
    // Without a window manager the keyboard follows the pointer: put it over the tree.
    sim.MouseMove(tree.GetScreenRect().GetPosition() + wxPoint(20, 40));
    wxYield();
    sim.Char(code);
}

CJobEditorDialog* CSchedulerSelfTest::Editor(const std::string& title) const {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<CJobEditorDialog*>(window);
        if (dialog && dialog->IsShown() && (title.empty() || dialog->GetTitle().utf8_string() == title))
            return dialog;
    }
    return nullptr;
}

bool CSchedulerSelfTest::TreeMatchesList() {
    CJobTree& jobTree = m_frame.View().JobTree();
    wxTreeCtrl& tree = m_frame.View().Tree();
    bool ok = true;
    for (const Job& job : m_jobs.Jobs()) {
        const TreeItem item = jobTree.FindJobItem(job.key);
        const TreeItem drive = jobTree.FindDriveItem(job.drive);
        if (drive == kNoItem) {
            ok = ok && item == kNoItem;  // the jobs of a drive not shown are not shown either
            continue;
        }
        const wxTreeItemId id = CWxTreeControl::Id(item);
        const bool shown = item != kNoItem &&
                           tree.GetItemText(id).utf8_string() == Describe(job, DescribeFor::Tree) &&
                           tree.GetItemImage(id) == CJobTree::JobImage(job) &&
                           CWxTreeControl::Handle(tree.GetItemParent(id)) == drive;
        if (!shown)
            common::PrintSelfTestLine("  job " + std::to_string(job.key) + " is not shown as listed");
        ok = ok && shown;
    }
    return ok;
}

std::vector<CSchedulerSelfTest::Step> CSchedulerSelfTest::Steps() {
    return {
        {"the tree holds My Computer, the shown drives and every listed job below its drive",
         [this] {
             wxTreeCtrl& tree = m_frame.View().Tree();
             // The outline, for the test that started this program.
             std::function<void(wxTreeItemId, int)> print = [&](wxTreeItemId item, int depth) {
                 common::PrintSelfTestLine("tree: " + std::string(depth * 2, ' ') + tree.GetItemText(item).utf8_string() +
                           "|" + std::to_string(tree.GetItemImage(item)));
                 wxTreeItemIdValue cookie;
                 for (auto child = tree.GetFirstChild(item, cookie); child.IsOk();
                      child = tree.GetNextChild(item, cookie))
                     print(child, depth + 1);
             };
             print(tree.GetRootItem(), 0);
         },
         [this] { return m_frame.IsShown(); },
         [this] {
             wxTreeCtrl& tree = m_frame.View().Tree();
             wxTreeItemIdValue cookie;
             for (auto child = tree.GetFirstChild(tree.GetRootItem(), cookie); child.IsOk() && m_drive == 0;
                  child = tree.GetNextChild(tree.GetRootItem(), cookie)) {
                 const uint32_t data = CWxTreeControl(tree).ItemData(CWxTreeControl::Handle(child));
                 if (KindOfData(data) == TreeItemKind::Drive)
                     m_drive = static_cast<int16_t>(data);
             }
             return tree.GetItemText(tree.GetRootItem()) == kMyComputerText &&
                    tree.IsExpanded(tree.GetRootItem()) && m_drive >= 2 && TreeMatchesList();
         }},
        {"the window keeps at least 300 by 200 pixels and its menus carry their keys and prompts",
         [this] { m_frame.SetSize(100, 80); }, [] { return true; },
         [this] {
             wxMenuBar* bar = m_frame.GetMenuBar();
             const wxSize size = m_frame.GetSize();
             return size.x >= CMainFrame::kMinWidth && size.y >= CMainFrame::kMinHeight &&
                    bar->FindItem(kIdAddJob)->GetItemLabel() == kAddMenuText &&
                    bar->FindItem(kIdRemoveJob)->GetItemLabel() == kRemoveMenuText &&
                    bar->GetHelpString(kIdRemoveAllJobs) == kRemoveAllPrompt &&
                    bar->FindItem(wxID_ABOUT)->GetItemLabel() == kAboutMenuText &&
                    m_frame.GetToolBar()->GetToolLongHelp(kIdAddJob) == kAddPrompt &&
                    m_frame.GetStatusBar()->GetFieldsCount() == 1;
         }},
        {"View > Status Bar and View > Toolbar hide their bars",
         [this] {
             for (int id : {kIdViewStatusBar, kIdViewToolBar}) {
                 wxCommandEvent event(wxEVT_MENU, id);
                 m_frame.HandleWindowEvent(event);
             }
         },
         [] { return true; },
         [this] {
             const bool hidden = !m_frame.GetStatusBar()->IsShown() && !m_frame.GetToolBar()->IsShown();
             for (int id : {kIdViewStatusBar, kIdViewToolBar}) {
                 wxCommandEvent event(wxEVT_MENU, id);
                 m_frame.HandleWindowEvent(event);
             }
             return hidden && m_frame.GetStatusBar()->IsShown() && m_frame.GetToolBar()->IsShown();
         }},
        {"with the root selected Change and Remove are disabled and Remove all enabled",
         [this] {
             m_frame.SetSize(560, 420);
             m_frame.View().Tree().SelectItem(m_frame.View().Tree().GetRootItem());
             m_frame.UpdateWindowUI(wxUPDATE_UI_RECURSE);
         },
         [] { return true; },
         [this] {
             Shot(m_frame, "scheduler-main.png");
             wxMenuBar* bar = m_frame.GetMenuBar();
             return !bar->IsEnabled(kIdChangeJob) && !bar->IsEnabled(kIdRemoveJob) &&
                    bar->IsEnabled(kIdRemoveAllJobs) && bar->IsEnabled(kIdAddJob);
         }},
    };
}

std::vector<CSchedulerSelfTest::Step> CSchedulerSelfTest::EditorSteps() {
    auto addTitle = [this] { return std::string("Add a job for drive ") + char('A' + m_drive) + ":\\"; };
    return {
        {"Ins on a drive opens the empty editor for that drive",
         [this] {
             m_frame.View().Tree().SelectItem(
                 CWxTreeControl::Id(m_frame.View().JobTree().FindDriveItem(m_drive)));
             Key(WXK_INSERT);
         },
         [this, addTitle] { return Editor(addTitle()) != nullptr; },
         [this, addTitle] {
             CJobEditorDialog& d = *Editor(addTitle());
             common::PrintSelfTestLine(std::string("  editor: sort ") + (Enabled(d, kIdSortList) ? "on" : "off") +
                       ", level " + (Enabled(d, kIdLogLevelList) ? "on" : "off") + ", days " +
                       (Enabled(d, kIdDaysList) ? "on" : "off") + ", spin " +
                       (Enabled(d, kIdSpin) ? "on" : "off") + ", hour " +
                       Control<wxTextCtrl>(d, kIdHour)->GetValue().utf8_string() + ", space " +
                       std::to_string(Control<wxRadioButton>(d, kIdSpace)->GetValue()) + ", today " +
                       std::to_string(Control<wxRadioButton>(d, kIdToday)->GetValue()) + ", every " +
                       std::to_string(Control<wxRadioButton>(d, kIdToday + 2)->GetValue()) + ", days " +
                       std::to_string(Control<wxListBox>(d, kIdDaysList)->GetCount()));
             return !Enabled(d, kIdSortList) && !Enabled(d, kIdLogLevelList) && !Enabled(d, kIdDaysList) &&
                    !Enabled(d, kIdSpin) && Control<wxRadioButton>(d, kIdSpace)->GetValue() &&
                    !Control<wxRadioButton>(d, kIdToday)->GetValue() &&
                    !Control<wxRadioButton>(d, kIdToday + 2)->GetValue() &&
                    Control<wxTextCtrl>(d, kIdHour)->GetValue() == "00" &&
                    Control<wxListBox>(d, kIdDaysList)->GetCount() == 38;
         }},
        {"OK with Today at a time already over says so and the editor stays open",
         [this] {
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             Choose(d, kIdToday);
             Press(d, wxID_OK);
         },
         [] { return MessageBox(kTimeOverText) != nullptr; },
         [this] { return Editor({}) != nullptr && !Enabled(*Editor({}), kIdDaysList); }},
        // A box's own event loop ends first; the editor's next OK then runs in the editor's loop.
        {"the box closes and the editor is still open", [] { Answer(kTimeOverText, wxID_OK); },
         [] { return MessageBox(kTimeOverText) == nullptr; }, [this] { return Editor({}) != nullptr; }},
        {"OK with Every and no day shows the day message and the editor stays open",
         [this] {
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             Choose(d, kIdToday + 2);
             Press(d, wxID_OK);
         },
         [] { return MessageBox(kNoDayText) != nullptr; },
         [this] { return Editor({}) != nullptr && Enabled(*Editor({}), kIdDaysList); }},
        {"COMPLETE enables the sort list, enabled logging the level list with its first level",
         [this] {
             Answer(kNoDayText, wxID_OK);
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             Choose(d, kIdComplete);
             Choose(d, kIdLoggingEnabled);
         },
         [] { return MessageBox(kNoDayText) == nullptr; },
         [this] {
             if (Editor({}) == nullptr)
                 return false;
             CJobEditorDialog& d = *Editor({});
             return Enabled(d, kIdSortList) && Enabled(d, kIdLogLevelList) &&
                    Control<wxChoice>(d, kIdLogLevelList)->GetSelection() == 0;
         }},
        {"the spin steps the hour field from 00 down to 23",
         [this] {
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             d.Raise();
             Control<wxTextCtrl>(d, kIdHour)->SetFocus();
         },
         [this] { return Editor({}) != nullptr && Enabled(*Editor({}), kIdSpin); },
         [this] {
             if (Editor({}) == nullptr)
                 return false;
             CJobEditorDialog& d = *Editor({});
             auto* spin = Control<wxSpinButton>(d, kIdSpin);
             wxSpinEvent event(wxEVT_SPIN_DOWN, kIdSpin);
             event.SetEventObject(spin);
             spin->HandleWindowEvent(event);
             return Control<wxTextCtrl>(d, kIdHour)->GetValue() == "23";
         }},
        {"OK with Monday at 03:00 adds the job below the drive",
         [this] {
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             Control<wxListBox>(d, kIdDaysList)->SetSelection(0);
             Control<wxTextCtrl>(d, kIdHour)->ChangeValue("03");
             Press(d, wxID_OK);
         },
         [this] { return Editor({}) == nullptr; },
         [this] {
             if (m_jobs.Jobs().empty())
                 return false;
             const Job& added = m_jobs.Jobs().back();
             m_addedKey = added.key;
             common::PrintSelfTestLine("  added: " + Describe(added, DescribeFor::Tree) + " on drive " +
                       std::to_string(added.drive) + ", method " + std::to_string(added.method));
             return added.drive == m_drive && added.method == MethodComplete &&
                    Describe(added, DescribeFor::Tree) == "Every Monday at 3:00h (LogLevel = 1)" &&
                    TreeMatchesList();
         }},
        {"Enter on the job opens the change editor with its values",
         [this] {
             m_frame.View().Tree().SelectItem(
                 CWxTreeControl::Id(m_frame.View().JobTree().FindJobItem(m_addedKey)));
             Key(WXK_RETURN);
         },
         [this] { return Editor({}) != nullptr; },
         [this] {
             if (Editor({}) == nullptr)
                 return false;
             CJobEditorDialog& d = *Editor({});
             const std::string title =
                 std::string("Change parameters of job on drive ") + char('A' + m_drive) + ":\\";
             return d.GetTitle().utf8_string() == title &&
                    Control<wxRadioButton>(d, kIdComplete)->GetValue() &&
                    Control<wxListBox>(d, kIdDaysList)->IsSelected(0) && Enabled(d, kIdDaysList) &&
                    Control<wxTextCtrl>(d, kIdHour)->GetValue() == "03";
         }},
        {"SPACE with a sort chosen earlier stores sort 0 and the item shows the SPACE image",
         [this] {
             if (Editor({}) == nullptr)
                 return;
             CJobEditorDialog& d = *Editor({});
             Control<wxChoice>(d, kIdSortList)->SetSelection(2);
             Choose(d, kIdSpace);
             Press(d, wxID_OK);
         },
         [this] { return Editor({}) == nullptr; },
         [this] {
             const Job* job = m_jobs.FindJob(m_addedKey);
             return job && job->method == MethodSpace && job->sort == SortBySettings && TreeMatchesList();
         }},
    };
}

std::vector<CSchedulerSelfTest::Step> CSchedulerSelfTest::RemovalSteps() {
    return {
        {"Del asks whether to remove the job, with No the default", [this] { Key(WXK_DELETE); },
         [] { return MessageBox(kRemoveJobQuestion) != nullptr; },
         [] {
             wxGenericMessageDialog* box = MessageBox(kRemoveJobQuestion);
             auto* no = dynamic_cast<wxButton*>(box->FindWindow(wxID_NO));
             return no && box->GetDefaultItem() == no;
         }},
        {"No keeps the job", [] { Answer(kRemoveJobQuestion, wxID_NO); },
         [] { return MessageBox(kRemoveJobQuestion) == nullptr; },
         [this] { return m_jobs.FindJob(m_addedKey) != nullptr && TreeMatchesList(); }},
        {"Yes removes the job from the tree and the list", [this] { Key(WXK_DELETE); },
         [] { return MessageBox(kRemoveJobQuestion) != nullptr; },
         [this] {
             Answer(kRemoveJobQuestion, wxID_YES);
             return true;
         }},
        {"the job is gone",
         {},
         [this] { return m_jobs.FindJob(m_addedKey) == nullptr; },
         [this] { return m_frame.View().JobTree().FindJobItem(m_addedKey) == kNoItem && TreeMatchesList(); }},
        {"Remove all on the root asks about ALL jobs",
         [this] {
             m_frame.View().Tree().SelectItem(m_frame.View().Tree().GetRootItem());
             m_frame.CallAfter([this] {
                 wxCommandEvent event(wxEVT_MENU, kIdRemoveAllJobs);
                 m_frame.HandleWindowEvent(event);
             });
         },
         [] { return MessageBox(kRemoveAllJobsQuestion) != nullptr; },
         [] {
             Answer(kRemoveAllJobsQuestion, wxID_NO);
             return true;
         }},
        {"no toolkit assertion or warning was reported",
         {},
         [] { return true; },
         [] { return common::ToolkitReports() == 0; }},
    };
}

void CSchedulerSelfTest::OnTick(wxTimerEvent&) {
    if (m_current >= m_steps.size())
        return Finish();
    Step& step = m_steps[m_current];
    if (!m_started) {
        m_started = true;
        m_ticks = 0;
        if (step.action)
            step.action();
        return;
    }
    if (!step.ready() && ++m_ticks < kStepTicks)
        return;
    const bool ok = m_ticks < kStepTicks && step.check();
    common::PrintSelfTestLine(std::string(ok ? "PASS " : "FAIL ") + step.name);
    if (!ok && m_ticks >= kStepTicks)
        common::PrintSelfTestLine("  the step timed out");
    ok ? ++m_passed : ++m_failed;
    m_started = false;
    ++m_current;
    // A failed step may leave a box or the editor open: the next steps start without them.
    if (!ok) {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxDialog*>(window);
            if (dialog && dialog->IsModal())
                dialog->EndModal(wxID_CANCEL);
        }
    }
}

void CSchedulerSelfTest::Finish() {
    m_timer.Stop();
    common::PrintSelfTestLine(std::to_string(m_passed) + " passed, " + std::to_string(m_failed + common::ToolkitReports()) +
              " failed");
    m_frame.Close(true);
}

}  // namespace tarvo::ui::scheduler
