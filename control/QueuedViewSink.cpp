// QueuedViewSink.cpp --- the worker's view messages carried to the UI thread.
#include "control/QueuedViewSink.h"

namespace tarvo::control {

QueuedViewSink::QueuedViewSink(CMessageLoop& loop, volume::ViewSink& inner, std::function<void()> onRunFinished)
    : m_loop(loop), m_inner(inner), m_onRunFinished(std::move(onRunFinished)) {}

void QueuedViewSink::SetStatusText(int pane, std::string text) {
    m_loop.Send([&] { m_inner.SetStatusText(pane, std::move(text)); });
}

void QueuedViewSink::SetFragCount(int64_t count) {
    m_loop.Send([&] { m_inner.SetFragCount(count); });
}

void QueuedViewSink::SetPercent(int percent) {
    m_loop.Send([&] { m_inner.SetPercent(percent); });
}

void QueuedViewSink::PostRunFinished() {
    m_loop.Post([this] {
        m_inner.PostRunFinished();
        if (m_onRunFinished) m_onRunFinished();
    }, CMessageLoop::Discard::Allowed);
}

void QueuedViewSink::SetDriveFlag(int flag) {
    m_inner.SetDriveFlag(flag);
}

void QueuedViewSink::RedrawAll() {
    m_inner.RedrawAll();
}

bool QueuedViewSink::RedrawFile(const volume::FileRecord& file) {
    return m_inner.RedrawFile(file);
}

}  // namespace tarvo::control
