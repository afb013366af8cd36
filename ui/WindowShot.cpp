// WindowShot.cpp --- copies the window's area of the screen into a PNG file.
#include "ui/WindowShot.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/toplevel.h>

namespace tarvo::ui {

bool SaveWindowPicture(wxTopLevelWindow& window, const std::string& path, std::string& error) {
    if (!window.IsShown()) {
        error = "the window is not shown";
        return false;
    }
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    window.Refresh();
    window.Update();
    const wxRect rect = window.GetScreenRect();
    wxBitmap bitmap(rect.width, rect.height);
    {
        wxScreenDC screen;
        wxMemoryDC memory(bitmap);
        memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
    }
    wxLogNull quiet;  // the reason is reported below, not in a box
    if (!bitmap.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace tarvo::ui
