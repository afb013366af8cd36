// WindowShot.cpp --- copies the window's area of the screen into a PNG file.
#include "common/WindowShot.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/toplevel.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvo::common {

bool SaveWindowPicture(wxTopLevelWindow& window, const std::string& path, std::string& error) {
    if (!window.IsShown()) {
        error = "the window is not shown";
        return false;
    }
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
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
    // Written beside and renamed, so that the file is never seen half written.
    const std::string partial = path + ".part";
    if (!bitmap.SaveFile(wxString::FromUTF8(partial), wxBITMAP_TYPE_PNG)) {
        std::remove(partial.c_str());
        error = "cannot write " + path;
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tarvo::common
