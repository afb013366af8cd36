// WindowedProgram.cpp --- the wx application: UI queue, presenter, main frame and the run controller.
#include "ui/WindowedProgram.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <pthread.h>

#include <csignal>
#include <memory>
#include <thread>

#include "app/Logger.h"
#include "app/Startup.h"
#include "common/SelfTestReports.h"
#include "platform/process/Mutex.h"
#include "ui/InstanceChannel.h"
#include "ui/MainFrame.h"
#include "ui/SelfTest.h"
#include "ui/SplashWindow.h"
#include "ui/WxPresenter.h"

namespace tarvo::ui {

namespace {

constexpr int kServeTimerMs = 10;

class CTarvoWxApp : public wxApp {
public:
    explicit CTarvoWxApp(const WindowedOptions& options) : m_options(options) {}
    ~CTarvoWxApp() override {
        m_listener.reset();
        EndSignalWatcher();
    }

    bool OnInit() override {
        m_queue = std::make_unique<CUiQueue>([this](CUiQueue::Message message) { CallAfter(std::move(message)); });
        // A worker's send normally wakes this thread through CallAfter; the timer
        // serves sends (and posted calls) that such a wake-up left waiting, so a
        // worker can never stay blocked in a send while this thread idles.
        m_serveTimer.SetOwner(this);
        Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            // A worker that sends one message after another would otherwise wait
            // a whole tick for each; half of the tick serves such a burst.
            if (m_queue) m_queue->ServeSentWhileBusy(std::chrono::milliseconds(kServeTimerMs / 2), std::chrono::microseconds(1500));
            ProcessPendingEvents();
        });
        m_serveTimer.Start(kServeTimerMs);
        const bool unattended = m_options.unattended;
        const bool shown = unattended && m_options.showUnattended;
        m_frame = new CMainFrame(*m_queue, !unattended ? FrameMode::Interactive
                                           : shown     ? FrameMode::UnattendedShown
                                                       : FrameMode::Unattended);
        if (m_options.closedBeforeListEnd) m_frame->SetClosedBeforeListEnd(m_options.closedBeforeListEnd);
        if ((!unattended || shown) && !m_options.runShot.empty())
            m_frame->SetScreenshotDuringRun(m_options.runShot, m_options.runShotPercent);
        m_parent = m_frame;
        m_presenter = std::make_unique<CWxPresenter>(*m_queue, m_parent);
        m_previousPresenter = app::SetPresenter(m_presenter.get());
        m_frame->CreateDocument(unattended ? control::RunKind::Scheduled : control::RunKind::Interactive);
        if (m_options.setPriorities) m_options.setPriorities();
        if (!unattended || shown) m_frame->Show();
        if (!unattended && m_options.splash) ShowSplash(m_frame);
        m_liveFrame = m_frame;
        // A second interactive start asks this window to the front.
        if (!unattended) {
            m_listener = std::make_unique<CInstanceListener>(
                InstanceChannelName(platform::RuntimeFolder(), app::CTarvoApp::GuardName()), [this] {
                    CallAfter([this] {
                        if (!m_liveFrame) return;
                        m_liveFrame->Show();
                        m_liveFrame->Iconize(false);
                        m_liveFrame->Raise();
                    });
                });
        }
        if (unattended) CallAfter([this] { m_frame->Document()->StartCommandLineRun(); });
        if (m_options.selfTest) m_selfTest = std::make_unique<CSelfTest>(*m_frame, m_options);
        if (m_options.stopSignals == StopSignals::CloseWindow) TakeStopSignals();
        return true;
    }
    int OnExit() override {
        m_serveTimer.Stop();
        m_listener.reset();
        EndSignalWatcher();
        m_frame = nullptr;
        app::SetPresenter(m_previousPresenter);
        m_parent = nullptr;
        return wxApp::OnExit();
    }
    int Status() const { return m_selfTest ? m_selfTest->ExitStatus() : 0; }

private:
    // A watcher thread waits for the signals (blocked in every thread) and
    // closes the frame on the UI thread, which stops a running method after the
    // move in flight, like the close box. SIGUSR1 ends the watcher.
    void TakeStopSignals() {
        m_signalWatcher = std::thread([this] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigaddset(&set, SIGTERM);
            sigaddset(&set, SIGUSR1);
            int signal = 0;
            while (sigwait(&set, &signal) == 0 && signal != SIGUSR1)
                CallAfter([this] {
                    if (m_liveFrame) m_liveFrame->Close(true);
                });
        });
    }
    void EndSignalWatcher() {
        if (!m_signalWatcher.joinable()) return;
        pthread_kill(m_signalWatcher.native_handle(), SIGUSR1);
        m_signalWatcher.join();
    }

    WindowedOptions m_options;
    std::unique_ptr<CUiQueue> m_queue;
    CMainFrame* m_frame = nullptr;
    wxWeakRef<CMainFrame> m_liveFrame;  // gone once the frame is destroyed
    std::thread m_signalWatcher;
    wxWindow* m_parent = nullptr;
    std::unique_ptr<CWxPresenter> m_presenter;
    app::MessagePresenter* m_previousPresenter = nullptr;
    std::unique_ptr<CSelfTest> m_selfTest;
    std::unique_ptr<CInstanceListener> m_listener;
    wxTimer m_serveTimer;
};

}  // namespace

int RunWindowedProgram(app::CTarvoApp& application, int argc, char** argv, WindowedOptions options) {
    options.unattended = application.CommandLineRun() != 0;
    options.setPriorities = [&application] { application.SetPriorities(); };
    return RunWindowedProgram(argc, argv, options);
}

int RunWindowedProgram(int argc, char** argv, const WindowedOptions& options) {
    // Before the toolkit starts, so that none of its reports opens a dialog.
    if (options.selfTest) common::TakeToolkitReports();
    auto* wxapp = new CTarvoWxApp(options);
    wxApp::SetInstance(wxapp);
    if (!wxEntryStart(argc, argv)) {
        wxEntryCleanup();
        return kNoDisplay;
    }
    int status = 1;
    if (wxTheApp->CallOnInit()) {
        wxTheApp->OnRun();
        status = wxapp->Status();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}

}  // namespace tarvo::ui
