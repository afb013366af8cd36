// JobEditorDialog.cpp --- the job editor's controls and how they follow the editor's rules.
#include "ui/scheduler/JobEditorDialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/services/ServiceClock.h"
#include "scheduler/SchedulerTexts.h"
#include "ui/scheduler/MessageBoxPrompt.h"
#include "ui/scheduler/SchedulerIds.h"

namespace tarvo::ui::scheduler {

using namespace tarvo::scheduler;

namespace {
const char* const kOccurrenceLabels[] = {"&Today", "Tomo&rrow", "&Every", "&Next"};
constexpr int kSpinRange = 1000;  // the spin's own value only tells up from down
}  // namespace

CJobEditorDialog::CJobEditorDialog(wxWindow* parent, CJobEditor& editor)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(editor.Title())), m_editor(editor) {
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    columns->Add(BuildMethodAndLogging(), 1, wxEXPAND | wxALL, 6);
    columns->Add(BuildSchedule(), 1, wxEXPAND | wxALL, 6);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, wxID_OK, "OK"), 0, wxALL, 4);
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), 0, wxALL, 4);
    auto* help = new wxButton(this, kIdEditorHelp, "&Help");
    help->Disable();  // no help file is installed
    buttons->Add(help, 0, wxALL, 4);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(columns, 1, wxEXPAND);
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 4);
    SetSizerAndFit(top);
    SetAffirmativeId(wxID_OK);
    LoadControls();
    ApplyEnabledStates();
    Bind(wxEVT_BUTTON, &CJobEditorDialog::OnOk, this, wxID_OK);
    Bind(wxEVT_CHILD_FOCUS, &CJobEditorDialog::OnChildFocus, this);
    CentreOnParent();
}

