// MainFrame.h --- the scheduling program's main window: menu, accelerators, toolbar, status bar and the view.
#pragma once

#include "ui/NtFirst.h"

#include <wx/frame.h>

#include "ui/scheduler/TarvoScheduleDoc.h"

namespace tarvo::ui::scheduler {

class CTarvoScheduleView;

class CMainFrame : public wxFrame {
public:
    // Builds the window around the document's view and fills the tree.
    explicit CMainFrame(CTarvoScheduleDoc& doc);

    CTarvoScheduleView& View() { return *m_view; }

    static constexpr int kMinWidth = 300;
    static constexpr int kMinHeight = 200;

private:
    void BuildMenus();
    void BuildToolBar();
    void OnCommand(wxCommandEvent& event);
    void OnUpdateCommand(wxUpdateUIEvent& event);
    void OnAbout(wxCommandEvent& event);

    CTarvoScheduleView* m_view = nullptr;
};

}  // namespace tarvo::ui::scheduler
