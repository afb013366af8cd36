// ConsoleFrontEnd.h --- a command-line run in the terminal: the UI thread's loop, the run controller,
// the progress line, messages as lines, and SIGINT/SIGTERM as the stop command.
#pragma once

#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Startup.h"
#include "control/HeadlessDriveTree.h"
#include "control/LoopHost.h"
#include "control/MessageLoop.h"
#include "control/OrdexDoc.h"
#include "control/QueuedViewSink.h"
#include "programs/TarvoDefrag/ConsoleProgress.h"
#include "programs/TarvoDefrag/RunOutcome.h"
#include "programs/TarvoDefrag/TerminalPresenter.h"

namespace tarvo::programs {

// The signals the front-end takes over. Block them in every thread (BlockStopSignals
// in main, before any thread starts) so that only the front-end's watcher sees them.
sigset_t StopSignals();
void BlockStopSignals();

class CConsoleFrontEnd : public control::ClusterMapView {
public:
    // The calling thread becomes the UI thread.
    explicit CConsoleFrontEnd(ProgressStyle style);
    ~CConsoleFrontEnd() override;

    app::MessagePresenter& Presenter() { return m_presenter; }
    CConsoleProgress& Progress() { return m_progress; }

    // Runs the command-line lists of the started application until the last
    // drive is done or a stop signal came; answers the exit status.
    int Run(app::CTarvoApp& application);

    volume::ViewSink& Sink() override { return m_sink; }

private:
    ProgressLabel Label();
    void OnStopSignal();
    void WatchSignals();

    control::CMessageLoop m_loop;
    control::CLoopHost m_host;
    control::CHeadlessDriveTree m_tree;
    CConsoleProgress m_progress;
    CTerminalPresenter m_presenter;
    control::QueuedViewSink m_sink;
    CRunOutcome m_outcome;
    std::unique_ptr<control::COrdexDoc> m_doc;
    std::thread m_signalWatcher;
    bool m_stopping = false;
    std::mutex m_labelMutex;
    ProgressLabel m_label;
};

}  // namespace tarvo::programs
