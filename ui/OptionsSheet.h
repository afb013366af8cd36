// OptionsSheet.h --- CMyPropertySheet, the "Options" property sheet: four pages over the sheet's values,
// OK stores and closes, Apply stores and keeps it open, Cancel closes.
#pragma once

#include "ui/NtFirst.h"

#include <wx/propdlg.h>

#include <array>
#include <functional>

#include "app/OptionsSheetData.h"

namespace tarvo::ui {

class CMyPropertyPage;

class CMyPropertySheet : public wxPropertySheetDialog {
public:
    explicit CMyPropertySheet(wxWindow* parent);

    // Called on the UI thread after a Store that changed RemovableDrives.
    void SetDriveListReload(std::function<void()> reload) { m_reloadDriveList = std::move(reload); }

    // Fills the pages from the settings (with a wait cursor).
    void Load();
    // Stores the values and follows their consequences. On a failed write the
    // user is told and the pages keep their modified mark. Answers the result.
    app::StoreResult Store();

    // Whether any Store (OK or Apply) succeeded while the sheet was open.
    bool StoredOnce() const { return m_storedOnce; }
    bool AnyPageModified() const;
    app::COptionsSheetData& Data() { return m_data; }

private:
    void OnOk(wxCommandEvent& event);
    void OnApply(wxCommandEvent& event);
    void UpdateApply();

    app::COptionsSheetData m_data;
    std::array<CMyPropertyPage*, 4> m_pages{};
    std::function<void()> m_reloadDriveList;
    bool m_storedOnce = false;
};

}  // namespace tarvo::ui
