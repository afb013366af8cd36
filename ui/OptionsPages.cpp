// OptionsPages.cpp --- the controls of the four option pages and how each click reaches the sheet's values.
#include "ui/OptionsPages.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/msgdlg.h>  // the base of the generic box, declared first
#include <wx/generic/msgdlgg.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "ui/texts/OptionsTexts.h"

namespace tarvo::ui {

namespace {

constexpr int kGap = 6;

wxArrayString Items(const char* const* texts, size_t count) {
    wxArrayString items;
    for (size_t i = 0; i < count; ++i) items.Add(texts[i]);
    return items;
}

// A labelled 0..2 priority slider with "Low" and "High" under its ends.
wxSizer* PrioritySlider(wxWindow* parent, int id, const char* label, wxSlider*& slider) {
    auto* row = new wxBoxSizer(wxVERTICAL);
    row->Add(new wxStaticText(parent, wxID_ANY, label));
    slider = new wxSlider(parent, id, 1, 0, 2, wxDefaultPosition, wxSize(220, -1),
                          wxSL_HORIZONTAL | wxSL_AUTOTICKS);
    row->Add(slider, 0, wxEXPAND);
    auto* ends = new wxBoxSizer(wxHORIZONTAL);
    ends->Add(new wxStaticText(parent, wxID_ANY, "Low"));
    ends->AddStretchSpacer();
    ends->Add(new wxStaticText(parent, wxID_ANY, "High"));
    row->Add(ends, 0, wxEXPAND);
    return row;
}

}  // namespace

CMyPropertyPage::CMyPropertyPage(wxWindow* parent, app::COptionsSheetData& data,
                                 std::function<void()> modified)
    : wxPanel(parent), m_data(data), m_modifiedChanged(std::move(modified)) {}

void CMyPropertyPage::SetModified(bool modified) {
    m_modified = modified;
    if (m_modifiedChanged)
        m_modifiedChanged();
}

// --- Defragmentation ---

CMyPropertyPage1::CMyPropertyPage1(wxWindow* parent, app::COptionsSheetData& data,
                                   std::function<void()> modified)
    : CMyPropertyPage(parent, data, std::move(modified)) {
    auto* grid = new wxFlexGridSizer(3, kGap, 4 * kGap);
    // Each row is its own radio group.
    auto row = [&](const char* system, int spaceId, int completeId, wxRadioButton*& space,
                   wxRadioButton*& complete) {
        grid->Add(new wxStaticText(this, wxID_ANY, system), 0, wxALIGN_CENTER_VERTICAL);
        space = new wxRadioButton(this, spaceId, "SPACE", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
        complete = new wxRadioButton(this, completeId, "COMPLETE");
        grid->Add(space, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(complete, 0, wxALIGN_CENTER_VERTICAL);
    };
    row("FAT", kIdFatSpace, kIdFatComplete, m_fatSpace, m_fatComplete);
    row("NTFS", kIdNtfsSpace, kIdNtfsComplete, m_ntfsSpace, m_ntfsComplete);
    m_pageFile = new wxCheckBox(this, kIdPageFile, kPageFileText);
    m_sort = new wxChoice(this, kIdSortList, wxDefaultPosition, wxDefaultSize,
                          Items(kSortItems, std::size(kSortItems)));

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 2 * kGap);
    column->Add(m_pageFile, 0, wxALL, 2 * kGap);
    column->Add(new wxStaticText(this, wxID_ANY, kSortLabel), 0, wxLEFT | wxRIGHT | wxTOP, 2 * kGap);
    column->Add(m_sort, 0, wxALL, 2 * kGap);
    SetSizer(column);

    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { ReadControls(); });
    Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { ReadControls(); });
    Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ReadControls(); });
}

