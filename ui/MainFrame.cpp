// MainFrame.cpp --- building the main window, its layout, placement, closing and the status bar panes.
#include "ui/MainFrame.h"

#include <wx/dcclient.h>
#include <wx/statusbr.h>

#include <cstdio>

#include "app/Settings.h"
#include "ui/DriveTreePane.h"
#include "ui/LegendPane.h"
#include "ui/MapView.h"
#include "ui/OptionsSheet.h"
#include "ui/SystemUsedFilesDialog.h"
#include "ui/TrayIcon.h"
#include "common/WindowShot.h"
#include "ui/texts/StatusTexts.h"

namespace tarvo::ui {

namespace {
constexpr int kMinimumSide = 60;
constexpr int kLeftColumn = 140;
// What a status-bar pane needs beside its text (the toolkit's padding and edge).
constexpr int kPaneMargin = 24;
constexpr int kGripWidth = 20;
constexpr int kPathPaneMs = 50;
}  // namespace

CMainFrame::CMainFrame(CUiQueue& queue, FrameMode mode)
    : wxFrame(nullptr, wxID_ANY, "Tarvo Defrag", wxDefaultPosition, wxSize(760, 560)), m_queue(queue), m_mode(mode) {
    RestorePlacement();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildClientArea();
    SetProgress(-1);
    SetFragmentedCount(0);
    if (wxTaskBarIcon::IsAvailable()) m_tray = std::make_unique<CTrayIcon>(*this, Unattended());
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    Bind(wxEVT_SIZE, &CMainFrame::OnSize, this);
    Bind(wxEVT_ICONIZE, &CMainFrame::OnIconize, this);
    m_pathPaneTimer.SetOwner(this);
    Bind(wxEVT_TIMER, &CMainFrame::OnPathPaneTimer, this, m_pathPaneTimer.GetId());
}

CMainFrame::~CMainFrame() {
    if (m_tray) m_tray->RemoveIcon();
}

void CMainFrame::CreateDocument(control::RunKind kind) {
    m_doc = std::make_unique<control::COrdexDoc>(*this, m_view, *m_tree, control::EngineWorkerEntries(), kind);
    m_view->SetDocument(m_doc.get());
    m_tree->SetAnalyzeHandler([this](char letter) { m_doc->AnalyzeDrive(std::string(1, letter)); });
    m_tree->SetDriveChosenHandler([this] { m_doc->DriveChosen(); });
    m_tree->SetBusyTest([this] { return m_doc->WorkerRunning(); });
    m_tree->SetDropJobsHandler([this] {
        if (m_doc) m_doc->StopRun();
    });
    m_tree->Fill();
}

void CMainFrame::BuildClientArea() {
    m_outer = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D | wxSP_LIVE_UPDATE);
    m_inner = new wxSplitterWindow(m_outer, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D | wxSP_LIVE_UPDATE);
    m_tree = new CDriveTree(m_inner);
    m_legend = new CLegendForm(m_inner, m_view);
    m_view = new COrdexView(m_outer, *this, m_queue);
    m_outer->SetMinimumPaneSize(50);
    m_inner->SetMinimumPaneSize(50);
    m_outer->SplitVertically(m_inner, m_view, kLeftColumn);
    m_inner->SplitHorizontally(m_tree, m_legend, std::max(0, GetClientSize().y - 215));
}

void CMainFrame::LayoutLeftPane() {
    if (m_inner == nullptr) return;
    const SplitRows rows = LeftPaneRows(m_inner->GetClientSize().y);
    if (rows.legend == 0) {
        if (m_inner->IsSplit()) m_inner->Unsplit(m_legend);
    } else {
        if (!m_inner->IsSplit()) m_inner->SplitHorizontally(m_tree, m_legend, rows.tree);
        m_inner->SetSashPosition(rows.tree);
    }
    m_legend->Refresh();
}

void CMainFrame::RestorePlacement() {
    const auto placement = ParseWindowPos(app::Settings().WindowPos());
    if (!placement) return;
    const int width = std::max(placement->right - placement->left, kMinimumSide);
    const int height = std::max(placement->bottom - placement->top, kMinimumSide);
    SetSize(placement->left, placement->top, width, height);
    if (placement->flags & 2) Maximize();
}

void CMainFrame::SavePlacement() {
    WindowPlacement p;
    const wxRect rect = IsMaximized() || IsIconized() ? GetRect() : GetRect();
    p.flags = IsMaximized() ? 2 : 0;
    p.showCommand = IsIconized() ? 2 : IsMaximized() ? 3 : 1;
    p.minX = p.minY = p.maxX = p.maxY = -1;
    p.left = rect.x;
    p.top = rect.y;
    p.right = rect.x + rect.width;
    p.bottom = rect.y + rect.height;
    app::Settings().SetWindowPos(FormatWindowPos(p), app::Persist::Yes);
}

