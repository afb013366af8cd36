// TarvoScheduleView.h --- the view: one tree of "My Computer", the drives and the jobs over the whole client
// area.
#pragma once

#include "ui/NtFirst.h"

#include <wx/panel.h>
#include <wx/treectrl.h>

#include <memory>

#include "scheduler/JobTree.h"
#include "scheduler/ScheduleCommands.h"
#include "ui/scheduler/MessageBoxPrompt.h"
#include "ui/scheduler/TarvoScheduleDoc.h"
#include "ui/scheduler/WxTreeControl.h"

namespace tarvo::ui::scheduler {

class CTarvoScheduleView : public wxPanel {
public:
    CTarvoScheduleView(wxWindow* parent, CTarvoScheduleDoc& doc);

    // Fills the tree from the document's job list.
    void OnInitialUpdate();

    tarvo::scheduler::CScheduleCommands& Commands() { return *m_commands; }
    tarvo::scheduler::CJobTree& JobTree() { return m_jobTree; }
    wxTreeCtrl& Tree() { return *m_tree; }
    CTarvoScheduleDoc& Document() { return m_doc; }

private:
    void OnActivated(wxTreeEvent& event);
    bool RunEditor(tarvo::scheduler::CJobEditor& editor);

    CTarvoScheduleDoc& m_doc;
    wxTreeCtrl* m_tree;
    CWxTreeControl m_control;
    tarvo::scheduler::CJobTree m_jobTree;
    CMessageBoxPrompt m_prompt;
    std::unique_ptr<tarvo::scheduler::CScheduleCommands> m_commands;
};

}  // namespace tarvo::ui::scheduler