void CMyPropertyPage1::ShowValues() {
    const app::OptionsValues& v = m_data.Values();
    (v.fatMethod == 0 ? m_fatSpace : m_fatComplete)->SetValue(true);
    (v.ntfsMethod == 0 ? m_ntfsSpace : m_ntfsComplete)->SetValue(true);
    m_pageFile->SetValue(v.bootPageFile != 0);
    m_sort->SetSelection(v.sortIndex);
}

void CMyPropertyPage1::ReadControls() {
    app::OptionsValues& v = m_data.Values();
    v.fatMethod = m_fatComplete->GetValue() ? 1 : 0;
    v.ntfsMethod = m_ntfsComplete->GetValue() ? 1 : 0;
    v.bootPageFile = m_pageFile->GetValue() ? 1 : 0;
    v.sortIndex = m_sort->GetSelection() == 1 ? 1 : 0;
    SetModified(true);
}

// --- Display ---

CMyPropertyPage2::CMyPropertyPage2(wxWindow* parent, app::COptionsSheetData& data,
                                   std::function<void()> modified)
    : CMyPropertyPage(parent, data, std::move(modified)) {
    m_slider = new wxSlider(this, kIdBlockSizeSlider, 9, app::kMinBlockSize, app::kMaxBlockSize,
                            wxDefaultPosition, wxSize(220, -1), wxSL_HORIZONTAL | wxSL_AUTOTICKS);
    // The edit shows the slider's position; the slider is how the size is chosen.
    m_edit = new wxTextCtrl(this, kIdBlockSizeEdit, "", wxDefaultPosition, wxSize(40, -1), wxTE_READONLY);
    m_threeD = new wxCheckBox(this, kIdThreeD, kThreeDText);
    m_noMap = new wxCheckBox(this, kIdNoMap, kNoMapText);

    auto* size = new wxBoxSizer(wxHORIZONTAL);
    size->Add(m_slider, 0, wxALIGN_CENTER_VERTICAL);
    size->Add(m_edit, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, kGap);
    size->Add(new wxStaticText(this, wxID_ANY, kBlockSizeUnit), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, kGap);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(size, 0, wxALL, 2 * kGap);
    column->Add(m_threeD, 0, wxALL, 2 * kGap);
    column->Add(m_noMap, 0, wxALL, 2 * kGap);
    SetSizer(column);

    Bind(wxEVT_SLIDER, [this](wxCommandEvent&) { ReadControls(); });
    Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { ReadControls(); });
}

void CMyPropertyPage2::ShowValues() {
    const app::OptionsValues& v = m_data.Values();
    m_slider->SetValue(v.blockSize);
    m_edit->ChangeValue(wxString::Format("%d", m_slider->GetValue()));
    m_threeD->SetValue(v.threeD != 0);
    m_noMap->SetValue(v.noMap != 0);
}

void CMyPropertyPage2::ReadControls() {
    app::OptionsValues& v = m_data.Values();
    v.blockSize = m_slider->GetValue();
    m_edit->ChangeValue(wxString::Format("%d", v.blockSize));
    v.threeD = m_threeD->GetValue() ? 1 : 0;
    v.noMap = m_noMap->GetValue() ? 1 : 0;
    SetModified(true);
}

// --- Advanced ---

CMyPropertyPage3::CMyPropertyPage3(wxWindow* parent, app::COptionsSheetData& data,
                                   std::function<void()> modified)
    : CMyPropertyPage(parent, data, std::move(modified)) {
    auto* priorities = new wxStaticBoxSizer(wxHORIZONTAL, this, "Priority");
    priorities->Add(PrioritySlider(priorities->GetStaticBox(), kIdPriorityInvoked, "When invoked", m_invoked),
                    0, wxALL, kGap);
    priorities->Add(
        PrioritySlider(priorities->GetStaticBox(), kIdPriorityScheduled, "When scheduled", m_scheduled), 0,
        wxALL, kGap);
    m_removable = new wxCheckBox(this, kIdRemovable, kRemovableText);
    // Kept for the dialog's layout only: no behaviour depends on the setting.
    auto* force = new wxCheckBox(this, kIdForceAnalyzation, kForceAnalyzationText);
    force->Disable();
    force->Hide();

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(priorities, 0, wxALL, 2 * kGap);
    column->Add(m_removable, 0, wxALL, 2 * kGap);
    column->Add(force, 0, wxALL, 2 * kGap);
    SetSizer(column);

    Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        m_data.Values().priorityInvoked = m_invoked->GetValue();
        m_data.Values().priorityScheduled = m_scheduled->GetValue();
        SetModified(true);
    });
    m_removable->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { OnRemovable(); });
}

