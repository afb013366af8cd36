// WxPresenter.h --- the logger's boxes as windows: message box, ask box, status report and the Message Log dialog.
//
// Called on the reporting thread: a worker's box is shown on the UI thread
// through a send, and the worker waits for the answer.
#pragma once

#include "ui/NtFirst.h"

#include "app/Presenter.h"
#include "ui/UiQueue.h"

class wxWindow;

namespace tarvo::ui {

class CWxPresenter : public app::MessagePresenter {
public:
    CWxPresenter(CUiQueue& queue, wxWindow*& parent) : m_queue(queue), m_parent(parent) {}

    int ShowMessageBox(const app::MessageBoxRequest& request) override;
    int ShowAskBox(const app::AskBoxRequest& request, bool& checked) override;
    int ShowStatusReport(const app::StatusReportRequest& request) override;
    void ShowMessageLog(const std::vector<app::MessageLogRecord>& records) override;

private:
    CUiQueue& m_queue;
    wxWindow*& m_parent;
};

}  // namespace tarvo::ui
