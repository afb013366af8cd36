// RunWindows.h --- what the run controller needs of the windows: the cluster map view, the drive tree
// and the host (main frame and UI thread).
//
// The controller runs on the UI thread and knows the windows only through these
// interfaces, so the same controller drives the wx windows and the console.
#pragma once

#include <chrono>
#include <functional>

#include "volume/DefragJob.h"
#include "volume/ViewSink.h"

namespace tarvo::control {

// The cursor the stop procedure shows over the view.
enum class ViewCursor { Arrow, AppStarting };

// The cluster map view: the sink a job's worker reports to, and its drawing.
class ClusterMapView {
public:
    virtual ~ClusterMapView() = default;
    // Where the job's worker sends UM_SET_STATUS_TEXT, UM_SET_FRAG_COUNT,
    // UM_SET_PERCENT and posts UM_RUN_FINISHED. Callable from any thread.
    virtual volume::ViewSink& Sink() = 0;
    // Forgets a pending redraw request before a new worker starts.
    virtual void DropRedrawRequest() {}
    // Returns once the drawing thread has finished its current drawing.
    virtual void WaitDrawingIdle() {}
    virtual void SetCursor(ViewCursor) {}
    // Repaints the view window from what it has drawn.
    virtual void Invalidate() {}
    // Marks the map for a full redraw (block size or shadow changed).
    virtual void MarkFullRedraw() {}
};

// The drive tree. SetDriveState is also called by the worker thread, so an
// implementation must take it from any thread.
class DriveTree {
public:
    virtual ~DriveTree() = default;
    // The state (0..4) of the selected item; 0 when no drive is selected.
    virtual int SelectedDriveState() const = 0;
    // The selected drive's letter, 0 when none.
    virtual char SelectedDriveLetter() const = 0;
    virtual void SelectDrive(char letter) = 0;
    // Sets the image of the drive being run (remembered on first call), or of
    // the selected item when none is remembered.
    virtual void SetDriveState(volume::DriveState state) = 0;
    // Sets the remembered item's image to 0 and forgets it.
    virtual void ClearDriveState() = 0;
    // Analyses the selected drive (calls back COrdexDoc::AnalyzeDrive).
    virtual void AnalyzeSelectedDrive() = 0;
    virtual void RebuildDriveList() = 0;
};

// What the options sheet changed when the user confirmed it.
struct OptionsOutcome {
    bool confirmed = false;
    bool drawShadowChanged = false;
    bool blockSizeChanged = false;
};

struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The main frame and the UI thread's message queue.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;
    // Waits at most `timeout` for done() to hold, serving the messages that
    // workers send meanwhile (a worker blocked in a send must never deadlock a
    // stop). Answers done().
    virtual bool WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) = 0;
    // Wakes a WaitServingSent so that it tests done() again (a worker ended).
    virtual void Wake() = 0;
    // Any thread: runs message later on the UI thread. DiscardPostedMessages may
    // drop it (it is a notice about a run that a release makes stale).
    virtual void PostDiscardable(std::function<void()> message) = 0;
    // Drops the discardable messages posted to the UI thread and not yet handled.
    virtual void DiscardPostedMessages() = 0;
    // WM_CLOSE to the main window: the program ends.
    virtual void PostClose() = 0;
    virtual void ShowWaitCursor(bool) {}
    virtual WindowRect MainWindowRect() const { return {}; }
    // The dialogs the commands open; without windows they do nothing.
    virtual void ShowDriveInfo(volume::CDefragJob&) {}
    virtual void ShowSystemUsedFiles(volume::CDefragJob&) {}
    virtual OptionsOutcome RunOptionsSheet() { return {}; }
    virtual void ShowExclusionList() {}
    virtual void RefreshMainFrame() {}
};

}  // namespace tarvo::control
