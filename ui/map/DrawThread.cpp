// DrawThread.cpp --- the drawing thread's queue, full redraw, repaint, file redraw, cancel and stop.
#include "ui/map/DrawThread.h"

#include <algorithm>

#include "ui/map/MapRenderer.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::ui {

using namespace std::chrono_literals;

namespace {
constexpr auto kIdleWait = 10000ms;
}

COrdexViewDrawThread::COrdexViewDrawThread(MapWindow& window) : m_window(window) {
    m_thread = std::thread([this] { ThreadMain(); });
}

COrdexViewDrawThread::~COrdexViewDrawThread() { Stop(); }

void COrdexViewDrawThread::Post(platform::UINT message, volume::CDefragJob* job, const volume::FileRecord* file) {
    {
        std::lock_guard lock(m_queueLock);
        if (m_ending) return;
        m_queue.push_back({message, job, file});
    }
    m_queueChanged.notify_one();
}

void COrdexViewDrawThread::ThreadMain() {
    for (;;) {
        Message message;
        {
            std::unique_lock lock(m_queueLock);
            m_queueChanged.wait(lock, [this] { return m_ending || !m_queue.empty(); });
            if (m_ending) return;
            message = m_queue.front();
            m_queue.pop_front();
        }
        Handle(message);
    }
}

void COrdexViewDrawThread::Handle(const Message& message) {
    switch (message.id) {
        case DM_FULL_REDRAW: FullRedraw(message.job); break;
        case DM_REPAINT: Repaint(); break;
        case DM_REDRAW_FILE:
            if (message.job && message.file) RedrawFile(*message.job, *message.file);
            break;
        case DM_CANCEL: Cancel(); break;
        case DM_COALESCE: Coalesce(); break;
        default: break;
    }
}

bool COrdexViewDrawThread::FullRedrawQueued() const {
    std::lock_guard lock(m_queueLock);
    return std::any_of(m_queue.begin(), m_queue.end(), [](const Message& m) { return m.id == DM_FULL_REDRAW; });
}

size_t COrdexViewDrawThread::QueuedMessages() const {
    std::lock_guard lock(m_queueLock);
    return m_queue.size();
}

void COrdexViewDrawThread::ClearQueue() {
    std::lock_guard lock(m_queueLock);
    m_queue.clear();
}

void COrdexViewDrawThread::Coalesce() {
    std::lock_guard lock(m_queueLock);
    volume::CDefragJob* last = nullptr;
    bool found = false;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->id == DM_FULL_REDRAW) {
            last = it->job;
            found = true;
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    if (found) m_queue.push_back({DM_FULL_REDRAW, last, nullptr});
}

bool COrdexViewDrawThread::BeginDrawing() {
    if (m_stopped.load() || m_quit.IsSet()) return false;
    // A drawing that outlasts the bounded wait is then waited for on the lock.
    if (!m_idle.WaitAndTake(kIdleWait)) m_idle.Reset();
    if (m_quit.IsSet()) {
        m_idle.Set();
        return false;
    }
    return true;
}

void COrdexViewDrawThread::FullRedraw(volume::CDefragJob* job) {
    if (job == nullptr || !BeginDrawing()) return;
    {
        std::lock_guard lock(m_drawingLock);
        int width = 0, height = 0;
        m_window.ClientSize(width, height);
        m_buffer = std::make_unique<PixelBuffer>(width, height);
        m_hasBitmap.store(true);
        m_window.ShowProcessing();
        if (!m_abort.IsSet()) {
            if (FullRedrawQueued()) {
                m_window.ShowProcessing();
                m_window.ClearWindow();
            } else {
                // Abort makes the drawing end early, as does a released job.
                auto valid = [this, job] { return !m_abort.IsSet() && m_window.IsJobValid(job); };
                MapGeometry geometry;
                geometry.clustersPerBlock = 0;
                const int result =
                    m_window.IsJobValid(job)
                        ? DrawWholeMap(*job, *m_buffer, m_blockSize.load(), m_shadow.load(), valid, geometry)
                        : kMapStopped;
                m_geometry = geometry;
                m_clustersPerBlock.store(geometry.clustersPerBlock);
                if (result == kMapDrawn) m_fullRedrawsDrawn.fetch_add(1);
                if (result != kMapStopped && !FullRedrawQueued()) m_window.Present(*m_buffer);
            }
        }
        m_window.RedrawLegend(m_clustersPerBlock.load());
    }
    EndDrawing();
}

