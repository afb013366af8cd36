// MapView.cpp --- painting, resizing, mouse and the worker's messages of the cluster map view.
#include "ui/MapView.h"

#include <wx/dcclient.h>
#include <wx/menu.h>

#include "app/Settings.h"
#include "control/OrdexDoc.h"
#include "ui/MainFrame.h"
#include "ui/MenuIds.h"
#include "ui/map/MapTexts.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"

namespace tarvo::ui {

using namespace std::chrono_literals;

namespace {
wxColour ColourOf(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }
}  // namespace

COrdexView::COrdexView(wxWindow* parent, CMainFrame& frame, CUiQueue& queue)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(10, 10), wxFULL_REPAINT_ON_RESIZE),
      m_frame(frame),
      m_queue(queue) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    ApplyDrawSettings();
    Bind(wxEVT_PAINT, &COrdexView::OnPaint, this);
    Bind(wxEVT_SIZE, &COrdexView::OnSize, this);
    Bind(wxEVT_MOTION, &COrdexView::OnMotion, this);
    Bind(wxEVT_RIGHT_DOWN, &COrdexView::OnRightDown, this);
}

COrdexView::~COrdexView() { StopDrawing(); }

void COrdexView::StopDrawing() {
    m_drawJob.store(nullptr);
    m_drawThread.Stop(Waiter());
}

void COrdexView::ApplyDrawSettings() {
    m_drawThread.SetShadow(app::Settings().DrawShadow() ? Shadow::ThreeD : Shadow::Flat);
    m_drawThread.SetBlockSize(app::Settings().BlockSize());
}

IdleWaiter COrdexView::Waiter() {
    return [this](std::chrono::milliseconds timeout, const std::function<bool()>& done) {
        return m_queue.WaitServingSent(timeout, done);
    };
}

bool COrdexView::HasValidDrive() const {
    const volume::CDefragJob* job = m_doc ? m_doc->Job() : nullptr;
    return job != nullptr && !job->m_drive.empty() && job->m_totalClusters > 0;
}

void COrdexView::CancelDrawing() { m_drawThread.Cancel(Waiter()); }

void COrdexView::DropRedrawRequest() {
    m_fullRedrawRequested = false;
    CancelDrawing();
    m_mapReady.store(false);
    volume::CDefragJob* job = m_doc ? m_doc->Job() : nullptr;
    // No worker runs yet, so the job may be read here. A method on a drive that
    // is already analysed starts without an analysis (and so without RedrawAll):
    // the picture drawn for that job stays on show meanwhile.
    m_keepPicture = job != nullptr && job == m_pictureJob && job->m_fileTable != nullptr &&
                    job->m_clusterBitmap != nullptr && job->m_clusterBitmap->IsReady() && m_drawThread.HasBitmap();
    m_drawJob.store(job);
}

void COrdexView::WaitDrawingIdle() {
    // The job is about to be released or replaced: nothing may draw it any more.
    m_drawJob.store(nullptr);
    m_pictureJob = nullptr;
    m_keepPicture = false;
    CancelDrawing();
}

void COrdexView::SetCursor(control::ViewCursor cursor) {
    wxWindow::SetCursor(cursor == control::ViewCursor::AppStarting ? wxCursor(wxCURSOR_ARROWWAIT) : wxNullCursor);
}

void COrdexView::MarkFullRedraw() {
    ApplyDrawSettings();
    m_fullRedrawRequested = true;
    Refresh(false);
}

// --- painting (UI thread) ---

void COrdexView::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    auto grey = [&] {
        dc.SetBrush(wxBrush(ColourOf(kLightGrey)));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.DrawRectangle(0, 0, size.x, size.y);
    };
    volume::CDefragJob* job = m_doc ? m_doc->Job() : nullptr;
    if (job == nullptr || job->m_drive.empty() || job->m_totalClusters == 0 || !job->m_gate.KeepGoing()) {
        grey();
        return;
    }
    const bool ready = m_mapReady.load();
    if (app::Settings().DontDisplay() || (!ready && !m_keepPicture)) {
        grey();
        return;
    }
    if (m_drawJob.load() != job) m_drawJob.store(job);
    // While !ready (a method on an analysed drive) the picture last drawn is
    // shown as it stands: no full redraw reads the bitmap until the worker's own
    // RedrawAll, and the worker's file redraws keep the picture current.
    if (ready && (m_fullRedrawRequested || m_sizeChanged)) {
        m_pictureJob = job;
        m_fullRedrawRequested = false;
        m_sizeChanged = false;
        grey();
        dc.SetFont(wxFont(wxFontInfo(7)));
        dc.SetTextForeground(*wxBLACK);
        dc.SetTextBackground(ColourOf(kLightGrey));
        dc.DrawText(kProcessingText, 5, 5);
        m_drawThread.Post(DM_FULL_REDRAW, job);
        return;
    }
    // A copy taken under the lock: the worker's next Present waits only for the copy, not the painting.
    PixelBuffer front;
    {
        std::lock_guard lock(m_frontLock);
        front = m_front;
    }
    if (front.Empty()) {
        grey();
        return;
    }
    wxImage image(front.Width(), front.Height(), false);
    unsigned char* rgb = image.GetData();
    for (COLORREF c : front.Pixels()) {
        *rgb++ = GetRValue(c);
        *rgb++ = GetGValue(c);
        *rgb++ = GetBValue(c);
    }
    dc.DrawBitmap(wxBitmap(image), 0, 0);
    for (const TextAnnotation& text : front.Texts()) {
        dc.SetFont(wxFont(wxFontInfo(text.points + 2)));
        dc.SetTextForeground(ColourOf(text.foreground));
        dc.SetTextBackground(ColourOf(text.background));
        dc.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
        dc.DrawText(wxString::FromUTF8(text.text), text.x, text.y);
    }
    if (m_showProcessing) {
        dc.SetFont(wxFont(wxFontInfo(7)));
        dc.DrawText(kProcessingText, 5, 5);
    }
}

