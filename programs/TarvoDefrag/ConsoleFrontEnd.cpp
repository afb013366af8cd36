// ConsoleFrontEnd.cpp --- the console run: loop, controller, progress, signals, exit status.
#include "programs/TarvoDefrag/ConsoleFrontEnd.h"

#include <pthread.h>

#include "app/Logger.h"
#include "app/Settings.h"
#include "engine/EngineReport.h"

namespace tarvo::programs {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);  // ends the watcher at exit
    return set;
}

void BlockStopSignals() {
    sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CConsoleFrontEnd::CConsoleFrontEnd(ProgressStyle style)
    : m_host(m_loop),
      m_progress(stderr, style, [this] { return Label(); }),
      m_presenter(m_progress),
      m_sink(m_loop, m_progress, nullptr) {}

CConsoleFrontEnd::~CConsoleFrontEnd() {
    engine::SetEngineReportObserver(nullptr);
    if (m_signalWatcher.joinable()) {
        pthread_kill(m_signalWatcher.native_handle(), SIGUSR1);
        m_signalWatcher.join();
    }
}

ProgressLabel CConsoleFrontEnd::Label() {
    std::lock_guard lock(m_labelMutex);
    // Only the UI thread reads the controller; a worker's message line reuses the last label.
    if (m_doc && m_loop.OnLoopThread()) {
        m_label.drive = m_doc->CurrentDrive().empty() ? std::string() : m_doc->CurrentDrive() + ":";
        std::string method = m_outcome.MethodOf(m_label.drive);
        if (method.empty()) {
            static const char* const kModes[] = {"", "analysis", "SPACE", "COMPLETE"};
            const int mode = m_doc->RunningMode();
            method = mode >= 0 && mode <= 3 ? kModes[mode] : "";
        }
        m_label.method = method;
    }
    return m_label;
}

void CConsoleFrontEnd::WatchSignals() {
    const sigset_t set = StopSignals();
    while (true) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0 || signal == SIGUSR1) return;
        m_loop.Post([this] { OnStopSignal(); });
    }
}

void CConsoleFrontEnd::OnStopSignal() {
    if (m_stopping) {
        m_progress.PrintLine("Still stopping: waiting for the move in flight to end.");
        return;
    }
    m_stopping = true;
    m_outcome.MarkStopped();
    m_progress.PrintLine("Stopping: the move in flight is completed first.");
    if (m_doc) m_doc->StopRun();
    m_loop.Quit(kExitStopped);
}

int CConsoleFrontEnd::Run(app::CTarvoApp& application) {
    const app::CommandLineRecord& record = application.Record();
    const control::WorkerEntries entries = control::EngineWorkerEntries();
    const bool complete = record.completeSeen;
    if (entries.ForMode(complete ? control::kModeComplete : control::kModeSpace) == nullptr) {
        m_progress.PrintLine(std::string("TarvoDefrag: the ") + (complete ? "COMPLETE" : "SPACE") +
                             " method is not part of this build yet.");
        return kExitDriveFailed;
    }
    engine::SetEngineReportObserver(
        [this](app::MessageId id, const std::vector<std::string>& strings) { m_outcome.Observe(id, strings); });
    m_doc = std::make_unique<control::COrdexDoc>(m_host, this, m_tree, entries,
                                                 application.CommandLineRun() ? control::RunKind::Scheduled
                                                                              : control::RunKind::Interactive);
    m_sink.SetRunFinishedHandler([this] { m_doc->OnRunFinished(); });
    m_tree.SetAnalyzeHandler([this](char letter) { m_doc->AnalyzeDrive(std::string(1, letter)); });
    application.SetPriorities();
    m_signalWatcher = std::thread([this] { WatchSignals(); });

    m_loop.Post([this] { m_doc->StartCommandLineRun(); });
    m_loop.Run();
    m_doc->OnCloseDocument();
    m_progress.Finish();
    // A terminal has no message log window: the messages the runs kept are listed at the end.
    if (app::HasLoggedMessages()) {
        m_progress.PrintLine("Messages of the run:");
        app::ShowLog();
    }
    m_loop.Close();

    const app::DriveList& drives = record.completeSeen ? record.completeDrives : record.spaceDrives;
    const int status = m_outcome.ExitStatus(drives);
    m_doc.reset();
    return status;
}

}  // namespace tarvo::programs
