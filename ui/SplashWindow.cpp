// SplashWindow.cpp --- paints the splash picture: a small cluster map in the map's palette and the program's name.
#include "ui/SplashWindow.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/splash.h>

#include "ui/map/MapPalette.h"

namespace tarvo::ui {

namespace {

wxColour ColourOf(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }

wxBitmap SplashPicture() {
    const int width = 360, height = 200, block = 12;
    wxBitmap bitmap(width, height);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(ColourOf(kLightGrey)));
    dc.Clear();
    // A map being put in order: used blocks packed at the front, fragments behind.
    static const int kinds[] = {5, 5, 5, 5, 9, 5, 5, 1, 5, 5, 12, 8, 0, 8, 0, 0, 8, 0, 11, 11};
    dc.SetPen(*wxTRANSPARENT_PEN);
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 26; ++column) {
            const int colour = kinds[(row * 7 + column * 3 + (column > row * 3 ? 10 : 0)) % 20];
            const int x = 24 + column * block, y = 20 + row * block;
            dc.SetBrush(wxBrush(ColourOf(kPalette[kShadowColour])));
            dc.DrawRectangle(x + 1, y + 1, block - 2, block - 2);
            dc.SetBrush(wxBrush(ColourOf(kPalette[static_cast<size_t>(colour)])));
            dc.DrawRectangle(x, y, block - 2, block - 2);
        }
    dc.SetTextForeground(ColourOf(kPalette[5]));
    dc.SetFont(wxFontInfo(20).Bold());
    dc.DrawText("Tarvo Defrag", 24, 120);
    dc.SetFont(wxFontInfo(9));
    dc.DrawText("Defragments NTFS and FAT volumes", 24, 160);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

}  // namespace

void ShowSplash(wxWindow* parent) {
    new wxSplashScreen(SplashPicture(), wxSPLASH_CENTRE_ON_SCREEN | wxSPLASH_TIMEOUT, kSplashMilliseconds, parent,
                       wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP);
}

}  // namespace tarvo::ui
