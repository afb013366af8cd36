// DrawThreadTest.cpp --- the drawing thread's queue: coalescing, cancel while drawing, quit during a wait, file redraws.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/Analysis.h"
#include "tests/engine/support/EngineTestEnv.h"
#include "ui/map/DrawThread.h"

namespace tarvo::ui {
namespace {

using namespace std::chrono_literals;
using engine::testing::EngineTest;
using platform::SimFileSystem;

// A window that records what the thread does and can hold the thread inside a drawing.
class FakeWindow : public MapWindow {
public:
    void ClientSize(int& width, int& height) override {
        std::unique_lock lock(m_mutex);
        ++m_sizeCalls;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
        width = 640;
        height = 480;
    }
    void ShowProcessing() override { ++processing; }
    void ClearWindow() override { ++cleared; }
    void Present(const PixelBuffer& buffer) override {
        ++presents;
        lastWidth = buffer.Width();
    }
    void RedrawLegend(int) override { ++legends; }
    void SendStatusText(const std::string& path) override;
    bool IsJobValid(const volume::CDefragJob* job) override {
        std::lock_guard lock(m_mutex);
        lastAsked = job;
        return job == valid;
    }

    // The next drawing stops inside ClientSize until Release.
    void Hold() {
        std::lock_guard lock(m_mutex);
        m_hold = true;
    }
    void Release() {
        {
            std::lock_guard lock(m_mutex);
            m_hold = false;
        }
        m_changed.notify_all();
    }
    // Waits until the thread has entered ClientSize n times.
    void WaitForSizeCalls(int n) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_sizeCalls >= n; });
    }
    const volume::CDefragJob* LastAsked() {
        std::lock_guard lock(m_mutex);
        return lastAsked;
    }

    std::atomic<int> processing{0}, cleared{0}, presents{0}, legends{0}, lastWidth{0};
    const volume::CDefragJob* valid = nullptr;
    std::vector<std::string> statusTexts;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hold = false;
    int m_sizeCalls = 0;
    const volume::CDefragJob* lastAsked = nullptr;
};

void FakeWindow::SendStatusText(const std::string& path) {
    std::lock_guard lock(m_mutex);
    statusTexts.push_back(path);
}

class DrawThreadTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        MakeVolume(SimFileSystem::Fat, 3000);
        AddFile("SPLIT.DAT", {{4, 200}, {10, 300}});
        ASSERT_EQ(engine::RunAnalysis(OpenJob()), 1);
        m_window.valid = m_job.get();
    }
    // Waits for the queue to drain and the thread to be idle.
    void Settle(COrdexViewDrawThread& thread) {
        for (int i = 0; i < 1000 && (thread.QueuedMessages() > 0 || !thread.IsIdle()); ++i)
            std::this_thread::sleep_for(2ms);
        ASSERT_TRUE(thread.WaitIdle(10s));
    }
    FakeWindow m_window;
};

TEST_F(DrawThreadTest, FullRedrawDrawsTheMapPresentsItAndRedrawsTheLegend) {
    COrdexViewDrawThread thread(m_window);
    thread.Post(DM_FULL_REDRAW, m_job.get());
    thread.Post(DM_REPAINT, m_job.get());
    Settle(thread);
    EXPECT_EQ(thread.FullRedrawsDrawn(), 1u);
    EXPECT_EQ(m_window.presents, 2);  // the drawing, then the repaint's copy
    EXPECT_EQ(m_window.legends, 1);
    EXPECT_EQ(m_window.lastWidth, 640);
    EXPECT_EQ(thread.ClustersPerBlock(), 1);
    EXPECT_TRUE(thread.HasBitmap());
    // A null drive is ignored.
    thread.Post(DM_FULL_REDRAW, nullptr);
    Settle(thread);
    EXPECT_EQ(m_window.presents, 2);
}

