// InstanceChannel.h --- a second start asks the first instance's window to come to the front.
//
// The first interactive instance listens on a local socket named after the
// run-time folder and the single-instance guard (an abstract socket: nothing is
// left on disk); a second start connects and says "SHOW". No toolkit here: the
// listener calls back on its own thread and the window hops to its UI thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace tarvo::ui {

// The socket's name for a run-time folder and guard name (at most 107 bytes).
std::string InstanceChannelName(const std::string& runtimeFolder, const std::string& guardName);

class CInstanceListener {
public:
    // Starts listening; show() runs on the listener's thread for every "SHOW".
    // Listening() is false when the name is taken or the socket cannot be made.
    CInstanceListener(const std::string& name, std::function<void()> show);
    ~CInstanceListener();
    CInstanceListener(const CInstanceListener&) = delete;
    CInstanceListener& operator=(const CInstanceListener&) = delete;
    bool Listening() const { return m_socket >= 0; }

private:
    void Serve();
    int m_socket = -1;
    int m_wake = -1;  // eventfd that ends Serve
    std::function<void()> m_show;
    std::thread m_thread;
};

// Asks the instance listening under name to show its window. False when none
// answers (no listener, or it is not interactive).
bool AskRunningInstanceToShow(const std::string& name);

}  // namespace tarvo::ui
