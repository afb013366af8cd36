// MainFrame.cpp --- the scheduling program's main window and how its commands reach the job commands.
#include "ui/scheduler/MainFrame.h"

#include <wx/accel.h>
#include <wx/artprov.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "scheduler/SchedulerTexts.h"
#include "ui/scheduler/MessageBoxPrompt.h"
#include "ui/scheduler/SchedulerIds.h"
#include "ui/scheduler/TarvoScheduleView.h"

namespace tarvo::ui::scheduler {

using namespace tarvo::scheduler;

CMainFrame::CMainFrame(CTarvoScheduleDoc& doc)
    : wxFrame(nullptr, wxID_ANY, wxString(doc.Title()) + " - " + kProgramTitle, wxDefaultPosition,
              wxSize(520, 400)) {
    SetMinSize(wxSize(kMinWidth, kMinHeight));
    BuildMenus();
    BuildToolBar();
    CreateStatusBar(1);  // only the message pane
    SetStatusBarPane(0);
    SetStatusText("Ready");
    m_view = new CTarvoScheduleView(this, doc);
    m_view->OnInitialUpdate();
    for (int id : {kIdAddJob, kIdChangeJob, kIdRemoveJob, kIdRemoveAllJobs, kIdViewToolBar, kIdViewStatusBar,
                   static_cast<int>(wxID_EXIT)}) {
        Bind(wxEVT_MENU, &CMainFrame::OnCommand, this, id);
        Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCommand, this, id);
    }
    Bind(wxEVT_MENU, &CMainFrame::OnAbout, this, wxID_ABOUT);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCommand, this, wxID_HELP_CONTENTS);
    m_view->Tree().SetFocus();
}

void CMainFrame::BuildMenus() {
    auto* file = new wxMenu;
    file->Append(wxID_EXIT, kExitMenuText, "Quit the application");
    auto* job = new wxMenu;
    job->Append(kIdAddJob, kAddMenuText, kAddPrompt);
    job->Append(kIdChangeJob, kChangeMenuText, kChangePrompt);
    job->Append(kIdRemoveJob, kRemoveMenuText, kRemovePrompt);
    job->AppendSeparator();
    job->Append(kIdRemoveAllJobs, kRemoveAllMenuText, kRemoveAllPrompt);
    auto* view = new wxMenu;
    view->AppendCheckItem(kIdViewToolBar, kToolbarMenuText, "Show or hide the toolbar");
    view->AppendCheckItem(kIdViewStatusBar, kStatusBarMenuText, "Show or hide the status bar");
    auto* help = new wxMenu;
    help->Append(wxID_HELP_CONTENTS, kHelpTopicsMenuText, "Help contents");
    help->AppendSeparator();
    help->Append(wxID_ABOUT, kAboutMenuText, "Program information, version number and copyright");
    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(job, "&Job");
    bar->Append(view, "&View");
    bar->Append(help, "&Help");
    SetMenuBar(bar);
    wxAcceleratorEntry keys[] = {
        {wxACCEL_NORMAL, WXK_INSERT, kIdAddJob},          {wxACCEL_NORMAL, WXK_RETURN, kIdChangeJob},
        {wxACCEL_NORMAL, WXK_NUMPAD_ENTER, kIdChangeJob}, {wxACCEL_NORMAL, WXK_DELETE, kIdRemoveJob},
        {wxACCEL_NORMAL, WXK_F1, wxID_HELP_CONTENTS},
    };
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));
}

void CMainFrame::BuildToolBar() {
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    const wxSize size(16, 16);
    // The tool tip names the command; the status bar shows its prompt while the pointer is over the tool.
    auto tool = [&](int id, const char* name, const wxArtID& art, const char* prompt) {
        bar->AddTool(id, name, wxArtProvider::GetBitmap(art, wxART_TOOLBAR, size), wxNullBitmap,
                     wxITEM_NORMAL, name, prompt);
    };
    tool(kIdAddJob, "Add", wxART_NEW, kAddPrompt);
    tool(kIdChangeJob, "Change", wxART_EDIT, kChangePrompt);
    tool(kIdRemoveJob, "Remove", wxART_DELETE, kRemovePrompt);
    bar->AddSeparator();
    tool(wxID_ABOUT, "About", wxART_INFORMATION, "Program information, version number and copyright");
    bar->Realize();
}

void CMainFrame::OnCommand(wxCommandEvent& event) {
    CScheduleCommands& commands = m_view->Commands();
    switch (event.GetId()) {
        case kIdAddJob:
            return commands.Add();
        case kIdChangeJob:
            return commands.Change();
        case kIdRemoveJob:
            return commands.Remove();
        case kIdRemoveAllJobs:
            return commands.RemoveAll();
        case wxID_EXIT:
            Close();
            return;
        case kIdViewToolBar:
            GetToolBar()->Show(!GetToolBar()->IsShown());
            break;
        case kIdViewStatusBar:
            GetStatusBar()->Show(!GetStatusBar()->IsShown());
            break;
    }
    SendSizeEvent();
}

void CMainFrame::OnUpdateCommand(wxUpdateUIEvent& event) {
    const CScheduleCommands& commands = m_view->Commands();
    switch (event.GetId()) {
        case kIdChangeJob:
        case kIdRemoveJob:
            event.Enable(commands.CanChange());
            break;
        case kIdRemoveAllJobs:
            event.Enable(commands.CanRemoveAll());
            break;
        case kIdViewToolBar:
            event.Check(GetToolBar()->IsShown());
            break;
        case kIdViewStatusBar:
            event.Check(GetStatusBar()->IsShown());
            break;
        case wxID_HELP_CONTENTS:
            event.Enable(false);
            break;  // no help file is installed
        default:
            event.Enable(true);
            break;
    }
}

void CMainFrame::OnAbout(wxCommandEvent&) {
    ShowMessage(this, "Tarvo Scheduler for Defrag\nSchedules unattended runs of Tarvo Defrag.",
                "About Tarvo Scheduler for Defrag");
}

}  // namespace tarvo::ui::scheduler
