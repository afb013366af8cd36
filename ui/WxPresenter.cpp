// WxPresenter.cpp --- the logger's dialogs: boxes with the row's icon, ask box, Status report, Message Log.
#include "ui/WxPresenter.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/Logger.h"

namespace tarvo::ui {

namespace {

using app::UINT;

wxArtID ArtOf(UINT style) {
    switch (style & app::MB_ICONMASK) {
        case app::MB_ICONHAND: return wxART_ERROR;
        case app::MB_ICONQUESTION: return wxART_QUESTION;
        case app::MB_ICONEXCLAMATION: return wxART_WARNING;
        case app::MB_ICONINFORMATION: return wxART_INFORMATION;
        default: return wxART_INFORMATION;
    }
}

long WxStyleOf(UINT style) {
    long flags = (style & app::MB_TYPEMASK) == app::MB_YESNO ? wxYES_NO : (style & app::MB_TYPEMASK) == app::MB_OKCANCEL ? wxOK | wxCANCEL : wxOK;
    switch (style & app::MB_ICONMASK) {
        case app::MB_ICONHAND: flags |= wxICON_ERROR; break;
        case app::MB_ICONQUESTION: flags |= wxICON_QUESTION; break;
        case app::MB_ICONEXCLAMATION: flags |= wxICON_WARNING; break;
        case app::MB_ICONINFORMATION: flags |= wxICON_INFORMATION; break;
        default: flags |= wxICON_NONE; break;
    }
    if (style & app::MB_DEFBUTTON2) flags |= wxNO_DEFAULT;
    return flags;
}

int ButtonOf(int wxAnswer) {
    switch (wxAnswer) {
        case wxID_YES:
        case wxYES: return app::IDYES;
        case wxID_NO:
        case wxNO: return app::IDNO;
        case wxID_CANCEL:
        case wxCANCEL: return app::IDCANCEL;
        default: return app::IDOK;
    }
}

wxString Text(const std::string& s) { return wxString::FromUTF8(s); }

}  // namespace

int CWxPresenter::ShowMessageBox(const app::MessageBoxRequest& request) {
    int answer = app::IDOK;
    m_queue.Send([&] {
        wxMessageDialog box(m_parent, Text(request.text), "Tarvo Defrag", WxStyleOf(request.style));
        answer = ButtonOf(box.ShowModal());
    });
    return answer;
}

int CWxPresenter::ShowAskBox(const app::AskBoxRequest& request, bool& checked) {
    int answer = app::IDOK;
    m_queue.Send([&] {
        wxDialog box(m_parent, wxID_ANY, "Tarvo Defrag");  // dialog 176
        auto* column = new wxBoxSizer(wxVERTICAL);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(new wxStaticBitmap(&box, wxID_ANY, wxArtProvider::GetBitmap(ArtOf(request.style), wxART_MESSAGE_BOX)),
                 0, wxALL, 10);
        auto* text = new wxStaticText(&box, wxID_ANY, Text(request.text));
        text->Wrap(420);
        row->Add(text, 1, wxALL, 10);
        column->Add(row, 1, wxEXPAND);
        auto* check = new wxCheckBox(&box, wxID_ANY, Text(request.checkText));
        column->Add(check, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        if ((request.style & app::MB_TYPEMASK) == app::MB_YESNO) {
            buttons->Add(new wxButton(&box, wxID_YES, "Yes"), 0, wxALL, 5);
            buttons->Add(new wxButton(&box, wxID_NO, "No"), 0, wxALL, 5);
            box.SetEscapeId(wxID_NO);
        } else {
            buttons->Add(new wxButton(&box, wxID_OK, "OK"), 0, wxALL, 5);
        }
        column->Add(buttons, 0, wxALIGN_CENTER | wxBOTTOM, 5);
        box.Bind(wxEVT_BUTTON, [&box](wxCommandEvent& e) { box.EndModal(e.GetId()); });
        box.SetSizerAndFit(column);
        answer = ButtonOf(box.ShowModal());
        checked = check->GetValue();
    });
    return answer;
}

int CWxPresenter::ShowStatusReport(const app::StatusReportRequest& request) {
    m_queue.Send([&] {
        wxDialog box(m_parent, wxID_ANY, "Status report");  // dialog 198
        auto* column = new wxBoxSizer(wxVERTICAL);
        auto* status = new wxStaticText(&box, wxID_ANY, Text(request.text));
        status->Wrap(420);
        column->Add(status, 0, wxALL, 10);
        auto* grid = new wxFlexGridSizer(2, 4, 12);
        const app::FragmentedShare share = app::ComputeFragmentedShare(request.totalFiles, request.fragmentedNow);
        const std::pair<const char*, std::string> rows[] = {
            {"Drive", request.drive},
            {"File system", request.fileSystem},
            {"Total files", request.totalFiles},
            {"Fragmented files BEFORE", request.fragmentedBefore},
            {"Fragmented files NOW", request.fragmentedNow},
            {"% fragmented files", share.percentText},
        };
        for (const auto& [label, value] : rows) {
            grid->Add(new wxStaticText(&box, wxID_ANY, label));
            grid->Add(new wxStaticText(&box, wxID_ANY, Text(value)));
        }
        column->Add(grid, 0, wxLEFT | wxRIGHT, 10);
        auto* bar = new wxGauge(&box, wxID_ANY, 10000, wxDefaultPosition, wxSize(300, 16));
        bar->SetValue(share.barPosition);
        column->Add(bar, 0, wxEXPAND | wxALL, 10);
        column->Add(new wxButton(&box, wxID_OK, "Close"), 0, wxALIGN_CENTER | wxBOTTOM, 10);
        box.SetSizerAndFit(column);
        box.ShowModal();
    });
    return app::IDOK;
}

void CWxPresenter::ShowMessageLog(const std::vector<app::MessageLogRecord>& records) {
    m_queue.Send([&] {
        wxDialog box(m_parent, wxID_ANY, "Message Log", wxDefaultPosition, wxSize(520, 320),
                     wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);  // dialog 191
        auto* column = new wxBoxSizer(wxVERTICAL);
        auto* list = new wxListCtrl(&box, wxID_ANY, wxDefaultPosition, wxSize(500, 240), wxLC_REPORT);
        auto* images = new wxImageList(16, 16, true);
        images->Add(wxArtProvider::GetBitmap(wxART_ERROR, wxART_OTHER, wxSize(16, 16)));
        images->Add(wxArtProvider::GetBitmap(wxART_WARNING, wxART_OTHER, wxSize(16, 16)));
        images->Add(wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_OTHER, wxSize(16, 16)));
        list->AssignImageList(images, wxIMAGE_LIST_SMALL);
        list->AppendColumn("", wxLIST_FORMAT_LEFT, 20);
        list->AppendColumn("Time", wxLIST_FORMAT_LEFT, 120);
        list->AppendColumn("Drv.", wxLIST_FORMAT_LEFT, 40);
        list->AppendColumn("Message text", wxLIST_FORMAT_LEFT, 270);
        long row = 0;
        for (const app::MessageLogRecord& record : records) {
            const UINT icon = record.style & app::MB_ICONMASK;
            list->InsertItem(row, "", icon == app::MB_ICONHAND ? 0 : icon == app::MB_ICONEXCLAMATION ? 1 : 2);
            list->SetItem(row, 1, app::FormatLogTime(record.time));
            list->SetItem(row, 2, record.drive ? wxString::Format("%c:", record.drive) : wxString());
            list->SetItem(row, 3, Text(record.text));
            ++row;
        }
        if (row > 0) list->SetColumnWidth(3, std::max(270, list->GetColumnWidth(3)));
        column->Add(list, 1, wxEXPAND | wxALL, 8);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        auto* close = new wxButton(&box, wxID_CLOSE, "Close");
        auto* clear = new wxButton(&box, wxID_CLEAR, "Clear");
        auto* help = new wxButton(&box, wxID_HELP, "Help");
        help->Enable(false);  // no help file is installed
        clear->Enable(row > 0);
        buttons->Add(close, 0, wxALL, 4);
        buttons->Add(clear, 0, wxALL, 4);
        buttons->Add(help, 0, wxALL, 4);
        column->Add(buttons, 0, wxALIGN_CENTER);
        close->Bind(wxEVT_BUTTON, [&box](wxCommandEvent&) { box.EndModal(wxID_CLOSE); });
        clear->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) {
            wxMessageDialog ask(&box, "Do you really want to clear the Message Log?", "Message Log",
                                wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
            if (ask.ShowModal() != wxID_YES) return;
            app::ClearLog();
            list->DeleteAllItems();
            clear->Enable(false);
        });
        box.SetEscapeId(wxID_CLOSE);
        box.SetSizer(column);
        box.ShowModal();
    });
}

}  // namespace tarvo::ui