void CMainFrame::OnClose(wxCloseEvent& event) {
    if (m_closing) {
        event.Skip();
        return;
    }
    m_closing = true;
    if (Unattended() && !m_listEnded && m_closedBeforeListEnd) m_closedBeforeListEnd();
    SavePlacement();
    if (m_doc) m_doc->OnCloseDocument();
    m_view->StopDrawing();
    m_queue.Close();
    event.Skip();
}

void CMainFrame::OnSize(wxSizeEvent& event) {
    event.Skip();
    if (m_mode == FrameMode::Unattended) {
        Hide();
        return;
    }
    CallAfter([this] {
        LayoutLeftPane();
        PlaceGauge();
    });
}

void CMainFrame::OnIconize(wxIconizeEvent& event) {
    event.Skip();
    if (event.IsIconized() && app::Settings().HideOnMinimize() && m_tray) Hide();
}

control::WindowRect CMainFrame::MainWindowRect() const {
    const wxRect r = GetScreenRect();
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

bool CMainFrame::WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    return m_queue.WaitServingSent(timeout, done);
}

void CMainFrame::PostClose() {
    m_listEnded = true;
    CallAfter([this] { Close(true); });
}

void CMainFrame::ShowSystemUsedFiles(volume::CDefragJob& job) {
    ShowSystemUsedFilesDialog(this, job.m_systemUsedFiles, job.IsNtfs());
}

control::OptionsOutcome CMainFrame::RunOptionsSheet() {
    const int blockSize = app::Settings().BlockSize();
    const bool shadow = app::Settings().DrawShadow() != 0;
    CMyPropertySheet sheet(this);
    // A changed RemovableDrives refills the drive list as F5 does, unless a run
    // is going on (the list is then refilled by the next F5).
    sheet.SetDriveListReload([this] {
        using control::CommandId;
        if (m_doc && m_doc->UpdateCommand(CommandId::ReloadDriveList).enabled)
            m_doc->OnCommand(CommandId::ReloadDriveList);
    });
    sheet.Load();
    control::OptionsOutcome outcome;
    // Apply followed by Cancel has stored too: the map must follow what is stored.
    outcome.confirmed = sheet.ShowModal() == wxID_OK || sheet.StoredOnce();
    outcome.blockSizeChanged = app::Settings().BlockSize() != blockSize;
    outcome.drawShadowChanged = (app::Settings().DrawShadow() != 0) != shadow;
    return outcome;
}

void CMainFrame::SetScreenshotDuringRun(std::string path, int percent) {
    m_runShotPath = std::move(path);
    m_runShotPercent = percent;
}

void CMainFrame::ShowWaitCursor(bool on) {
    if (on)
        wxBeginBusyCursor();
    else if (wxIsBusy())
        wxEndBusyCursor();
}

// --- status bar ---

void CMainFrame::BuildStatusBar() {
    wxStatusBar* bar = CreateStatusBar(3);
    const int widths[3] = {-1, 120, 140};
    bar->SetStatusWidths(3, widths);
    bar->SetStatusText("Percent", 1);
    bar->SetStatusText("frag. Files", 2);
}

void CMainFrame::PlaceGauge() {
    if (m_gauge == nullptr) return;
    wxRect pane;
    GetStatusBar()->GetFieldRect(1, pane);
    wxClientDC dc(GetStatusBar());
    dc.SetFont(GetStatusBar()->GetFont());
    const int left = dc.GetTextExtent(" 100 % ").x;
    const int right = dc.GetTextExtent(" 00:00   ").x;
    m_gauge->SetSize(pane.x + left, pane.y + 2, std::max(10, pane.width - left - right), pane.height - 4);
}

