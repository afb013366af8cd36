// ViewSink.h --- what the volume layer and the engine tell the cluster map view.
//
// The worker thread reports progress through this interface. The sent messages
// (status text, fragmented-file count, percentage) return only when the view
// has taken them; the run-finished message is posted and never blocks. The GUI
// sink marshals to the UI thread, the console sink prints a progress line, and
// tests record what arrives.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::volume {

class FileRecord;

constexpr platform::UINT WM_USER = 0x0400;
constexpr platform::UINT UM_SET_STATUS_TEXT = WM_USER + 1;
constexpr platform::UINT UM_SET_FRAG_COUNT = WM_USER + 2;
constexpr platform::UINT UM_SET_PERCENT = WM_USER + 3;
constexpr platform::UINT UM_RUN_FINISHED = WM_USER + 4;

// Status-bar pane of the status texts that the runs send.
constexpr int kStatusPaneMain = 0;

class ViewSink {
public:
    virtual ~ViewSink() = default;

    // UM_SET_STATUS_TEXT (sent): shows text in a status-bar pane. The sink owns
    // its copy; the caller keeps nothing.
    virtual void SetStatusText(int pane, std::string text) = 0;

    // UM_SET_FRAG_COUNT (sent): the current number of fragmented files.
    virtual void SetFragCount(int64_t count) = 0;

    // UM_SET_PERCENT (sent): percentage done; -1 clears the progress display.
    virtual void SetPercent(int percent) = 0;

    // UM_RUN_FINISHED (posted): the run ended by itself; the run controller
    // moves on to the next queued drive. Never blocks the caller.
    virtual void PostRunFinished() = 0;

    // The view's drive flag: 0 while no drive is ready to draw. OpenDrive clears it.
    virtual void SetDriveFlag(int flag) = 0;

    // RedrawAll: rebuild the whole map of the drive (after an analysis or
    // whenever the map must be rebuilt). May return before the drawing ends.
    virtual void RedrawAll() = 0;

    // RedrawFile: redraw the blocks of one file (its old and new clusters after
    // a move), on the caller's thread. Answers false when the drive being shown
    // is no longer valid; true when drawn or when drawing is switched off.
    virtual bool RedrawFile(const FileRecord& file) = 0;
};

}  // namespace tarvo::volume
