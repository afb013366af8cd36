// MessageBoxPrompt.h --- the job list's and the commands' questions as message boxes.
#pragma once

#include "ui/NtFirst.h"

// clang-format off
#include <wx/msgdlg.h>  // the base of the generic box, declared first
#include <wx/generic/msgdlgg.h>
// clang-format on
#include <wx/window.h>

#include <functional>
#include <string>

#include "scheduler/Prompt.h"

namespace tarvo::ui::scheduler {

inline constexpr const char* kMessageBoxCaption = "Tarvo Defrag";

// Shows a modal message box (the toolkit's own dialog, so that it is a window
// of this program) and answers the button chosen; closing it answers the
// cautious choice.
class CMessageBoxPrompt : public tarvo::scheduler::CPrompt {
public:
    explicit CMessageBoxPrompt(wxWindow* parent = nullptr) : m_parent(parent) {}
    void SetParent(wxWindow* parent) { m_parent = parent; }
    // Called with each box before it shows (the self-test closes the boxes of the start-up with it).
    void SetBeforeShow(std::function<void(wxDialog&)> beforeShow) { m_beforeShow = std::move(beforeShow); }
    tarvo::scheduler::PromptAnswer Ask(const std::string& text, tarvo::scheduler::PromptButtons buttons,
                                       tarvo::scheduler::PromptIcon icon) override;

private:
    wxWindow* m_parent;
    std::function<void(wxDialog&)> m_beforeShow;
};

// A message box with only an OK button.
void ShowMessage(wxWindow* parent, const std::string& text, const std::string& caption = kMessageBoxCaption);

}  // namespace tarvo::ui::scheduler
