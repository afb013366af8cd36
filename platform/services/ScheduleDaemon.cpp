// ScheduleDaemon.cpp --- the Schedule service process: its lock, socket and loop.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/TarvoHome.h"
#include "platform/services/ScheduleService.h"
#include "platform/services/ServiceClock.h"
#include "platform/services/ServiceConfig.h"
#include "platform/services/ServiceManager.h"
#include "platform/services/ServiceRuntime.h"

namespace tarvo::platform {

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
}

int Listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "Schedule: socket path too long: %s\n", path.c_str());
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());  // left by a service that was killed; we hold the lock now
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    mode_t old = ::umask(077);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 16) == 0;
    ::umask(old);
    if (!ok) {
        std::fprintf(stderr, "Schedule: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads one request from a client, answers it and closes the connection.
void Serve(CScheduleService& service, int listenFd) {
    int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
        return;
    }
    timeval timeout{2, 0};  // a client that stalls must not stall the service
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    Frame request;
    if (ReceiveFrame(client, request)) {
        SendFrame(client, service.Handle(request, ScheduleNow()));
    }
    ::close(client);
}

}  // namespace

int RunScheduleService() {
    CServiceInstance instance;
    if (!instance.Claim(kScheduleServiceName)) {
        std::fprintf(stderr, "Schedule: the service is already running.\n");
        return 1;
    }
    InstallSignals();
    // The display of the user who started the service; jobs get it only when interactive.
    std::string userDisplay;
    if (const char* display = std::getenv("DISPLAY")) {
        userDisplay = display;
    }
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    if (::chdir(TarvoHome().c_str()) != 0) {
        std::fprintf(stderr, "Schedule: cannot enter %s\n", TarvoHome().c_str());
    }

    CJobStore store;
    std::string error;
    if (!store.Open(TarvoHomePath("schedule.db"), error)) {
        std::fprintf(stderr, "Schedule: cannot open the job store: %s\n", error.c_str());
        return 1;
    }
    CScheduleService service(store, userDisplay);
    service.Recover(ScheduleNow());
    std::string socketPath = ScheduleSocketPath();
    int listenFd = Listen(socketPath);
    if (listenFd < 0) {
        return 1;
    }
    instance.SetState(SERVICE_RUNNING);
    std::printf("Schedule: running (pid %d)\n", static_cast<int>(::getpid()));
    std::fflush(stdout);

    bool owned = true;
    while (!g_stop) {
        if (!instance.StillOwned()) {
            // Nothing of the folder is touched again: it may belong to another instance now.
            std::printf("Schedule: the run-time folder was removed; stopping\n");
            std::fflush(stdout);
            owned = false;
            break;
        }
        time_t now = ScheduleNow();
        service.RunDueJobs(now);
        service.ReapChildren();
        int waitMs = 500;
        if (auto due = service.NextDue(); due && *due > now) {
            waitMs = static_cast<int>(std::min<time_t>(500, (*due - now) * 1000));
        } else if (due) {
            waitMs = 10;
        }
        pollfd p{listenFd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            Serve(service, listenFd);
        }
    }
    ::close(listenFd);
    if (owned) {
        instance.SetState(SERVICE_STOP_PENDING);
        ::unlink(socketPath.c_str());
    }
    std::printf("Schedule: stopped\n");
    return 0;
}

}  // namespace tarvo::platform
