// MapWindow.h --- what the drawing thread needs of the cluster map view's window.
//
// The drawing thread and a worker redrawing a file call these; a window
// implementation hands the work to its UI thread and never blocks on it,
// except SendStatusText, which is sent (the UI thread serves sends while it waits).
#pragma once

#include <string>

namespace tarvo::volume {
class CDefragJob;
}

namespace tarvo::ui {

class PixelBuffer;

class MapWindow {
public:
    virtual ~MapWindow() = default;
    // The client area's size in pixels.
    virtual void ClientSize(int& width, int& height) = 0;
    // Writes "Processing information for display ..." at (5, 5) on the window.
    virtual void ShowProcessing() = 0;
    // Fills the window's client area with light grey.
    virtual void ClearWindow() = 0;
    // Copies the whole offscreen picture to the window at (0, 0).
    virtual void Present(const PixelBuffer& buffer) = 0;
    // Redraws the legend pane (with the clusters per block just used, 0 when too small).
    virtual void RedrawLegend(int clustersPerBlock) = 0;
    // UM_SET_STATUS_TEXT with pane 0: the path of the file being redrawn.
    virtual void SendStatusText(const std::string& path) = 0;
    // Whether job is still the view's current, valid drive.
    virtual bool IsJobValid(const volume::CDefragJob* job) = 0;
};

}  // namespace tarvo::ui
