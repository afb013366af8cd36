// QueuedViewSink.h --- a view sink that hands the worker's messages to the UI thread's loop.
//
// Status text, fragmented-file count and percentage are sent: the worker waits
// until the UI thread has given them to the inner sink. Run-finished is posted
// and reaches the run controller later on the UI thread. Redraws stay on the
// caller's thread, as the drawing code wants them.
#pragma once

#include <functional>

#include "control/MessageLoop.h"
#include "volume/ViewSink.h"

namespace tarvo::control {

class QueuedViewSink : public volume::ViewSink {
public:
    // inner receives the messages on the loop's thread; onRunFinished is run there for UM_RUN_FINISHED.
    QueuedViewSink(CMessageLoop& loop, volume::ViewSink& inner, std::function<void()> onRunFinished);

    void SetStatusText(int pane, std::string text) override;
    void SetFragCount(int64_t count) override;
    void SetPercent(int percent) override;
    void PostRunFinished() override;
    void SetDriveFlag(int flag) override;
    void RedrawAll() override;
    bool RedrawFile(const volume::FileRecord& file) override;

    // Sets the handler of UM_RUN_FINISHED (before any worker runs).
    void SetRunFinishedHandler(std::function<void()> handler) { m_onRunFinished = std::move(handler); }

private:
    CMessageLoop& m_loop;
    volume::ViewSink& m_inner;
    std::function<void()> m_onRunFinished;
};

}  // namespace tarvo::control