TEST_F(DrawThreadTest, QueuedFullRedrawsFoldIntoOneWithTheLastDrive) {
    volume::CDefragJob other;
    COrdexViewDrawThread thread(m_window);
    m_window.Hold();
    thread.Post(DM_FULL_REDRAW, m_job.get());
    m_window.WaitForSizeCalls(1);
    thread.Post(DM_COALESCE);
    thread.Post(DM_FULL_REDRAW, &other);
    thread.Post(DM_REPAINT, m_job.get());
    thread.Post(DM_FULL_REDRAW, m_job.get());
    m_window.Release();
    Settle(thread);
    // The held drawing saw others queued and drew nothing; the repaint waited
    // behind a queued full redraw; only the last drive was drawn, once.
    EXPECT_EQ(thread.FullRedrawsDrawn(), 1u);
    EXPECT_EQ(m_window.presents, 1);
    EXPECT_EQ(m_window.LastAsked(), m_job.get());
}

TEST_F(DrawThreadTest, CancelWhileDrawingEmptiesTheQueueAndEndsTheDrawingEarly) {
    COrdexViewDrawThread thread(m_window);
    m_window.Hold();
    thread.Post(DM_FULL_REDRAW, m_job.get());
    m_window.WaitForSizeCalls(1);
    for (int i = 0; i < 5; ++i) thread.Post(DM_FULL_REDRAW, m_job.get());
    // Released after Cancel's first 100 ms wait, so that it has to abort the drawing.
    std::thread releaser([&] {
        std::this_thread::sleep_for(300ms);
        m_window.Release();
    });
    thread.Cancel();
    releaser.join();
    EXPECT_TRUE(thread.IsIdle());
    EXPECT_EQ(thread.QueuedMessages(), 0u);
    EXPECT_EQ(thread.FullRedrawsDrawn(), 0u);
    EXPECT_EQ(m_window.presents, 0);
    // Drawing works again after a cancel.
    thread.Post(DM_FULL_REDRAW, m_job.get());
    Settle(thread);
    EXPECT_EQ(thread.FullRedrawsDrawn(), 1u);
}

TEST_F(DrawThreadTest, AFileRedrawWaitingForTheDrawingReturnsWithoutDrawingOnceQuitIsSet) {
    COrdexViewDrawThread thread(m_window);
    thread.Post(DM_FULL_REDRAW, m_job.get());
    Settle(thread);
    const int before = m_window.presents;
    m_window.Hold();
    thread.Post(DM_FULL_REDRAW, m_job.get());
    m_window.WaitForSizeCalls(2);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        thread.RedrawFile(*m_job, *Record("SPLIT.DAT"));
        returned = true;
    });
    std::thread stopper([&] { thread.Stop(); });
    std::this_thread::sleep_for(50ms);
    m_window.Release();
    stopper.join();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(m_window.presents, before);
    EXPECT_TRUE(m_window.statusTexts.empty());
    // Requests after the stop are ignored.
    thread.Post(DM_FULL_REDRAW, m_job.get());
    EXPECT_EQ(thread.QueuedMessages(), 0u);
}

TEST_F(DrawThreadTest, FileRedrawOnTheCallersThreadSendsThePathAndAnswersTheDrivesValidity) {
    COrdexViewDrawThread thread(m_window);
    // Before the first full redraw there is no picture: nothing to do.
    EXPECT_TRUE(thread.RedrawFile(*m_job, *Record("SPLIT.DAT")));
    EXPECT_TRUE(m_window.statusTexts.empty());
    thread.Post(DM_FULL_REDRAW, m_job.get());
    Settle(thread);
    EXPECT_TRUE(thread.RedrawFile(*m_job, *Record("SPLIT.DAT")));
    ASSERT_EQ(m_window.statusTexts.size(), 1u);
    EXPECT_EQ(m_window.statusTexts[0], "T:\\SPLIT.DAT");
    EXPECT_EQ(m_window.presents, 2);
    EXPECT_TRUE(thread.IsIdle());
}

}  // namespace
}  // namespace tarvo::ui
