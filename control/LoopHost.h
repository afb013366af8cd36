// LoopHost.h --- a document host without windows: the UI thread is a CMessageLoop, closing quits it.
#pragma once

#include <functional>

#include "control/MessageLoop.h"
#include "control/RunWindows.h"

namespace tarvo::control {

class CLoopHost : public DocumentHost {
public:
    // The main window's close quits the loop with closeCode.
    explicit CLoopHost(CMessageLoop& loop, int closeCode = 0) : m_loop(loop), m_closeCode(closeCode) {}

    bool WaitServingSent(std::chrono::milliseconds timeout, const std::function<bool()>& done) override {
        return m_loop.WaitServingSent(timeout, done);
    }
    void Wake() override { m_loop.Wake(); }
    void PostDiscardable(std::function<void()> message) override {
        m_loop.Post(std::move(message), CMessageLoop::Discard::Allowed);
    }
    void DiscardPostedMessages() override { m_loop.DiscardPosted(); }
    void PostClose() override {
        ++m_closeRequests;
        m_loop.Post([this] { m_loop.Quit(m_closeCode); });
    }

    // How often the controller asked to close the main window.
    int CloseRequests() const { return m_closeRequests; }

private:
    CMessageLoop& m_loop;
    int m_closeCode;
    int m_closeRequests = 0;
};

}  // namespace tarvo::control
