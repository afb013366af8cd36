// MapView.h --- COrdexView: the cluster map window, its drawing thread and the sink the worker reports to.
//
// The drawing thread paints into its own pixel buffer; Present hands a copy to
// this window, which blits it on the UI thread. Progress messages from the
// worker are sent to the UI thread through the UI queue.
#pragma once

#include "ui/NtFirst.h"

#include <wx/window.h>

#include <atomic>
#include <mutex>
#include <string>

#include "control/RunWindows.h"
#include "ui/UiQueue.h"
#include "ui/map/DrawThread.h"
#include "ui/map/MapWindow.h"
#include "volume/ViewSink.h"

namespace tarvo::control {
class COrdexDoc;
}

namespace tarvo::ui {

class CMainFrame;

class COrdexView : public wxWindow, public control::ClusterMapView, public MapWindow {
public:
    COrdexView(wxWindow* parent, CMainFrame& frame, CUiQueue& queue);
    ~COrdexView() override;

    void SetDocument(control::COrdexDoc* doc) { m_doc = doc; }
    // Clusters per block of the picture shown (for the legend); 0 when none.
    int ClustersPerBlock() const { return m_drawThread.ClustersPerBlock(); }
    // Whether a drive is current and valid (for the legend).
    bool HasValidDrive() const;
    // Stops the drawing thread; called before the window goes.
    void StopDrawing();
    // Takes the DrawShadow and BlockSize settings for the next full redraw.
    void ApplyDrawSettings();

    // --- control::ClusterMapView (UI thread) ---
    volume::ViewSink& Sink() override { return m_sink; }
    void DropRedrawRequest() override;
    void WaitDrawingIdle() override;
    void SetCursor(control::ViewCursor cursor) override;
    void Invalidate() override { Refresh(false); }
    void MarkFullRedraw() override;

    // --- MapWindow (drawing thread or worker) ---
    void ClientSize(int& width, int& height) override;
    void ShowProcessing() override;
    void ClearWindow() override;
    void Present(const PixelBuffer& buffer) override;
    void RedrawLegend(int clustersPerBlock) override;
    void SendStatusText(const std::string& path) override;
    bool IsJobValid(const volume::CDefragJob* job) override;

private:
    // The worker's sink: sends progress to the UI thread, draws files on the worker.
    class WorkerSink : public volume::ViewSink {
    public:
        explicit WorkerSink(COrdexView& view) : m_view(view) {}
        void SetStatusText(int pane, std::string text) override;
        void SetFragCount(int64_t count) override;
        void SetPercent(int percent) override;
        void PostRunFinished() override;
        void SetDriveFlag(int flag) override { m_view.m_mapReady.store(flag != 0); }
        void RedrawAll() override;
        bool RedrawFile(const volume::FileRecord& file) override;

    private:
        COrdexView& m_view;
    };

    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnRightDown(wxMouseEvent& event);
    void CancelDrawing();
    bool OnBlock(int x, int y);
    IdleWaiter Waiter();

    CMainFrame& m_frame;
    CUiQueue& m_queue;
    control::COrdexDoc* m_doc = nullptr;
    WorkerSink m_sink{*this};
    COrdexViewDrawThread m_drawThread{*this};

    std::atomic<volume::CDefragJob*> m_drawJob{nullptr};  // the drive the drawing may read
    std::atomic<bool> m_mapReady{false};                   // the job's bitmap is filled
    std::atomic<int> m_width{10}, m_height{10};
    bool m_fullRedrawRequested = false;
    // UI thread: the job the last full redraw was asked for, and whether its
    // picture is shown while a method starts on it without an analysis.
    const volume::CDefragJob* m_pictureJob = nullptr;
    bool m_keepPicture = false;
    bool m_sizeChanged = true;

    std::mutex m_frontLock;  // never held while waiting on anything
    PixelBuffer m_front;
    bool m_showProcessing = false;
};

}  // namespace tarvo::ui
