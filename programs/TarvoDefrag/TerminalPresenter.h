// TerminalPresenter.h --- the logger's boxes and status report as lines of a console run, never waiting for input.
#pragma once

#include "app/Presenter.h"
#include "programs/TarvoDefrag/ConsoleProgress.h"

namespace tarvo::programs {

class CTerminalPresenter : public app::MessagePresenter {
public:
    explicit CTerminalPresenter(CConsoleProgress& progress) : m_progress(progress) {}

    // "<Severity>: <text>" on one line; answers the box's default button.
    int ShowMessageBox(const app::MessageBoxRequest& request) override;
    // As a box; the check box stays clear.
    int ShowAskBox(const app::AskBoxRequest& request, bool& checked) override;
    // The completion message and a small table of the run's figures.
    int ShowStatusReport(const app::StatusReportRequest& request) override;
    void ShowMessageLog(const std::vector<app::MessageLogRecord>& records) override;

private:
    CConsoleProgress& m_progress;
};

// The status report's lines, as the console prints them.
std::vector<std::string> StatusReportLines(const app::StatusReportRequest& request);

}  // namespace tarvo::programs
