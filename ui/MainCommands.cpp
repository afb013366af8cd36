// MainCommands.cpp --- the menu bar, accelerators and toolbar of the main window, bound to the run controller.
#include "ui/NtFirst.h"

#include <unistd.h>
#include <wx/accel.h>
#include <wx/artprov.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/toolbar.h>

#include "app/Logger.h"
#include "app/Settings.h"
#include "platform/drives/Win32Files.h"
#include "ui/MainFrame.h"
#include "ui/MapView.h"
#include "ui/MenuIds.h"

namespace tarvo::ui {

namespace {

using control::CommandId;

int Id(CommandId id) { return WxIdOf(static_cast<int>(id)); }

bool IsControllerCommand(int id) {
    switch (static_cast<CommandId>(CommandOf(id))) {
        case CommandId::StartSpace:
        case CommandId::Stop:
        case CommandId::DriveInfo:
        case CommandId::Refresh:
        case CommandId::SystemUsedFiles:
        case CommandId::Options:
        case CommandId::Analyze:
        case CommandId::DefragAllDrives:
        case CommandId::StartComplete:
        case CommandId::Pause:
        case CommandId::Scheduling:
        case CommandId::ExclusionList:
        case CommandId::ReloadDriveList: return true;
    }
    return false;
}

// Commands whose windows are not part of this program yet stay disabled.
bool WindowMissing(int id) {
    return id == Id(CommandId::DriveInfo) || id == Id(CommandId::ExclusionList) || id == kIdHelpTopics ||
           id == kIdContextHelp;
}

}  // namespace

void CMainFrame::BuildMenus() {
    auto* drive = new wxMenu;
    drive->Append(Id(CommandId::DriveInfo), "&Drive Info...\tCtrl+I", "Drive information\nDrive Info");
    drive->Append(Id(CommandId::SystemUsedFiles), "&System Used Files...\tCtrl+S", "Files that could not be moved");
    drive->Append(Id(CommandId::ExclusionList), "File Exclusion List...", "Edit the file exclusion list");
    drive->Append(Id(CommandId::ReloadDriveList), "&Reload Drive List\tF5", "Reload the drive list");
    drive->AppendSeparator();
    drive->Append(kIdExit, "E&xit\tAlt+F4", "Quit the application");
    auto* view = new wxMenu;
    view->AppendCheckItem(kIdToolBar, "&Tool Bar", "Show or hide the toolbar");
    view->AppendCheckItem(kIdStatusBar, "&Status Bar", "Show or hide the status bar");
    view->AppendCheckItem(kIdFlatLook, "&Flat Look", "Flat toolbar");
    view->AppendCheckItem(kIdHideWhenMinimized, "&Hide When Minimized   ", "Only the tray icon while minimized");
    view->AppendCheckItem(kIdMessageLog, "&Message Log", "Show or hide the message log");
    auto* action = new wxMenu;
    // The Break key is called Pause on this system's keyboards (Ctrl+Pause gives Break);
    // OnBreakKey handles both, the labels only name the key.
    action->AppendCheckItem(Id(CommandId::Pause), "&Pause Process\tPause", "Pause or resume the running process");
    action->Append(Id(CommandId::Stop), "S&top Process\tCtrl+Pause", "Stop the running process");
    action->AppendSeparator();
    action->Append(Id(CommandId::Analyze), "&Analyze Drive\tF9", "Analyze drive");
    action->Append(Id(CommandId::StartSpace), "Start &SPACE Defragmentation\tF10", "SPACE defragmentation");
    action->Append(Id(CommandId::StartComplete), "Start &COMPLETE Defragmentation\tF11", "COMPLETE defragmentation");
    action->Append(Id(CommandId::DefragAllDrives), "&Defragment All Drives\tF12", "Defragment all drives");
    auto* settings = new wxMenu;
    settings->Append(Id(CommandId::Scheduling), "Sch&eduling...", "Start the scheduling program");
    settings->Append(Id(CommandId::Options), "&Options...", "Options");
    auto* help = new wxMenu;
    help->Append(kIdHelpTopics, "&Help Topics", "Help contents");
    help->Append(kIdContextHelp, "&Context Help", "Context help");
    help->AppendSeparator();
    help->Append(kIdAbout, "&About Tarvo Defrag...", "Program information");
    auto* bar = new wxMenuBar;
    bar->Append(drive, "&Drive");
    bar->Append(view, "&View");
    bar->Append(action, "&Action");
    bar->Append(settings, "&Settings");
    bar->Append(help, "&Help");
    SetMenuBar(bar);

    // Accelerator table 128: the keys the menu texts name, and the pane keys.
    wxAcceleratorEntry keys[] = {
        {wxACCEL_CTRL, 'I', Id(CommandId::DriveInfo)},   {wxACCEL_CTRL, 'S', Id(CommandId::SystemUsedFiles)},
        {wxACCEL_NORMAL, WXK_F5, Id(CommandId::ReloadDriveList)}, {wxACCEL_NORMAL, WXK_F9, Id(CommandId::Analyze)},
        {wxACCEL_NORMAL, WXK_F10, Id(CommandId::StartSpace)}, {wxACCEL_NORMAL, WXK_F11, Id(CommandId::StartComplete)},
        {wxACCEL_NORMAL, WXK_F12, Id(CommandId::DefragAllDrives)}, {wxACCEL_NORMAL, WXK_F6, kIdNextPane},
        {wxACCEL_SHIFT, WXK_F6, kIdPreviousPane},
    };
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));
    Bind(wxEVT_MENU, &CMainFrame::OnCommand, this);
    Bind(wxEVT_TOOL, &CMainFrame::OnCommand, this);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCommand, this);
    Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnBreakKey, this);
}

