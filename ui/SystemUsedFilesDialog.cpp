// SystemUsedFilesDialog.cpp --- the list box of system-used files with "OK" and "Help".
#include "ui/SystemUsedFilesDialog.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/sizer.h>

#include <algorithm>

namespace tarvo::ui {

namespace {
constexpr int kPixelsPerCharacter = 7;
constexpr int kListId = 1009;
}  // namespace

std::vector<std::string> SystemUsedFilesLines(const std::vector<std::string>& paths, bool ntfs) {
    if (!paths.empty()) return paths;
    if (ntfs)
        return {"There are only clusters that are marked",                 // string 33300
                "for further use by NT (MFT and reserved MFT space)."};  // string 33301
    return {"There are only FAT system clusters."};  // string 33707
}

void ShowSystemUsedFilesDialog(wxWindow* parent, const std::vector<std::string>& paths, bool ntfs) {
    wxDialog box(parent, wxID_ANY, "System Used Files", wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);  // dialog 138
    const std::vector<std::string> lines = SystemUsedFilesLines(paths, ntfs);
    size_t longest = 0;
    for (const std::string& line : lines) longest = std::max(longest, line.size());
    auto* list = new wxListBox(&box, kListId, wxDefaultPosition, wxSize(420, 200), 0, nullptr,
                               wxLB_SINGLE | wxLB_HSCROLL);
    for (const std::string& line : lines) list->Append(wxString::FromUTF8(line));
    // The horizontal extent: 7 pixels for each character of the longest path.
    list->SetMinClientSize(wxSize(std::min<int>(static_cast<int>(longest) * kPixelsPerCharacter, 900), 200));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(list, 1, wxEXPAND | wxALL, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(&box, wxID_OK, "OK"), 0, wxALL, 4);
    auto* help = new wxButton(&box, wxID_HELP, "Help");
    help->Enable(false);  // no help file is installed
    buttons->Add(help, 0, wxALL, 4);
    column->Add(buttons, 0, wxALIGN_CENTER | wxBOTTOM, 4);
    box.SetSizerAndFit(column);
    box.ShowModal();
}

}  // namespace tarvo::ui