void COrdexView::OnSize(wxSizeEvent& event) {
    const wxSize size = GetClientSize();
    m_width.store(size.x);
    m_height.store(size.y);
    m_drawThread.Post(DM_COALESCE);
    m_sizeChanged = true;
    Refresh(false);
    event.Skip();
}

bool COrdexView::OnBlock(int x, int y) {
    const volume::CDefragJob* job = m_drawJob.load();
    if (job == nullptr || app::Settings().DontDisplay()) return false;
    const MapGeometry geometry = m_drawThread.Geometry();
    Lcn first = 0;
    return geometry.HitTest(x, y, first) && first < geometry.totalClusters;
}

void COrdexView::OnMotion(wxMouseEvent& event) {
    wxWindow::SetCursor(OnBlock(event.GetX(), event.GetY()) ? wxCursor(wxCURSOR_CROSS) : wxNullCursor);
    event.Skip();
}

void COrdexView::OnRightDown(wxMouseEvent& event) {
    if (!OnBlock(event.GetX(), event.GetY())) return;
    wxMenu menu;  // menu 131
    menu.Append(kIdClusterInspector, "&Cluster Inspector");
    menu.Enable(kIdClusterInspector, false);  // the inspector window is not part of this program yet
    menu.AppendSeparator();
    menu.Append(WxIdOf(static_cast<int>(control::CommandId::DriveInfo)), "&Drive Info");
    menu.Append(WxIdOf(static_cast<int>(control::CommandId::SystemUsedFiles)), "&System Used Files");
    m_frame.PopupMenu(&menu, m_frame.ScreenToClient(ClientToScreen(event.GetPosition())));
}

// --- MapWindow (drawing thread or worker) ---

void COrdexView::ClientSize(int& width, int& height) {
    width = m_width.load();
    height = m_height.load();
}

void COrdexView::ShowProcessing() {
    CallAfter([this] {
        m_showProcessing = true;
        Refresh(false);
    });
}

void COrdexView::ClearWindow() {
    {
        std::lock_guard lock(m_frontLock);
        m_front = PixelBuffer(m_width.load(), m_height.load());
    }
    CallAfter([this] { Refresh(false); });
}

void COrdexView::Present(const PixelBuffer& buffer) {
    {
        std::lock_guard lock(m_frontLock);
        m_front = buffer;
    }
    CallAfter([this] {
        m_showProcessing = false;
        Refresh(false);
    });
}

void COrdexView::RedrawLegend(int) {
    CallAfter([this] { m_frame.RefreshLegend(); });
}

void COrdexView::SendStatusText(const std::string& path) {
    m_queue.Send([this, path] { m_frame.OnFileRedraw(path); });
}

bool COrdexView::IsJobValid(const volume::CDefragJob* job) { return job != nullptr && job == m_drawJob.load(); }

// --- the worker's sink ---

void COrdexView::WorkerSink::SetStatusText(int pane, std::string text) {
    m_view.m_queue.Send([this, pane, text = std::move(text)] { m_view.m_frame.OnStatusText(pane, text); });
}

void COrdexView::WorkerSink::SetFragCount(int64_t count) {
    m_view.m_queue.Send([this, count] { m_view.m_frame.OnFragCount(static_cast<int>(count)); });
}

void COrdexView::WorkerSink::SetPercent(int percent) {
    m_view.m_queue.Send([this, percent] { m_view.m_frame.OnPercent(percent); });
}

void COrdexView::WorkerSink::PostRunFinished() {
    m_view.m_queue.PostDiscardable([this] {
        if (m_view.m_doc) m_view.m_doc->OnRunFinished();
    });
}

void COrdexView::WorkerSink::RedrawAll() {
    m_view.m_mapReady.store(true);
    m_view.CallAfter([this] {
        m_view.m_fullRedrawRequested = true;
        m_view.Refresh(false);
    });
}

bool COrdexView::WorkerSink::RedrawFile(const volume::FileRecord& file) {
    if (app::Settings().DontDisplay()) return true;
    volume::CDefragJob* job = m_view.m_drawJob.load();
    if (job == nullptr) return false;
    return m_view.m_drawThread.RedrawFile(*job, file);
}

}  // namespace tarvo::ui
