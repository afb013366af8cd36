// MainFrame.h --- CMainFrame: menus, toolbar, status bar with the progress gauge, the split client area,
// tray icon and window placement; it is also the run controller's host on the UI thread.
#pragma once

#include "ui/NtFirst.h"

#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/splitter.h>
#include <wx/taskbar.h>
#include <wx/timer.h>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/OrdexDoc.h"
#include "control/RunWindows.h"
#include "ui/UiQueue.h"

namespace tarvo::ui {

class COrdexView;
class CLegendForm;
class CDriveTree;
class CTrayIcon;

// Whether the window runs a command-line list (hidden, ends with the list), or
// runs one with the window shown (the program's own --show, for demonstrations).
enum class FrameMode { Interactive, Unattended, UnattendedShown };

class CMainFrame : public wxFrame, public control::DocumentHost {
public:
    CMainFrame(CUiQueue& queue, FrameMode mode);
    ~CMainFrame() override;

    // Creates the run controller over the windows; runs a command-line list once shown.
    void CreateDocument(control::RunKind kind);
    control::COrdexDoc* Document() { return m_doc.get(); }
    CDriveTree& Tree() { return *m_tree; }
    COrdexView& View() { return *m_view; }
    bool Unattended() const { return m_mode != FrameMode::Interactive; }
    // Called when the window closes before the run controller ended the command-line list.
    void SetClosedBeforeListEnd(std::function<void()> handler) { m_closedBeforeListEnd = std::move(handler); }
    // Saves a picture of the window to path once a method has moved files and shown
    // at least `percent` per cent; an error is printed on standard error.
    void SetScreenshotDuringRun(std::string path, int percent);

    // --- the status bar (UI thread) ---
    void SetProgress(int percent);
    void SetFragmentedCount(int count);
    void SetPaneText(int pane, const std::string& text);
    std::string PaneText(int pane) const;
    bool HasProgressBar() const { return m_gauge != nullptr; }
    // The view's relays of UM_SET_STATUS_TEXT, UM_SET_FRAG_COUNT, UM_SET_PERCENT.
    void OnStatusText(int pane, const std::string& text);
    // The drawing's UM_SET_STATUS_TEXT for the file whose blocks it redraws (a move).
    void OnFileRedraw(const std::string& path);
    void OnFragCount(int count);
    void OnPercent(int percent);
    void RefreshLegend();
    // The tray tip as now shown (empty without a tray).
    std::string TrayTip() const { return m_trayTip; }

    // --- control::DocumentHost ---
    bool WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) override;
    void Wake() override { m_queue.Wake(); }
    void PostDiscardable(std::function<void()> message) override { m_queue.PostDiscardable(std::move(message)); }
    void DiscardPostedMessages() override { m_queue.DiscardPosted(); }
    void PostClose() override;
    void ShowWaitCursor(bool on) override;
    control::WindowRect MainWindowRect() const override;
    void RefreshMainFrame() override { Refresh(); }
    void ShowSystemUsedFiles(volume::CDefragJob& job) override;
    // Runs the options sheet modally; the outcome says what the map must follow.
    control::OptionsOutcome RunOptionsSheet() override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildClientArea();
    void RestorePlacement();
    void SavePlacement();
    void LayoutLeftPane();
    void RefreshTrayTip();
    void ShowAbout();
    void PlaceGauge();
    void OnCommand(wxCommandEvent& event);
    void OnBreakKey(wxKeyEvent& event);
    void OnUpdateCommand(wxUpdateUIEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnPathPaneTimer(wxTimerEvent& event);
    void ShowPathPane(const std::string& text);

    CUiQueue& m_queue;
    FrameMode m_mode;
    std::unique_ptr<control::COrdexDoc> m_doc;
    wxSplitterWindow* m_outer = nullptr;
    wxSplitterWindow* m_inner = nullptr;
    CDriveTree* m_tree = nullptr;
    CLegendForm* m_legend = nullptr;
    COrdexView* m_view = nullptr;
    wxGauge* m_gauge = nullptr;
    std::time_t m_gaugeStart = 0;
    std::unique_ptr<CTrayIcon> m_tray;
    std::string m_trayStatus, m_trayPercent, m_trayCount, m_trayTip;
    bool m_closing = false;
    bool m_listEnded = false;  // the controller closes the window after the last drive
    std::function<void()> m_closedBeforeListEnd;
    std::string m_runShotPath;
    int m_runShotPercent = 0;
    bool m_filesMoved = false;
    // Pane 0 names the file in work and changes with every file; showing each one
    // costs a round trip to the display, so the pane shows the latest path at
    // most every kPathPaneMs and keeps the others pending.
    wxTimer m_pathPaneTimer;
    std::optional<std::string> m_pendingPath;
};

}  // namespace tarvo::ui
