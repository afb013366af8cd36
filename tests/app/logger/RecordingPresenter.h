// RecordingPresenter.h --- a presenter that remembers what the logger showed and answers as told.
#pragma once

#include <mutex>
#include <set>
#include <vector>

#include "app/Presenter.h"

namespace tarvo::app::testing {

class RecordingPresenter : public MessagePresenter {
public:
    int ShowMessageBox(const MessageBoxRequest& request) override {
        std::lock_guard<std::mutex> guard(lock);
        boxes.push_back(request);
        return IDOK;
    }
    int ShowAskBox(const AskBoxRequest& request, bool& checked) override {
        std::lock_guard<std::mutex> guard(lock);
        asks.push_back(request);
        checked = checkAsks.count(request.id) != 0;
        return IDOK;
    }
    int ShowStatusReport(const StatusReportRequest& request) override {
        std::lock_guard<std::mutex> guard(lock);
        reports.push_back(request);
        return IDOK;
    }
    void ShowMessageLog(const std::vector<MessageLogRecord>& records) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            logDialogs.push_back(records);
        }
        if (whileLogShown)
            whileLogShown();
    }

    size_t Shown() {
        std::lock_guard<std::mutex> guard(lock);
        return boxes.size() + asks.size() + reports.size() + logDialogs.size();
    }

    std::mutex lock;
    std::vector<MessageBoxRequest> boxes;
    std::vector<AskBoxRequest> asks;
    std::vector<StatusReportRequest> reports;
    std::vector<std::vector<MessageLogRecord>> logDialogs;
    std::set<MessageId> checkAsks;      // ask rows whose check box the "user" ticks
    void (*whileLogShown)() = nullptr;  // runs while the Message Log dialog is open
};

}  // namespace tarvo::app::testing
