// TrayIcon.cpp --- tray icon clicks: restore the window, or menu 195 in unattended mode.
#include "ui/TrayIcon.h"

#include <wx/artprov.h>
#include <wx/menu.h>

#include "ui/MainFrame.h"
#include "ui/MenuIds.h"

namespace tarvo::ui {

CTrayIcon::CTrayIcon(CMainFrame& frame, bool unattended) : m_frame(frame), m_unattended(unattended) {
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, &CTrayIcon::OnLeftDoubleClick, this);
    SetTip("Tarvo Defrag");  // string 33502
}

void CTrayIcon::SetTip(const std::string& tip) {
    SetIcon(wxArtProvider::GetIcon(wxART_HARDDISK, wxART_OTHER, wxSize(16, 16)), wxString::FromUTF8(tip.substr(0, 62)));
}

wxMenu* CTrayIcon::CreatePopupMenu() {
    if (!m_unattended) return nullptr;
    auto* menu = new wxMenu;  // menu 195
    menu->Append(kIdAbout, "&About Tarvo Defrag...");
    menu->AppendSeparator();
    menu->Append(kIdExit, "E&xit");
    menu->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        wxCommandEvent forward(wxEVT_MENU, event.GetId());
        wxPostEvent(&m_frame, forward);
    });
    return menu;
}

void CTrayIcon::OnLeftDoubleClick(wxTaskBarIconEvent&) {
    if (m_unattended) return;
    m_frame.Show();
    m_frame.Iconize(false);
    m_frame.Raise();
}

}  // namespace tarvo::ui
