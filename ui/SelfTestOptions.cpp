// SelfTestOptions.cpp --- the self-test's steps through the options sheet: pages, logging level, the
// removable-drive warning, Apply, Cancel and OK against the stored settings.
#include "ui/SelfTest.h"

#include <wx/bookctrl.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>  // the base of the generic box, declared first
#include <wx/generic/msgdlgg.h>
#include <wx/propdlg.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "app/Settings.h"
#include "app/SettingsTable.h"
#include "control/OrdexDoc.h"
#include "ui/MainFrame.h"
#include "ui/MenuIds.h"
#include "ui/OptionsPages.h"
#include "ui/texts/OptionsTexts.h"

namespace tarvo::ui {

namespace {

constexpr int kDefragPage = 0, kDisplayPage = 1, kDiagnosticsPage = 2, kAdvancedPage = 3;

wxPropertySheetDialog* Sheet() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* sheet = dynamic_cast<wxPropertySheetDialog*>(window);
        if (sheet && sheet->IsShown() && sheet->GetTitle() == kOptionsCaption) return sheet;
    }
    return nullptr;
}

// The control `id` of a page (the pages reuse identifiers, as their dialogs did).
template <typename Control>
Control* On(int page, int id) {
    wxPropertySheetDialog* sheet = Sheet();
    if (sheet == nullptr || page >= static_cast<int>(sheet->GetBookCtrl()->GetPageCount())) return nullptr;
    return dynamic_cast<Control*>(sheet->GetBookCtrl()->GetPage(page)->FindWindow(id));
}

wxGenericMessageDialog* RemovableWarning() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* box = dynamic_cast<wxGenericMessageDialog*>(window);
        if (box && box->IsShown() && box->GetMessage() == kRemovableWarning) return box;
    }
    return nullptr;
}

bool ApplyEnabled() {
    wxWindow* apply = Sheet() ? Sheet()->FindWindow(wxID_APPLY) : nullptr;
    return apply && apply->IsEnabled();
}

// Moves the block-size slider as a drag would end.
void MoveBlockSlider(int size) {
    auto* slider = On<wxSlider>(kDisplayPage, kIdBlockSizeSlider);
    if (slider == nullptr) return;
    slider->SetValue(size);
    wxCommandEvent moved(wxEVT_SLIDER, kIdBlockSizeSlider);
    moved.SetEventObject(slider);
    moved.SetInt(size);
    slider->ProcessWindowEvent(moved);
}

bool BlockSizeShown(int size) {
    auto* slider = On<wxSlider>(kDisplayPage, kIdBlockSizeSlider);
    auto* edit = On<wxTextCtrl>(kDisplayPage, kIdBlockSizeEdit);
    return slider && edit && slider->GetMin() == 3 && slider->GetMax() == 12 && slider->GetValue() == size &&
           edit->GetValue() == wxString::Format("%d", size);
}

// The stored logging settings: "enabled" with the level list usable, a stored LogLevel 0 as "Level 1".
bool LoggingShown() {
    auto* enabled = On<wxRadioButton>(kDiagnosticsPage, kIdLoggingEnabled);
    auto* disabled = On<wxRadioButton>(kDiagnosticsPage, kIdLoggingDisabled);
    auto* level = On<wxChoice>(kDiagnosticsPage, kIdLevelList);
    return enabled && disabled && level && enabled->GetValue() && !disabled->GetValue() && level->IsEnabled() &&
           app::Settings().Enabled() && level->GetSelection() == std::max(app::Settings().LogLevel() - 1, 0);
}

}  // namespace

void CSelfTest::OpenOptions() {
    m_frame.UpdateWindowUI();
    const int id = WxIdOf(static_cast<int>(control::CommandId::Options));
    if (!m_frame.GetMenuBar()->IsEnabled(id)) return;
    // The menu command, as the user gives it; the sheet is modal.
    m_frame.CallAfter([this, id] {
        wxCommandEvent command(wxEVT_MENU, id);
        m_frame.ProcessWindowEvent(command);
    });
}

void CSelfTest::SelectPage(int page) {
    if (Sheet()) Sheet()->GetBookCtrl()->SetSelection(static_cast<size_t>(page));
    wxYield();
}

