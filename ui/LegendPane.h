// LegendPane.h --- CLegendForm: the colour legend and the line "%d clusters per block".
#pragma once

#include "ui/NtFirst.h"

#include <wx/panel.h>

namespace tarvo::ui {

class COrdexView;

class CLegendForm : public wxPanel {
public:
    CLegendForm(wxWindow* parent, COrdexView*& view);

private:
    void OnPaint(wxPaintEvent& event);
    COrdexView*& m_view;
};

}  // namespace tarvo::ui
