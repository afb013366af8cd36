// WindowedRun.cpp --- the window's run: the outcome of every drive is gathered from the reports, as in the terminal.
#include "programs/TarvoDefrag/WindowedRun.h"

#include "engine/EngineReport.h"
#include "programs/TarvoDefrag/RunOutcome.h"
#include "platform/process/Mutex.h"
#include "ui/InstanceChannel.h"
#include "ui/WindowedProgram.h"

namespace tarvo::programs {

int RunInWindow(app::CTarvoApp& application, char* programName, const ProgramOptions& options) {
    CRunOutcome outcome;
    engine::SetEngineReportObserver(
        [&outcome](app::MessageId id, const std::vector<std::string>& strings) { outcome.Observe(id, strings); });
    ui::WindowedOptions windowed;
    windowed.stopSignals = ui::StopSignals::CloseWindow;
    windowed.splash = application.Record().showSplash != 0;
    windowed.showUnattended = options.show || !options.screenshot.empty();
    windowed.runShot = options.screenshot;
    windowed.closedBeforeListEnd = [&outcome] { outcome.MarkStopped(); };
    // The toolkit sees only the program name: the command line is ours.
    char* argv[] = {programName, nullptr};
    const int status = ui::RunWindowedProgram(application, 1, argv, windowed);
    engine::SetEngineReportObserver(nullptr);
    if (status == ui::kNoDisplay) return kWindowNotShown;
    if (!application.CommandLineRun()) return status;
    const app::CommandLineRecord& record = application.Record();
    return outcome.ExitStatus(record.completeSeen ? record.completeDrives : record.spaceDrives);
}

void ForwardSecondStartToWindow(app::CTarvoApp& application) {
    application.m_activateRunningInstance = [] {
        ui::AskRunningInstanceToShow(ui::InstanceChannelName(platform::RuntimeFolder(), app::CTarvoApp::GuardName()));
    };
}

}  // namespace tarvo::programs
