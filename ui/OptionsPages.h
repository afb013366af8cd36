// OptionsPages.h --- the four pages of the options sheet: each shows its part of the sheet's values and
// hands every click back at once, marking itself modified.
#pragma once

#include "ui/NtFirst.h"

#include <wx/panel.h>

#include <functional>

#include "app/OptionsSheetData.h"

class wxCheckBox;
class wxChoice;
class wxRadioButton;
class wxSlider;
class wxTextCtrl;

namespace tarvo::ui {

// Control identifiers, as the pages' dialogs number them.
enum OptionsControlId : int {
    kIdFatSpace = 1015,
    kIdFatComplete = 1016,
    kIdNtfsSpace = 1017,
    kIdNtfsComplete = 1018,
    kIdPageFile = 1020,
    kIdSortList = 1068,
    kIdBlockSizeEdit = 1013,
    kIdBlockSizeSlider = 1014,
    kIdThreeD = 1019,
    kIdNoMap = 1021,
    kIdLoggingEnabled = 1030,
    kIdLoggingDisabled = 1032,
    kIdLevelList = 1028,
    kIdQuiet = 1019,
    kIdBuffer = 1020,
    kIdForceAnalyzation = 1019,
    kIdRemovable = 1021,
    kIdPriorityInvoked = 1085,
    kIdPriorityScheduled = 1086,
};

// A page: the sheet's values, and the modified mark the sheet's Apply button follows.
class CMyPropertyPage : public wxPanel {
public:
    CMyPropertyPage(wxWindow* parent, app::COptionsSheetData& data, std::function<void()> modified);
    // Sets the controls from the sheet's values.
    virtual void ShowValues() = 0;
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);

protected:
    app::COptionsSheetData& m_data;

private:
    std::function<void()> m_modifiedChanged;
    bool m_modified = false;
};

// "Defragmentation": the method per file system, the page-file option and the COMPLETE order.
class CMyPropertyPage1 : public CMyPropertyPage {
public:
    CMyPropertyPage1(wxWindow* parent, app::COptionsSheetData& data, std::function<void()> modified);
    void ShowValues() override;

private:
    void ReadControls();
    wxRadioButton *m_fatSpace, *m_fatComplete, *m_ntfsSpace, *m_ntfsComplete;
    wxCheckBox* m_pageFile;
    wxChoice* m_sort;
};

// "Display": block size, 3-D and no map.
class CMyPropertyPage2 : public CMyPropertyPage {
public:
    CMyPropertyPage2(wxWindow* parent, app::COptionsSheetData& data, std::function<void()> modified);
    void ShowValues() override;

private:
    void ReadControls();
    wxSlider* m_slider;
    wxTextCtrl* m_edit;
    wxCheckBox *m_threeD, *m_noMap;
};

// "Advanced": the two priorities and removable drives.
class CMyPropertyPage3 : public CMyPropertyPage {
public:
    CMyPropertyPage3(wxWindow* parent, app::COptionsSheetData& data, std::function<void()> modified);
    void ShowValues() override;

private:
    void OnRemovable();
    wxSlider *m_invoked, *m_scheduled;
    wxCheckBox* m_removable;
};

// "Diagnostics": event logging and its level, message boxes and buffered messages.
class CMyPropertyPage4 : public CMyPropertyPage {
public:
    CMyPropertyPage4(wxWindow* parent, app::COptionsSheetData& data, std::function<void()> modified);
    void ShowValues() override;

private:
    void ReadControls();
    wxRadioButton *m_disabled, *m_enabled;
    wxChoice* m_level;
    wxCheckBox *m_quiet, *m_buffer;
};

}  // namespace tarvo::ui
