// OptionsSheet.cpp --- the options sheet's pages in tab order and its OK and Apply buttons.
#include "ui/OptionsSheet.h"

#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/msgdlg.h>  // the base of the generic box, declared first
#include <wx/generic/msgdlgg.h>
#include <wx/utils.h>

#include "ui/OptionsPages.h"
#include "ui/texts/OptionsTexts.h"

namespace tarvo::ui {

CMyPropertySheet::CMyPropertySheet(wxWindow* parent) {
    Create(parent, wxID_ANY, kOptionsCaption);
    auto modified = [this] { UpdateApply(); };
    wxBookCtrlBase* book = GetBookCtrl();
    m_pages = {new CMyPropertyPage1(book, m_data, modified), new CMyPropertyPage2(book, m_data, modified),
               new CMyPropertyPage4(book, m_data, modified), new CMyPropertyPage3(book, m_data, modified)};
    for (size_t i = 0; i < m_pages.size(); ++i) book->AddPage(m_pages[i], kOptionsPageTitles[i], i == 0);
    CreateButtons(wxOK | wxCANCEL | wxAPPLY);
    LayoutDialog();
    Bind(wxEVT_BUTTON, &CMyPropertySheet::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CMyPropertySheet::OnApply, this, wxID_APPLY);
    UpdateApply();
}

void CMyPropertySheet::Load() {
    wxBusyCursor wait;
    m_data.Load();
    for (CMyPropertyPage* page : m_pages) {
        page->ShowValues();
        page->SetModified(false);
    }
}

app::StoreResult CMyPropertySheet::Store() {
    const app::StoreResult result = m_data.Store();
    if (result.removableChanged && m_reloadDriveList)
        m_reloadDriveList();
    if (result.stored) {
        m_storedOnce = true;
    } else {
        wxGenericMessageDialog box(this, kOptionsNotStored, kOptionsCaption, wxOK | wxICON_ERROR);
        box.ShowModal();
    }
    return result;
}

bool CMyPropertySheet::AnyPageModified() const {
    for (const CMyPropertyPage* page : m_pages)
        if (page && page->IsModified())
            return true;
    return false;
}

void CMyPropertySheet::OnOk(wxCommandEvent&) {
    // A failed write keeps the sheet open, so that nothing the user chose is lost unseen.
    if (Store().stored)
        EndModal(wxID_OK);
}

void CMyPropertySheet::OnApply(wxCommandEvent&) {
    if (!Store().stored)
        return;
    for (CMyPropertyPage* page : m_pages) page->SetModified(false);
}

void CMyPropertySheet::UpdateApply() {
    if (wxWindow* apply = FindWindow(wxID_APPLY))
        apply->Enable(AnyPageModified());
}

}  // namespace tarvo::ui
