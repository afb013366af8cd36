// TrayIcon.h --- the program's icon in the system tray with its tip; silent where no tray exists.
#pragma once

#include "ui/NtFirst.h"

#include <wx/taskbar.h>

#include <string>

namespace tarvo::ui {

class CMainFrame;

class CTrayIcon : public wxTaskBarIcon {
public:
    CTrayIcon(CMainFrame& frame, bool unattended);
    // Sets the tip (at most 62 characters).
    void SetTip(const std::string& tip);

private:
    wxMenu* CreatePopupMenu() override;
    void OnLeftDoubleClick(wxTaskBarIconEvent& event);
    CMainFrame& m_frame;
    bool m_unattended;
};

}  // namespace tarvo::ui