void CMainFrame::SetProgress(int percent) {
    wxStatusBar* bar = GetStatusBar();
    if (percent == -1) {
        if (m_gauge) m_gauge->Destroy();
        m_gauge = nullptr;
        bar->SetStatusText(kReadyText, 0);
        wxClientDC dc(bar);
        dc.SetFont(bar->GetFont());
        int widths[3] = {-1, dc.GetTextExtent(kIdleText).x + kPaneMargin, bar->GetStatusWidth(2)};
        bar->SetStatusWidths(3, widths);
        bar->SetStatusText(kIdleText, 1);
        return;
    }
    if (m_gauge == nullptr) {
        int widths[3] = {-1, bar->GetStatusWidth(1) * 7, bar->GetStatusWidth(2)};
        bar->SetStatusWidths(3, widths);
        m_gauge = new wxGauge(bar, 123, 101);
        bar->SetStatusText("", 1);
        m_gaugeStart = std::time(nullptr);
        PlaceGauge();
    }
    std::string text = FormatPercent(percent);
    if (percent > 0) {
        const std::string end = EstimatedEnd(m_gaugeStart, std::time(nullptr), percent);
        wxRect pane;
        bar->GetFieldRect(1, pane);
        wxClientDC dc(bar);
        dc.SetFont(bar->GetFont());
        const int blank = std::max(1, dc.GetTextExtent(" ").x);
        const int room = (pane.width - dc.GetTextExtent(text + end).x) / blank - 3;
        text += std::string(static_cast<size_t>(std::max(1, room)), ' ') + end;
    }
    bar->SetStatusText(text, 1);
    m_gauge->SetValue(std::clamp(percent, 0, 101));
}

void CMainFrame::SetFragmentedCount(int count) {
    wxStatusBar* bar = GetStatusBar();
    const std::string text = FormatFragmentedCount(count);
    wxClientDC dc(bar);
    dc.SetFont(bar->GetFont());
    // The last pane also holds the size grip.
    int widths[3] = {-1, bar->GetStatusWidth(1), dc.GetTextExtent(text).x + kPaneMargin + kGripWidth};
    bar->SetStatusWidths(3, widths);
    bar->SetStatusText(text, 2);
}

void CMainFrame::SetPaneText(int pane, const std::string& text) {
    wxStatusBar* bar = GetStatusBar();
    if (pane < 0 || pane > 2) return;
    if (pane == 0) m_pendingPath.reset();  // a newer text wins over a pending path
    wxClientDC dc(bar);
    dc.SetFont(bar->GetFont());
    const int charWidth = std::max(1, dc.GetCharWidth());
    wxRect rect;
    bar->GetFieldRect(pane, rect);
    const std::string fitted = FitPaneText(text, static_cast<size_t>(std::max(4, rect.width / charWidth)));
    bar->SetStatusText(wxString::FromUTF8(fitted), pane);
}

std::string CMainFrame::PaneText(int pane) const {
    if (pane == 0 && m_pendingPath) return *m_pendingPath;
    return GetStatusBar()->GetStatusText(pane).utf8_string();
}

void CMainFrame::OnStatusText(int pane, const std::string& text) {
    if (pane == 0) {
        ShowPathPane(text);
        return;
    }
    SetPaneText(pane, text);
    if (pane == 1) {
        m_trayStatus = text;
        RefreshTrayTip();
    }
}

void CMainFrame::OnFileRedraw(const std::string& path) {
    m_filesMoved = true;
    ShowPathPane(path);
}

void CMainFrame::ShowPathPane(const std::string& path) {
    if (m_pathPaneTimer.IsRunning()) {
        m_pendingPath = path;
        return;
    }
    SetPaneText(0, path);
    m_pathPaneTimer.StartOnce(kPathPaneMs);
}

void CMainFrame::OnPathPaneTimer(wxTimerEvent&) {
    if (!m_pendingPath) return;
    const std::string path = *m_pendingPath;
    SetPaneText(0, path);
    m_pathPaneTimer.StartOnce(kPathPaneMs);
}

void CMainFrame::OnFragCount(int count) {
    SetFragmentedCount(count);
    m_trayCount = count < 0 ? "" : std::to_string(count);
    RefreshTrayTip();
}

void CMainFrame::OnPercent(int percent) {
    SetProgress(percent);
    m_trayPercent = percent <= 0 ? "" : std::to_string(percent);
    RefreshTrayTip();
    if (!m_runShotPath.empty() && m_filesMoved && percent >= m_runShotPercent && IsShown()) {
        // The worker waits for this message: the picture shows the map as it stands now.
        std::string error;
        if (!common::SaveWindowPicture(*this, m_runShotPath, error))
            std::fprintf(stderr, "TarvoDefrag: the picture of the window was not saved: %s\n", error.c_str());
        m_runShotPath.clear();
    }
}

void CMainFrame::RefreshTrayTip() {
    const volume::CDefragJob* job = m_doc ? m_doc->Job() : nullptr;
    m_trayTip = BuildTrayTip(m_trayStatus, job ? job->m_rootPath : std::string(), m_trayPercent, m_trayCount);
    if (m_tray) m_tray->SetTip(m_trayTip);
}

void CMainFrame::RefreshLegend() {
    if (m_legend) m_legend->Refresh();
}

}  // namespace tarvo::ui
