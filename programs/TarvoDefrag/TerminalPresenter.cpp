// TerminalPresenter.cpp --- boxes as lines and the status report as a table.
#include "programs/TarvoDefrag/TerminalPresenter.h"

#include <algorithm>

#include "app/ConsolePresenter.h"

namespace tarvo::programs {
namespace {

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string Row(const char* name, const std::string& value) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-22s %s", name, value.c_str());
    return line;
}

}  // namespace

std::vector<std::string> StatusReportLines(const app::StatusReportRequest& request) {
    const app::FragmentedShare share = app::ComputeFragmentedShare(request.totalFiles, request.fragmentedNow);
    return {OneLine(request.text),
            Row("Drive", request.drive),
            Row("File system", request.fileSystem),
            Row("Files", request.totalFiles),
            Row("Fragmented before", request.fragmentedBefore),
            Row("Fragmented now", request.fragmentedNow),
            Row("% fragmented files", share.percentText)};
}

int CTerminalPresenter::ShowMessageBox(const app::MessageBoxRequest& request) {
    m_progress.PrintLine(std::string(app::SeverityWord(request.id)) + ": " + OneLine(request.text));
    return app::DefaultButton(request.style);
}

int CTerminalPresenter::ShowAskBox(const app::AskBoxRequest& request, bool& checked) {
    checked = false;
    m_progress.PrintLine(std::string(app::SeverityWord(request.id)) + ": " + OneLine(request.text));
    return app::DefaultButton(request.style);
}

int CTerminalPresenter::ShowStatusReport(const app::StatusReportRequest& request) {
    for (const std::string& line : StatusReportLines(request)) m_progress.PrintLine(line);
    return app::IDOK;
}

void CTerminalPresenter::ShowMessageLog(const std::vector<app::MessageLogRecord>& records) {
    for (const auto& r : records) {
        const char drive[3] = {r.drive ? r.drive : ' ', r.drive ? ':' : ' ', 0};
        m_progress.PrintLine(app::FormatLogTime(r.time) + "  " + drive + "  " + r.text);
    }
}

}  // namespace tarvo::programs