void CMyPropertyPage3::ShowValues() {
    const app::OptionsValues& v = m_data.Values();
    m_invoked->SetValue(v.priorityInvoked);
    m_scheduled->SetValue(v.priorityScheduled);
    m_removable->SetValue(v.removable != 0);
}

void CMyPropertyPage3::OnRemovable() {
    const app::BOOL before = m_data.Values().removable;
    const app::BOOL now = m_data.SetRemovable(m_removable->GetValue() ? 1 : 0, [this] {
        wxGenericMessageDialog ask(this, kRemovableWarning, "Tarvo Defrag", wxYES_NO | wxICON_EXCLAMATION);
        return ask.ShowModal() == wxID_YES;
    });
    m_removable->SetValue(now != 0);
    if (now != before)
        SetModified(true);
}

// --- Diagnostics ---

CMyPropertyPage4::CMyPropertyPage4(wxWindow* parent, app::COptionsSheetData& data,
                                   std::function<void()> modified)
    : CMyPropertyPage(parent, data, std::move(modified)) {
    auto* logging = new wxStaticBoxSizer(wxVERTICAL, this, "Logging");
    wxWindow* box = logging->GetStaticBox();
    m_disabled =
        new wxRadioButton(box, kIdLoggingDisabled, "disabled", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    m_enabled = new wxRadioButton(box, kIdLoggingEnabled, "enabled");
    m_level = new wxChoice(box, kIdLevelList, wxDefaultPosition, wxDefaultSize,
                           Items(kLevelItems, std::size(kLevelItems)));
    logging->Add(m_disabled, 0, wxALL, kGap);
    logging->Add(m_enabled, 0, wxALL, kGap);
    logging->Add(m_level, 0, wxALL | wxEXPAND, kGap);
    m_quiet = new wxCheckBox(this, kIdQuiet, kQuietText);
    m_buffer = new wxCheckBox(this, kIdBuffer, kBufferText);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(logging, 0, wxALL | wxEXPAND, 2 * kGap);
    column->Add(m_quiet, 0, wxALL, 2 * kGap);
    column->Add(m_buffer, 0, wxALL, 2 * kGap);
    SetSizer(column);

    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { ReadControls(); });
    Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { ReadControls(); });
    Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ReadControls(); });
}

void CMyPropertyPage4::ShowValues() {
    const app::OptionsValues& v = m_data.Values();
    (v.loggingIndex == 0 ? m_disabled : m_enabled)->SetValue(true);
    m_level->SetSelection(v.levelIndex);
    m_level->Enable(v.loggingIndex != 0);
    m_quiet->SetValue(v.quiet != 0);
    m_buffer->SetValue(v.buffer != 0);
}

void CMyPropertyPage4::ReadControls() {
    app::OptionsValues& v = m_data.Values();
    v.loggingIndex = m_enabled->GetValue() ? 1 : 0;
    v.levelIndex = m_level->GetSelection() < 0 ? 0 : m_level->GetSelection();
    m_level->Enable(v.loggingIndex != 0);
    v.quiet = m_quiet->GetValue() ? 1 : 0;
    v.buffer = m_buffer->GetValue() ? 1 : 0;
    SetModified(true);
}

}  // namespace tarvo::ui