// Pause (Break) pauses or resumes, Ctrl+Pause or Ctrl+Break stops; seen before
// any child control so that the keys work wherever the focus is.
void CMainFrame::OnBreakKey(wxKeyEvent& event) {
    const int code = event.GetKeyCode();
    if (code != WXK_PAUSE && code != WXK_CANCEL) {
        event.Skip();
        return;
    }
    const CommandId command = event.ControlDown() || code == WXK_CANCEL ? CommandId::Stop : CommandId::Pause;
    wxCommandEvent menu(wxEVT_MENU, Id(command));
    menu.SetEventObject(this);
    ProcessWindowEvent(menu);
}

void CMainFrame::BuildToolBar() {
    const long flat = app::Settings().FlatBar() ? wxTB_FLAT : 0;
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | flat);
    const wxSize size(16, 16);
    bar->AddTool(Id(CommandId::Analyze), "Analyze", wxArtProvider::GetBitmap(wxART_FIND, wxART_TOOLBAR, size),
                 "Analyze Drive");
    bar->AddTool(Id(CommandId::StartSpace), "SPACE", wxArtProvider::GetBitmap(wxART_GO_FORWARD, wxART_TOOLBAR, size),
                 "Start SPACE Defragmentation");
    bar->AddTool(Id(CommandId::StartComplete), "COMPLETE",
                 wxArtProvider::GetBitmap(wxART_GOTO_LAST, wxART_TOOLBAR, size), "Start COMPLETE Defragmentation");
    bar->AddSeparator();
    bar->AddCheckTool(Id(CommandId::Pause), "Pause", wxArtProvider::GetBitmap(wxART_UNDO, wxART_TOOLBAR, size),
                      wxNullBitmap, "Pause Process");
    bar->AddTool(Id(CommandId::Stop), "Stop", wxArtProvider::GetBitmap(wxART_CLOSE, wxART_TOOLBAR, size), "Stop Process");
    bar->AddSeparator();
    bar->AddTool(kIdAbout, "About", wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_TOOLBAR, size),
                 "About Tarvo Defrag");
    bar->Realize();
}

