// ConsolePresenter.h --- the presenter of a run without windows: one line per message on standard error.
#pragma once

#include <cstdio>
#include <mutex>

#include "app/Presenter.h"

namespace tarvo::app {

// Writes "<Severity>: <text>" lines (the text on one line), the status report
// and the message log as short tables. The ask box reads an answer only when
// `in` is a terminal; otherwise it answers at once as if the default button was
// pressed. Thread-safe: one message is written at a time.
class ConsolePresenter : public MessagePresenter {
public:
    explicit ConsolePresenter(std::FILE* out = stderr, std::FILE* in = stdin);

    int ShowMessageBox(const MessageBoxRequest& request) override;
    int ShowAskBox(const AskBoxRequest& request, bool& checked) override;
    int ShowStatusReport(const StatusReportRequest& request) override;
    void ShowMessageLog(const std::vector<MessageLogRecord>& records) override;

private:
    std::FILE* m_out;
    std::FILE* m_in;
    std::mutex m_lock;
};

// The severity word of an identifier: "Error", "Warning" or "Information".
const char* SeverityWord(MessageId id);

// The button a box of this style answers when the user just confirms it.
int DefaultButton(UINT style);

}  // namespace tarvo::app
