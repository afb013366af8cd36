// JobEditorDialog.h --- the job editor: method, sort order, logging, occurrence, days and time of one job.
//
// The controls mirror a CJobEditor; OK copies them into it and closes only
// when its Confirm passes, otherwise the message is shown and the editor stays.
#pragma once

#include "ui/NtFirst.h"

#include <wx/dialog.h>

#include <array>

#include "scheduler/JobEditor.h"

class wxChoice;
class wxListBox;
class wxRadioButton;
class wxSpinButton;
class wxSpinEvent;
class wxTextCtrl;
class wxChildFocusEvent;
class wxSizer;

namespace tarvo::ui::scheduler {

class CJobEditorDialog : public wxDialog {
public:
    CJobEditorDialog(wxWindow* parent, tarvo::scheduler::CJobEditor& editor);

    tarvo::scheduler::CJobEditor& Editor() { return m_editor; }

private:
    wxSizer* BuildMethodAndLogging();
    wxSizer* BuildSchedule();
    void LoadControls();
    void ApplyEnabledStates();
    void StoreControls();
    void OnMethod(wxCommandEvent& event);
    void OnLogging(wxCommandEvent& event);
    void OnOccurrence(wxCommandEvent& event);
    void OnSpin(wxSpinEvent& event);
    void OnChildFocus(wxChildFocusEvent& event);
    void OnOk(wxCommandEvent& event);

    tarvo::scheduler::CJobEditor& m_editor;
    wxRadioButton* m_space = nullptr;
    wxRadioButton* m_complete = nullptr;
    wxChoice* m_sort = nullptr;
    wxRadioButton* m_loggingOff = nullptr;
    wxRadioButton* m_loggingOn = nullptr;
    wxChoice* m_logLevel = nullptr;
    std::array<wxRadioButton*, 4> m_occurrences{};
    wxRadioButton* m_noOccurrence = nullptr;
    wxListBox* m_days = nullptr;
    wxTextCtrl* m_hour = nullptr;
    wxTextCtrl* m_minute = nullptr;
    wxSpinButton* m_spin = nullptr;
    wxTextCtrl* m_spinField = nullptr;  // the time field the spin steps
};

}  // namespace tarvo::ui::scheduler