void CMainFrame::OnUpdateCommand(wxUpdateUIEvent& event) {
    const int id = event.GetId();
    if (WindowMissing(id) || id == kIdClusterInspector) {
        event.Enable(false);
    } else if (IsControllerCommand(id)) {
        if (!m_doc) {
            event.Enable(false);
            return;
        }
        const control::CommandState state = m_doc->UpdateCommand(static_cast<CommandId>(CommandOf(id)));
        // The worker adds to the system-used files list: it is read only while none runs.
        const bool listBusy = id == Id(CommandId::SystemUsedFiles) && m_doc->WorkerRunning();
        event.Enable(state.enabled && !listBusy);
        if (id == Id(CommandId::Pause)) event.Check(state.checked);
    } else if (id == kIdFlatLook) {
        event.Check(app::Settings().FlatBar() != 0);
    } else if (id == kIdHideWhenMinimized) {
        event.Check(app::Settings().HideOnMinimize() != 0);
    } else if (id == kIdToolBar) {
        event.Check(GetToolBar() && GetToolBar()->IsShown());
    } else if (id == kIdStatusBar) {
        event.Check(GetStatusBar() && GetStatusBar()->IsShown());
    } else if (id == kIdMessageLog) {
        event.Enable(app::HasLoggedMessages() != 0);
        event.Check(false);
    } else {
        event.Skip();
    }
}

void CMainFrame::OnCommand(wxCommandEvent& event) {
    const int id = event.GetId();
    if (IsControllerCommand(id)) {
        if (id == Id(CommandId::SystemUsedFiles) && m_doc && m_doc->WorkerRunning()) return;
        if (m_doc && m_doc->UpdateCommand(static_cast<CommandId>(CommandOf(id))).enabled)
            m_doc->OnCommand(static_cast<CommandId>(CommandOf(id)));
        return;
    }
    switch (id) {
        case kIdExit: Close(); break;
        case kIdToolBar:
            GetToolBar()->Show(!GetToolBar()->IsShown());
            SendSizeEvent();
            break;
        case kIdStatusBar:
            GetStatusBar()->Show(!GetStatusBar()->IsShown());
            SendSizeEvent();
            break;
        case kIdFlatLook: {
            const bool flat = !app::Settings().FlatBar();
            app::Settings().SetFlatBar(flat, app::Persist::Yes);
            GetToolBar()->SetWindowStyleFlag(flat ? (GetToolBar()->GetWindowStyleFlag() | wxTB_FLAT)
                                                  : (GetToolBar()->GetWindowStyleFlag() & ~wxTB_FLAT));
            GetToolBar()->Refresh();
            break;
        }
        case kIdHideWhenMinimized:
            app::Settings().SetHideOnMinimize(!app::Settings().HideOnMinimize(), app::Persist::Yes);
            break;
        case kIdMessageLog: app::ShowLog(); break;
        case kIdAbout: ShowAbout(); break;
        case kIdNextPane:
        case kIdPreviousPane: NavigateIn(id == kIdNextPane ? wxNavigationKeyEvent::IsForward
                                                           : wxNavigationKeyEvent::IsBackward);
            break;
        default: event.Skip(); break;
    }
}

void CMainFrame::ShowAbout() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const unsigned long memoryKb = pages > 0 && pageSize > 0 ? static_cast<unsigned long>(pages / 1024 * pageSize) : 0;
    wxString free = "Unavailable";  // string 113
    const volume::CDefragJob* job = m_doc ? m_doc->Job() : nullptr;
    if (job && !job->m_drive.empty()) {
        platform::DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
        if (platform::GetDiskFreeSpaceA(job->m_rootPath.c_str(), &sectors, &bytes, &freeClusters, &total))
            free = wxString::Format("%lu KB Free on %c:",
                                    static_cast<unsigned long>(uint64_t{freeClusters} * sectors * bytes / 1024),
                                    job->m_drive[0]);
    }
    wxMessageDialog about(this,
                          wxString::Format("Tarvo Defrag\nVersion %s\n\n%lu KB\n%s", "0.1.0", memoryKb, free),
                          "About Tarvo Defrag", wxOK | wxICON_INFORMATION);
    about.ShowModal();
}

}  // namespace tarvo::ui