std::vector<CSelfTest::Step> CSelfTest::OptionsSteps() {
    // A size other than the one stored, so that Apply has something to write.
    const int applied = app::ReadBlockSize() == 6 ? 7 : 6;
    auto jobBlockSize = [this] {
        const volume::CDefragJob* job = m_frame.Document() ? m_frame.Document()->Job() : nullptr;
        return job ? job->m_blockSize : -1;
    };
    return {
        {"Options opens the sheet: four pages in tab order, the method rows and a disabled Apply",
         [] { return Sheet() != nullptr; },
         [] {
             wxBookCtrlBase* book = Sheet()->GetBookCtrl();
             if (book->GetPageCount() != 4) return false;
             for (size_t i = 0; i < 4; ++i)
                 if (book->GetPageText(i) != kOptionsPageTitles[i]) return false;
             auto* fatSpace = On<wxRadioButton>(kDefragPage, kIdFatSpace);
             auto* ntfsComplete = On<wxRadioButton>(kDefragPage, kIdNtfsComplete);
             auto* pageFile = On<wxCheckBox>(kDefragPage, kIdPageFile);
             auto* sort = On<wxChoice>(kDefragPage, kIdSortList);
             return fatSpace && fatSpace->GetLabel() == "SPACE" && fatSpace->GetValue() && ntfsComplete &&
                    ntfsComplete->GetLabel() == "COMPLETE" && pageFile && pageFile->GetLabel() == kPageFileText &&
                    sort && sort->GetCount() == 2 && sort->GetString(1) == kSortItems[1] &&
                    BlockSizeShown(app::Settings().BlockSize()) && LoggingShown() && !ApplyEnabled();
         },
         [this] { OpenOptions(); }},
        {"choosing disabled logging greys the level list and enables Apply",
         [] { return On<wxChoice>(kDiagnosticsPage, kIdLevelList) &&
                     !On<wxChoice>(kDiagnosticsPage, kIdLevelList)->IsEnabled(); },
         [] {
             auto* level = On<wxChoice>(kDiagnosticsPage, kIdLevelList);
             return level->GetCount() == 4 && level->GetString(3) == kLevelItems[3] && ApplyEnabled();
         },
         [this] {
             SelectPage(kDiagnosticsPage);
             if (auto* disabled = On<wxWindow>(kDiagnosticsPage, kIdLoggingDisabled)) ClickOn(*disabled);
         }},
        {"choosing enabled makes the level list usable again",
         [] { return On<wxChoice>(kDiagnosticsPage, kIdLevelList)->IsEnabled(); }, [] { return true; },
         [this] {
             if (auto* enabled = On<wxWindow>(kDiagnosticsPage, kIdLoggingEnabled)) ClickOn(*enabled);
         }},
        {"checking removable drives first asks with the warning", [] { return RemovableWarning() != nullptr; },
         [] { return true; },
         [this] {
             SelectPage(kAdvancedPage);
             if (auto* removable = On<wxWindow>(kAdvancedPage, kIdRemovable)) ClickOn(*removable);
         }},
        {"No leaves removable drives clear", [] { return RemovableWarning() == nullptr; },
         [] {
             auto* removable = On<wxCheckBox>(kAdvancedPage, kIdRemovable);
             return removable && !removable->GetValue() && app::ReadRemovableDrives() == 0;
         },
         [this] {
             if (wxGenericMessageDialog* box = RemovableWarning()) Click(*box, wxID_NO);
         }},
        {"the block-size slider shows its size; Apply stores it and clears the modified mark",
         [applied] { return app::ReadBlockSize() == applied; },
         [applied] { return BlockSizeShown(applied) && app::Settings().BlockSize() == applied && !ApplyEnabled(); },
         [this, applied] {
             SelectPage(kDisplayPage);
             MoveBlockSlider(applied);
             if (Sheet()) Click(*Sheet(), wxID_APPLY);
         }},
        {"Cancel closes the sheet; the applied size stays and the job takes it", [] { return Sheet() == nullptr; },
         [applied, jobBlockSize] { return app::ReadBlockSize() == applied && jobBlockSize() == applied; },
         [this] {
             if (Sheet()) Click(*Sheet(), wxID_CANCEL);
         }},
        {"opened again, the sheet shows the stored size", [] { return Sheet() != nullptr; },
         [applied] { return BlockSizeShown(applied); }, [this] { OpenOptions(); }},
        {"OK stores the size chosen and closes the sheet", [] { return Sheet() == nullptr; },
         [jobBlockSize] {
             return app::ReadBlockSize() == 9 && app::Settings().BlockSize() == 9 && jobBlockSize() == 9;
         },
         [this] {
             SelectPage(kDisplayPage);
             MoveBlockSlider(9);
             if (Sheet()) Click(*Sheet(), wxID_OK);
         }},
    };
}

}  // namespace tarvo::ui
