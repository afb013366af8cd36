// RecordingViewSink.h --- a view sink that keeps every message it receives, for tests and headless runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "volume/FileRecord.h"
#include "volume/ViewSink.h"

namespace tarvo::volume {

// One received message: msg is the UM_* value, or one of the redraw kinds below.
struct ViewEvent {
    platform::UINT msg = 0;
    int64_t value = 0;  // pane, count, percent or drive flag
    std::string text;   // status text, or the path of a redrawn file
};

constexpr platform::UINT kViewRedrawAll = 0x10001;
constexpr platform::UINT kViewRedrawFile = 0x10002;
constexpr platform::UINT kViewDriveFlag = 0x10003;

// Thread-safe: the worker sends while a test thread reads.
class RecordingViewSink : public ViewSink {
public:
    void SetStatusText(int pane, std::string text) override { Add({UM_SET_STATUS_TEXT, pane, std::move(text)}); }
    void SetFragCount(int64_t count) override { Add({UM_SET_FRAG_COUNT, count, {}}); }
    void SetPercent(int percent) override { Add({UM_SET_PERCENT, percent, {}}); }
    void PostRunFinished() override { Add({UM_RUN_FINISHED, 0, {}}); }
    void SetDriveFlag(int flag) override { Add({kViewDriveFlag, flag, {}}); }
    void RedrawAll() override { Add({kViewRedrawAll, 0, {}}); }
    bool RedrawFile(const FileRecord& file) override {
        Add({kViewRedrawFile, 0, file.Path()});
        return true;
    }

    // A copy of everything received so far, in order.
    std::vector<ViewEvent> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Only the messages of one kind.
    std::vector<ViewEvent> Events(platform::UINT msg) const {
        std::lock_guard lock(m_mutex);
        std::vector<ViewEvent> out;
        for (const auto& e : m_events)
            if (e.msg == msg) out.push_back(e);
        return out;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }

private:
    void Add(ViewEvent event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    mutable std::mutex m_mutex;
    std::vector<ViewEvent> m_events;
};

}  // namespace tarvo::volume
