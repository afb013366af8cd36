// DrawThread.h --- COrdexViewDrawThread: the cluster map's drawing thread with its own message queue.
//
// The view posts full redraws, repaints and coalesce requests; the thread paints
// into an offscreen pixel buffer under the drawing lock and hands the picture to
// the window. A worker calls RedrawFile directly and draws on its own thread
// under the same lock and idle event. Cancel and Stop may be called from the UI
// thread; their waits go through the waiter given, which serves sent messages.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/core/NtTypes.h"
#include "ui/map/MapEvent.h"
#include "ui/map/MapGeometry.h"
#include "ui/map/MapWindow.h"
#include "ui/map/PixelBuffer.h"
#include "volume/ViewSink.h"

namespace tarvo::volume {
class FileRecord;
}

namespace tarvo::ui {

constexpr platform::UINT DM_FULL_REDRAW = volume::WM_USER + 1200;
constexpr platform::UINT DM_REPAINT = volume::WM_USER + 1201;
constexpr platform::UINT DM_REDRAW_FILE = volume::WM_USER + 1202;
constexpr platform::UINT DM_CANCEL = volume::WM_USER + 1203;
constexpr platform::UINT DM_COALESCE = volume::WM_USER + 1204;

// Waits at most timeout for done() to hold, serving what the waiting thread must
// serve meanwhile; answers done(). The UI thread passes its WaitServingSent.
using IdleWaiter = std::function<bool(std::chrono::milliseconds timeout, const std::function<bool()>& done)>;

class COrdexViewDrawThread {
public:
    // Starts the thread; the window must outlive it.
    explicit COrdexViewDrawThread(MapWindow& window);
    // Stops the thread (Stop).
    ~COrdexViewDrawThread();
    COrdexViewDrawThread(const COrdexViewDrawThread&) = delete;
    COrdexViewDrawThread& operator=(const COrdexViewDrawThread&) = delete;

    // Any thread: queues a DM_* message. job is the drive, file the record of DM_REDRAW_FILE.
    void Post(platform::UINT message, volume::CDefragJob* job = nullptr, const volume::FileRecord* file = nullptr);

    // Caller's thread (the worker): redraws the blocks of file and copies the
    // picture to the window. False when the job is no longer the valid drive.
    bool RedrawFile(volume::CDefragJob& job, const volume::FileRecord& file);

    // Empties the queue and makes the drawing in progress end early; returns
    // when the thread is idle. Drawing requests made meanwhile return at once.
    void Cancel(const IdleWaiter& waiter = {});
    // Ends the thread: later requests are ignored. Idempotent.
    void Stop(const IdleWaiter& waiter = {});

    // The 3-D flag and block size used by the next full redraw.
    void SetShadow(Shadow shadow) { m_shadow.store(shadow); }
    void SetBlockSize(int pixels) { m_blockSize.store(pixels); }

    // Waits for the idle event through waiter; answers whether it is set.
    bool WaitIdle(std::chrono::milliseconds timeout, const IdleWaiter& waiter = {});
    bool IsIdle() const { return m_idle.IsSet(); }
    // Clusters per block of the last full redraw; 0 when too small or none yet.
    int ClustersPerBlock() const { return m_clustersPerBlock.load(); }
    // The geometry of the last full redraw (taken under the drawing lock).
    MapGeometry Geometry();
    bool HasBitmap() const { return m_hasBitmap.load(); }
    // Messages waiting in the queue.
    size_t QueuedMessages() const;
    // Full redraws that painted the whole map (for tests of coalescing).
    size_t FullRedrawsDrawn() const { return m_fullRedrawsDrawn.load(); }

private:
    struct Message {
        platform::UINT id = 0;
        volume::CDefragJob* job = nullptr;
        const volume::FileRecord* file = nullptr;
    };
    void ThreadMain();
    void Handle(const Message& message);
    void FullRedraw(volume::CDefragJob* job);
    void Repaint();
    void Coalesce();
    bool RedrawFileLocked(volume::CDefragJob& job, const volume::FileRecord& file);
    // Waits for idle as a drawing request does, then takes it; false when quit is set.
    bool BeginDrawing();
    void EndDrawing() { m_idle.Set(); }
    bool FullRedrawQueued() const;
    void ClearQueue();
    bool WaitFor(std::chrono::milliseconds timeout, const IdleWaiter& waiter, MapEvent& event);

    MapWindow& m_window;
    mutable std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    std::deque<Message> m_queue;
    bool m_ending = false;

    MapEvent m_quit{false};
    MapEvent m_idle{true};
    MapEvent m_abort{false};
    std::mutex m_drawingLock;  // around every drawing into the buffer and every copy out
    std::unique_ptr<PixelBuffer> m_buffer;
    MapGeometry m_geometry;
    std::atomic<bool> m_hasBitmap{false};
    std::atomic<int> m_clustersPerBlock{0};
    std::atomic<Shadow> m_shadow{Shadow::Flat};
    std::atomic<int> m_blockSize{9};
    std::atomic<size_t> m_fullRedrawsDrawn{0};
    std::atomic<bool> m_stopped{false};
    std::thread m_thread;
};

}  // namespace tarvo::ui
