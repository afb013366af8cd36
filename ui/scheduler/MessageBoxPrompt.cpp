// MessageBoxPrompt.cpp --- message boxes for questions and reports.
#include "ui/scheduler/MessageBoxPrompt.h"

namespace tarvo::ui::scheduler {

using tarvo::scheduler::PromptAnswer;
using tarvo::scheduler::PromptButtons;
using tarvo::scheduler::PromptIcon;

namespace {

long IconStyle(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Warning:
            return wxICON_WARNING;
        case PromptIcon::Question:
            return wxICON_QUESTION;
        case PromptIcon::Error:
            return wxICON_ERROR;
        case PromptIcon::Information:
            return wxICON_INFORMATION;
    }
    return wxICON_INFORMATION;
}

}  // namespace

PromptAnswer CMessageBoxPrompt::Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) {
    long style = IconStyle(icon);
    switch (buttons) {
        case PromptButtons::Ok:
            style |= wxOK;
            break;
        case PromptButtons::OkCancel:
            style |= wxOK | wxCANCEL;
            break;
        case PromptButtons::YesNo:
        case PromptButtons::RetryCancel:
            style |= wxYES_NO;
            break;
        case PromptButtons::YesNoDefaultNo:
            style |= wxYES_NO | wxNO_DEFAULT;
            break;
    }
    wxGenericMessageDialog box(m_parent, wxString::FromUTF8(text), kMessageBoxCaption, style);
    if (buttons == PromptButtons::RetryCancel)
        box.SetYesNoLabels("&Retry", "&Cancel");
    if (m_beforeShow)
        m_beforeShow(box);
    const int chosen = box.ShowModal();
    switch (buttons) {
        case PromptButtons::Ok:
            return PromptAnswer::Ok;
        case PromptButtons::OkCancel:
            return chosen == wxID_OK ? PromptAnswer::Ok : PromptAnswer::Cancel;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoDefaultNo:
            return chosen == wxID_YES ? PromptAnswer::Yes : PromptAnswer::No;
        case PromptButtons::RetryCancel:
            return chosen == wxID_YES ? PromptAnswer::Retry : PromptAnswer::Cancel;
    }
    return PromptAnswer::Cancel;
}

void ShowMessage(wxWindow* parent, const std::string& text, const std::string& caption) {
    wxGenericMessageDialog box(parent, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                               wxOK | wxICON_WARNING);
    box.ShowModal();
}

}  // namespace tarvo::ui::scheduler
