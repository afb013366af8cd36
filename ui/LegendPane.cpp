// LegendPane.cpp --- painting the legend rows, their 3-D edges and the clusters-per-block line.
#include "ui/LegendPane.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>

#include "app/Settings.h"
#include "ui/MapView.h"
#include "ui/map/MapTexts.h"

namespace tarvo::ui {

namespace {
wxColour ColourOf(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }
}  // namespace

CLegendForm::CLegendForm(wxWindow* parent, COrdexView*& view)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(200, 100)), m_view(view) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CLegendForm::OnPaint, this);
}

void CLegendForm::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    const wxColour grey = ColourOf(kLightGrey);
    dc.SetBackground(wxBrush(grey));
    dc.Clear();
    // The desktop's GUI font, made smaller (down to 6 points) while the widest
    // row would not fit the pane, which is narrow by design.
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    int h = 0;
    for (;;) {
        dc.SetFont(font);
        int widest = 0;
        h = 0;
        for (const LegendRow& row : kLegendRows) {
            const wxSize extent = dc.GetTextExtent(row.text);
            widest = std::max(widest, extent.x);
            h = std::max(h, extent.y);
        }
        if (h > 2) h -= 2;
        if (10 + 2 * h + widest <= size.x || font.GetPointSize() <= 6) break;
        font.SetPointSize(font.GetPointSize() - 1);
    }
    dc.SetTextBackground(grey);
    dc.SetTextForeground(*wxBLACK);
    const bool shadow = app::Settings().DrawShadow() != 0;
    int top = 5;
    const int left = 10;
    for (const LegendRow& row : kLegendRows) {
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(ColourOf(kPalette[static_cast<size_t>(row.colour)])));
        dc.DrawRectangle(left, top, h, h);
        const int right = left + h - 1, bottom = top + h - 1;
        if (shadow) {
            dc.SetPen(wxPen(ColourOf(kPalette[kShadowColour])));
            dc.DrawLine(right, bottom - h + 1, right, bottom);
            dc.DrawLine(right, bottom, right - h + 1, bottom);
        }
        dc.DrawText(row.text, right + h, top);
        top = bottom + 1 + h / 2;
    }
    if (m_view == nullptr || app::Settings().DontDisplay()) return;
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(grey));
    if (!m_view->HasValidDrive()) {
        dc.DrawRectangle(left, top, h, h);
        return;
    }
    dc.DrawRectangle(left, top, size.x - left, size.y - top);
    if (const int perBlock = m_view->ClustersPerBlock(); perBlock > 0) {
        dc.SetTextForeground(*wxWHITE);
        dc.DrawText(wxString::Format(kClustersPerBlockFormat, perBlock), left, top);
    }
}

}  // namespace tarvo::ui