void COrdexViewDrawThread::Repaint() {
    if (FullRedrawQueued() || !BeginDrawing()) return;
    {
        std::lock_guard lock(m_drawingLock);
        if (m_buffer)
            m_window.Present(*m_buffer);
        else
            m_window.ClearWindow();
    }
    EndDrawing();
}

bool COrdexViewDrawThread::RedrawFile(volume::CDefragJob& job, const volume::FileRecord& file) {
    if (!m_hasBitmap.load()) return true;
    if (!BeginDrawing()) return true;
    bool valid = true;
    {
        std::lock_guard lock(m_drawingLock);
        valid = RedrawFileLocked(job, file);
    }
    EndDrawing();
    return valid;
}

bool COrdexViewDrawThread::RedrawFileLocked(volume::CDefragJob& job, const volume::FileRecord& file) {
    if (!m_buffer) return true;
    // A picture of another drive, or of another size of volume, has no blocks of this file.
    if (m_geometry.clustersPerBlock > 0 && m_geometry.totalClusters == job.m_totalClusters) {
        m_window.SendStatusText(file.Path());
        bool valid = true;
        const std::vector<BlockRange> ranges = FileBlockRanges(file, m_geometry);
        DrawBlockRanges(job, *m_buffer, m_geometry, m_shadow.load(), ranges, [&](size_t) {
            m_window.SendStatusText(file.Path());
            valid = m_window.IsJobValid(&job);
            return valid;
        });
        if (!valid) return false;
    }
    m_window.Present(*m_buffer);
    return true;
}

MapGeometry COrdexViewDrawThread::Geometry() {
    std::lock_guard lock(m_drawingLock);
    return m_geometry;
}

bool COrdexViewDrawThread::WaitFor(std::chrono::milliseconds timeout, const IdleWaiter& waiter, MapEvent& event) {
    if (!waiter) return event.Wait(timeout);
    return waiter(timeout, [&event] { return event.IsSet(); });
}

bool COrdexViewDrawThread::WaitIdle(std::chrono::milliseconds timeout, const IdleWaiter& waiter) {
    return WaitFor(timeout, waiter, m_idle);
}

void COrdexViewDrawThread::Cancel(const IdleWaiter& waiter) {
    ClearQueue();
    while (!WaitFor(100ms, waiter, m_idle)) {
        m_abort.Set();
        WaitFor(kIdleWait, waiter, m_idle);
        if (m_quit.Wait(10ms)) return;
        m_abort.Reset();
    }
    m_quit.Set();
    ClearQueue();
    while (!WaitFor(100ms, waiter, m_idle)) {
        m_abort.Set();
        WaitFor(kIdleWait, waiter, m_idle);
        m_abort.Reset();
    }
    if (!m_stopped.load()) {
        m_quit.Reset();
        m_abort.Reset();
    }
}

void COrdexViewDrawThread::Stop(const IdleWaiter& waiter) {
    if (m_stopped.exchange(true)) return;
    m_quit.Set();
    m_abort.Set();
    if (!m_idle.IsSet()) WaitFor(kIdleWait, waiter, m_idle);
    {
        std::lock_guard lock(m_queueLock);
        m_ending = true;
        m_queue.clear();
    }
    m_queueChanged.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_drawingLock);
    m_buffer.reset();
    m_hasBitmap.store(false);
}

}  // namespace tarvo::ui
