#include "ui/UiQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tarvo::ui {
namespace {

using namespace std::chrono_literals;

TEST(UiQueueTest, ABurstOfSendsIsServedInOrderOnTheUiThreadWithinOneCall) {
    CUiQueue queue([](CUiQueue::Message) {});  // no wake-ups: only the burst serves
    const auto uiThread = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<bool> allOnUiThread{true};
    std::atomic<bool> workerStarted{false};
    std::thread worker([&] {
        workerStarted = true;
        for (int i = 0; i < 200; ++i)
            queue.Send([&, i] {
                if (std::this_thread::get_id() != uiThread) allOnUiThread = false;
                order.push_back(i);
            });
    });
    while (!workerStarted) std::this_thread::yield();
    // Generous limits: the call must come back once the worker stops sending,
    // having served every send of the burst on its way.
    while (order.size() < 200) queue.ServeSentWhileBusy(60s, 200ms);
    worker.join();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_TRUE(allOnUiThread);
}

TEST(UiQueueTest, WithoutSendsTheBurstEndsAfterTheGapAndCloseReleasesSenders) {
    CUiQueue queue([](CUiQueue::Message) {});
    const auto start = std::chrono::steady_clock::now();
    queue.ServeSentWhileBusy(60s, 1ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);

    std::atomic<bool> ran{false};
    std::thread worker([&] { queue.Send([&] { ran = true; }); });
    std::this_thread::sleep_for(20ms);
    queue.Close();
    worker.join();  // a closed queue no longer holds its senders
    queue.ServeSentWhileBusy(1s, 1ms);
    EXPECT_FALSE(ran.load());  // dropped, never run after the window went
}

}  // namespace
}  // namespace tarvo::ui
