// TarvoScheduleView.cpp --- the job tree window, its images, and the editor runs of the Job commands.
#include "ui/scheduler/TarvoScheduleView.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/sizer.h>

#include "ui/scheduler/JobEditorDialog.h"
#include "ui/scheduler/SchedulerIds.h"

namespace tarvo::ui::scheduler {

namespace {

constexpr int kImageSize = 16;

// One 16-pixel image on white (the transparent colour): a frame and a fill.
wxBitmap DrawImage(const wxColour& frame, const wxColour& fill, bool wide) {
    wxBitmap bitmap(kImageSize, kImageSize);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetPen(wxPen(frame));
    dc.SetBrush(wxBrush(fill));
    if (wide) {
        dc.DrawRectangle(1, 4, 14, 8);  // a drive
        dc.DrawRectangle(11, 9, 2, 2);
    } else {
        dc.DrawRectangle(2, 1, 12, 14);  // a page of the schedule
        dc.DrawLine(4, 5, 12, 5);
        dc.DrawLine(4, 8, 12, 8);
    }
    dc.SelectObject(wxNullBitmap);
    bitmap.SetMask(new wxMask(bitmap, *wxWHITE));
    return bitmap;
}

wxImageList* MakeImages() {
    auto* images = new wxImageList(kImageSize, kImageSize, true);
    wxBitmap computer(kImageSize, kImageSize);
    {
        wxMemoryDC dc(computer);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        dc.SetPen(*wxBLACK_PEN);
        dc.SetBrush(wxBrush(wxColour(0, 128, 128)));
        dc.DrawRectangle(2, 1, 12, 10);  // the screen
        dc.DrawRectangle(4, 12, 8, 3);   // the stand
        dc.SelectObject(wxNullBitmap);
        computer.SetMask(new wxMask(computer, *wxWHITE));
    }
    images->Add(computer);                                                        // 0 the computer
    images->Add(DrawImage(*wxBLACK, wxColour(192, 192, 192), true));              // 1 a drive
    images->Add(DrawImage(wxColour(0, 0, 128), wxColour(128, 192, 255), false));  // 2 a SPACE job
    images->Add(DrawImage(wxColour(128, 0, 0), wxColour(255, 192, 128), false));  // 3 a COMPLETE job
    return images;
}

}  // namespace

CTarvoScheduleView::CTarvoScheduleView(wxWindow* parent, CTarvoScheduleDoc& doc)
    : wxPanel(parent),
      m_doc(doc),
      m_tree(new wxTreeCtrl(this, kIdJobTree, wxDefaultPosition, wxDefaultSize,
                            wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE)),
      m_control(*m_tree),
      m_jobTree(m_control),
      m_prompt(parent) {
    m_tree->AssignImageList(MakeImages());
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(m_tree, 1, wxEXPAND);
    SetSizer(sizer);
    m_commands = std::make_unique<tarvo::scheduler::CScheduleCommands>(
        m_doc.JobList(), m_jobTree, m_prompt,
        [this](tarvo::scheduler::CJobEditor& editor) { return RunEditor(editor); });
    m_tree->Bind(wxEVT_TREE_ITEM_ACTIVATED, &CTarvoScheduleView::OnActivated, this);
}

void CTarvoScheduleView::OnInitialUpdate() {
    m_jobTree.Fill(m_doc.JobList().Jobs());
}

bool CTarvoScheduleView::RunEditor(tarvo::scheduler::CJobEditor& editor) {
    CJobEditorDialog dialog(wxGetTopLevelParent(this), editor);
    return dialog.ShowModal() == wxID_OK;
}

void CTarvoScheduleView::OnActivated(wxTreeEvent& event) {
    // A double click on a job acts as Change; on the root or a drive it only folds.
    const uint32_t data = m_control.ItemData(CWxTreeControl::Handle(event.GetItem()));
    if (tarvo::scheduler::KindOfData(data) != tarvo::scheduler::TreeItemKind::Job) {
        event.Skip();
        return;
    }
    m_tree->SelectItem(event.GetItem());
    m_commands->Change();
}

}  // namespace tarvo::ui::scheduler
