// ConsolePresenter.cpp --- boxes and reports as lines on standard error.
#include "app/ConsolePresenter.h"

#include <unistd.h>

#include <algorithm>

namespace tarvo::app {
namespace {

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

const char* StyleWord(UINT style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONHAND:
            return "Error";
        case MB_ICONEXCLAMATION:
            return "Warning";
        default:
            return "Information";
    }
}

}  // namespace

const char* SeverityWord(MessageId id) {
    switch (MessageSeverity(id)) {
        case SEVERITY_ERROR:
            return "Error";
        case SEVERITY_WARNING:
            return "Warning";
        default:
            return "Information";
    }
}

int DefaultButton(UINT style) {
    bool second = (style & MB_DEFBUTTON2) != 0;
    switch (style & MB_TYPEMASK) {
        case MB_YESNO:
            return second ? IDNO : IDYES;
        case MB_OKCANCEL:
            return second ? IDCANCEL : IDOK;
        default:
            return IDOK;
    }
}

ConsolePresenter::ConsolePresenter(std::FILE* out, std::FILE* in) : m_out(out), m_in(in) {}

int ConsolePresenter::ShowMessageBox(const MessageBoxRequest& request) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::fprintf(m_out, "%s: %s\n", SeverityWord(request.id), OneLine(request.text).c_str());
    std::fflush(m_out);
    return DefaultButton(request.style);
}

int ConsolePresenter::ShowAskBox(const AskBoxRequest& request, bool& checked) {
    std::lock_guard<std::mutex> guard(m_lock);
    checked = false;
    std::fprintf(m_out, "%s: %s\n", SeverityWord(request.id), OneLine(request.text).c_str());
    if (m_in == nullptr || !isatty(fileno(m_in))) {
        std::fflush(m_out);
        return DefaultButton(request.style);
    }
    std::fprintf(m_out, "Press Enter to go on, or type x and Enter for \"%s\" ", request.checkText.c_str());
    std::fflush(m_out);
    char answer[64];
    if (std::fgets(answer, sizeof answer, m_in) != nullptr)
        checked = answer[0] == 'x' || answer[0] == 'X';
    return DefaultButton(request.style);
}

int ConsolePresenter::ShowStatusReport(const StatusReportRequest& request) {
    std::lock_guard<std::mutex> guard(m_lock);
    FragmentedShare share = ComputeFragmentedShare(request.totalFiles, request.fragmentedNow);
    std::fprintf(m_out, "Status report: %s\n", OneLine(request.text).c_str());
    std::fprintf(m_out, "  %-25s %s\n", "Drive", request.drive.c_str());
    std::fprintf(m_out, "  %-25s %s\n", "File system", request.fileSystem.c_str());
    std::fprintf(m_out, "  %-25s %s\n", "Total files", request.totalFiles.c_str());
    std::fprintf(m_out, "  %-25s %s\n", "Fragmented files BEFORE", request.fragmentedBefore.c_str());
    std::fprintf(m_out, "  %-25s %s\n", "Fragmented files NOW", request.fragmentedNow.c_str());
    std::fprintf(m_out, "  %-25s %s\n", "% fragmented files", share.percentText.c_str());
    std::fflush(m_out);
    return IDOK;
}

void ConsolePresenter::ShowMessageLog(const std::vector<MessageLogRecord>& records) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::fprintf(m_out, "Message Log\n");
    for (const MessageLogRecord& record : records) {
        char drive[3] = {record.drive ? record.drive : ' ', record.drive ? ':' : ' ', '\0'};
        std::fprintf(m_out, "  %s  %s  %-11s %s\n", FormatLogTime(record.time).c_str(), drive,
                     StyleWord(record.style), record.text.c_str());
    }
    std::fflush(m_out);
}

}  // namespace tarvo::app