wxSizer* CJobEditorDialog::BuildMethodAndLogging() {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* method = new wxStaticBoxSizer(wxVERTICAL, this, kMethodGroup);
    m_space = new wxRadioButton(method->GetStaticBox(), kIdSpace, "SPACE", wxDefaultPosition, wxDefaultSize,
                                wxRB_GROUP);
    m_complete = new wxRadioButton(method->GetStaticBox(), kIdComplete, "COMPLETE");
    method->Add(m_space, 0, wxALL, 3);
    method->Add(m_complete, 0, wxALL, 3);
    column->Add(method, 0, wxEXPAND | wxBOTTOM, 6);

    auto* sort = new wxStaticBoxSizer(wxVERTICAL, this, kSortGroup);
    m_sort = new wxChoice(sort->GetStaticBox(), kIdSortList);
    for (const char* entry : kSortEntries) m_sort->Append(entry);
    sort->Add(m_sort, 0, wxEXPAND | wxALL, 3);
    column->Add(sort, 0, wxEXPAND | wxBOTTOM, 6);

    auto* logging = new wxStaticBoxSizer(wxVERTICAL, this, kLoggingGroup);
    m_loggingOff = new wxRadioButton(logging->GetStaticBox(), kIdLoggingDisabled, "disabled",
                                     wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    m_loggingOn = new wxRadioButton(logging->GetStaticBox(), kIdLoggingEnabled, "enabled");
    m_logLevel = new wxChoice(logging->GetStaticBox(), kIdLogLevelList);
    for (const char* entry : kLogLevelEntries) m_logLevel->Append(entry);
    logging->Add(m_loggingOff, 0, wxALL, 3);
    logging->Add(m_loggingOn, 0, wxALL, 3);
    logging->Add(m_logLevel, 0, wxEXPAND | wxALL, 3);
    column->Add(logging, 0, wxEXPAND);

    m_space->Bind(wxEVT_RADIOBUTTON, &CJobEditorDialog::OnMethod, this);
    m_complete->Bind(wxEVT_RADIOBUTTON, &CJobEditorDialog::OnMethod, this);
    m_loggingOff->Bind(wxEVT_RADIOBUTTON, &CJobEditorDialog::OnLogging, this);
    m_loggingOn->Bind(wxEVT_RADIOBUTTON, &CJobEditorDialog::OnLogging, this);
    return column;
}

wxSizer* CJobEditorDialog::BuildSchedule() {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* run = new wxStaticBoxSizer(wxHORIZONTAL, this, kOccurrenceGroup);
    for (int i = 0; i < 4; ++i) {
        m_occurrences[i] = new wxRadioButton(run->GetStaticBox(), kIdToday + i, kOccurrenceLabels[i],
                                             wxDefaultPosition, wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        m_occurrences[i]->Bind(wxEVT_RADIOBUTTON, &CJobEditorDialog::OnOccurrence, this);
        run->Add(m_occurrences[i], 0, wxALL, 3);
    }
    // A group always has one button on: a hidden last one stands for "none chosen yet" (a new job).
    m_noOccurrence = new wxRadioButton(run->GetStaticBox(), wxID_ANY, "");
    m_noOccurrence->Hide();
    column->Add(run, 0, wxEXPAND | wxBOTTOM, 6);

    auto* days = new wxStaticBoxSizer(wxVERTICAL, this, kDaysGroup);
    m_days = new wxListBox(days->GetStaticBox(), kIdDaysList, wxDefaultPosition, wxSize(-1, 120), 0, nullptr,
                           wxLB_MULTIPLE);
    days->Add(m_days, 1, wxEXPAND | wxALL, 3);
    column->Add(days, 1, wxEXPAND | wxBOTTOM, 6);

    auto* time = new wxStaticBoxSizer(wxHORIZONTAL, this, kTimeGroup);
    const wxSize fieldSize(FromDIP(40), -1);
    m_hour = new wxTextCtrl(time->GetStaticBox(), kIdHour, "", wxDefaultPosition, fieldSize);
    m_minute = new wxTextCtrl(time->GetStaticBox(), kIdMinute, "", wxDefaultPosition, fieldSize);
    m_spin = new wxSpinButton(time->GetStaticBox(), kIdSpin, wxDefaultPosition, wxDefaultSize,
                              wxSP_VERTICAL | wxSP_WRAP);
    m_spin->SetRange(-kSpinRange, kSpinRange);
    m_spin->Bind(wxEVT_SPIN_UP, &CJobEditorDialog::OnSpin, this);
    m_spin->Bind(wxEVT_SPIN_DOWN, &CJobEditorDialog::OnSpin, this);
    time->Add(m_hour, 0, wxALIGN_CENTER_VERTICAL | wxALL, 3);
    time->Add(new wxStaticText(time->GetStaticBox(), wxID_ANY, ":"), 0, wxALIGN_CENTER_VERTICAL);
    time->Add(m_minute, 0, wxALIGN_CENTER_VERTICAL | wxALL, 3);
    time->Add(m_spin, 0, wxALIGN_CENTER_VERTICAL | wxALL, 3);
    column->Add(time, 0, wxEXPAND);
    return column;
}

void CJobEditorDialog::LoadControls() {
    const JobEditorState& state = m_editor.State();
    (state.method == MethodComplete ? m_complete : m_space)->SetValue(true);
    m_sort->SetSelection(state.sortIndex);
    (state.loggingEnabled ? m_loggingOn : m_loggingOff)->SetValue(true);
    m_logLevel->SetSelection(state.logLevelIndex);
    if (state.occurrence >= Today && state.occurrence <= Next) {
        m_occurrences[state.occurrence]->SetValue(true);
    } else {
        m_noOccurrence->SetValue(true);
    }
    for (int index = 0; index < kDayEntryCount; ++index) {
        m_days->Append(wxString::FromUTF8(DayEntryText(index)));
        if (state.days[index])
            m_days->SetSelection(index);
    }
    m_hour->ChangeValue(state.hourText);
    m_minute->ChangeValue(state.minuteText);
}

void CJobEditorDialog::ApplyEnabledStates() {
    m_sort->Enable(m_editor.SortEnabled());
    m_logLevel->Enable(m_editor.LogLevelEnabled());
    m_days->Enable(m_editor.DaysEnabled());
    m_spin->Enable(m_spinField != nullptr);
}

void CJobEditorDialog::StoreControls() {
    JobEditorState& state = m_editor.State();
    state.sortIndex = std::max(m_sort->GetSelection(), 0);
    state.logLevelIndex = m_logLevel->GetSelection();
    for (int index = 0; index < kDayEntryCount; ++index) state.days[index] = m_days->IsSelected(index);
    state.hourText = m_hour->GetValue().utf8_string();
    state.minuteText = m_minute->GetValue().utf8_string();
}

void CJobEditorDialog::OnMethod(wxCommandEvent&) {
    m_editor.ChooseMethod(m_complete->GetValue() ? MethodComplete : MethodSpace);
    ApplyEnabledStates();
}

void CJobEditorDialog::OnLogging(wxCommandEvent&) {
    m_editor.State().logLevelIndex = m_logLevel->GetSelection();
    m_editor.ChooseLogging(m_loggingOn->GetValue());
    m_logLevel->SetSelection(m_editor.State().logLevelIndex);
    ApplyEnabledStates();
}

void CJobEditorDialog::OnOccurrence(wxCommandEvent& event) {
    const int chosen = event.GetId() - kIdToday;
    m_editor.ChooseOccurrence(static_cast<int16_t>(chosen));
    ApplyEnabledStates();
}

void CJobEditorDialog::OnSpin(wxSpinEvent& event) {
    if (m_spinField == nullptr)
        return;
    const TimeField field = m_spinField == m_hour ? TimeField::Hour : TimeField::Minute;
    std::string& text = field == TimeField::Hour ? m_editor.State().hourText : m_editor.State().minuteText;
    text = m_spinField->GetValue().utf8_string();
    m_editor.Spin(field, event.GetEventType() == wxEVT_SPIN_UP ? +1 : -1);
    m_spinField->ChangeValue(text);
    m_spin->SetValue(0);
}

void CJobEditorDialog::OnChildFocus(wxChildFocusEvent& event) {
    // The spin steps the time field that has the focus; it keeps its field while it takes the focus itself.
    wxWindow* focused = wxWindow::FindFocus();
    if (focused == m_hour || focused == m_minute) {
        m_spinField = static_cast<wxTextCtrl*>(focused);
    } else if (focused != m_spin) {
        m_spinField = nullptr;
    }
    m_spin->Enable(m_spinField != nullptr);
    event.Skip();
}

void CJobEditorDialog::OnOk(wxCommandEvent&) {
    StoreControls();
    const std::string message = m_editor.Confirm(platform::ScheduleNow());
    if (!message.empty()) {
        ShowMessage(this, message);
        return;
    }
    EndModal(wxID_OK);
}

}  // namespace tarvo::ui::scheduler
