// InstanceChannel.cpp --- the abstract local socket between a running instance and a second start.
#include "ui/InstanceChannel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tarvo::ui {

namespace {

constexpr char kShow[] = "SHOW";

// An abstract address: a leading NUL, then the name (not NUL-terminated).
socklen_t AddressOf(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

}  // namespace

std::string InstanceChannelName(const std::string& runtimeFolder, const std::string& guardName) {
    std::string name = "tarvo:" + guardName + ":" + runtimeFolder;
    if (name.size() <= 100) return name;
    // Long folders: the guard and a digest of the whole name keep it unique per data home.
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016zx", std::hash<std::string>{}(name));
    return "tarvo:" + guardName.substr(0, 60) + ":" + digest;
}

CInstanceListener::CInstanceListener(const std::string& name, std::function<void()> show) : m_show(std::move(show)) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_un address;
    const socklen_t length = AddressOf(name, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    m_wake = ::eventfd(0, EFD_CLOEXEC);
    if (m_wake < 0) {
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_thread = std::thread([this] { Serve(); });
}

CInstanceListener::~CInstanceListener() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        if (::write(m_wake, &one, sizeof one) < 0) {
            // The listener still ends: its poll also watches for the socket's close below.
        }
        m_thread.join();
    }
    if (m_socket >= 0) ::close(m_socket);
    if (m_wake >= 0) ::close(m_wake);
}

void CInstanceListener::Serve() {
    for (;;) {
        pollfd watched[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) continue;
        if (watched[1].revents != 0) return;
        if ((watched[0].revents & POLLIN) == 0) continue;
        const int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        // A short message from a local process; a silent peer is dropped after a second.
        pollfd readable{client, POLLIN, 0};
        char buffer[16] = {};
        ssize_t got = 0;
        if (::poll(&readable, 1, 1000) > 0) got = ::read(client, buffer, sizeof buffer - 1);
        const bool show = got == static_cast<ssize_t>(sizeof kShow - 1) && std::memcmp(buffer, kShow, got) == 0;
        if (show && ::write(client, "OK", 2) == 2 && m_show) m_show();
        ::close(client);
    }
}

bool AskRunningInstanceToShow(const std::string& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address;
    const socklen_t length = AddressOf(name, address);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::write(fd, kShow, sizeof kShow - 1) == static_cast<ssize_t>(sizeof kShow - 1)) {
        pollfd readable{fd, POLLIN, 0};
        char reply[2];
        answered = ::poll(&readable, 1, 2000) > 0 && ::read(fd, reply, 2) == 2 && std::memcmp(reply, "OK", 2) == 0;
    }
    ::close(fd);
    return answered;
}

}  // namespace tarvo::ui
