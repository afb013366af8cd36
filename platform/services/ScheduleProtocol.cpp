// ScheduleProtocol.cpp --- framing over a Unix stream socket.
#include "platform/services/ScheduleProtocol.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/process/Mutex.h"

namespace tarvo::platform {

namespace {
constexpr uint32_t kMaxFrameBytes = 4u << 20;
constexpr uint32_t kMaxFields = 100000;

bool WriteAll(int fd, const void* data, size_t size) {
    auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

bool GetU32(int fd, uint32_t& v) {
    unsigned char b[4];
    if (!ReadAll(fd, b, 4)) {
        return false;
    }
    v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
}
}  // namespace

std::string ScheduleSocketPath() { return RuntimeFolder() + "/Schedule.sock"; }

bool SendFrame(int fd, const Frame& frame) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(frame.size()));
    for (const auto& field : frame) {
        PutU32(out, static_cast<uint32_t>(field.size()));
        out += field;
    }
    return out.size() <= kMaxFrameBytes && WriteAll(fd, out.data(), out.size());
}

bool ReceiveFrame(int fd, Frame& frame) {
    frame.clear();
    uint32_t count = 0;
    if (!GetU32(fd, count) || count > kMaxFields) {
        return false;
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!GetU32(fd, size) || (total += size) > kMaxFrameBytes) {
            return false;
        }
        std::string field(size, '\0');
        if (size > 0 && !ReadAll(fd, field.data(), size)) {
            return false;
        }
        frame.push_back(std::move(field));
    }
    return true;
}

bool CallScheduleService(const Frame& request, Frame& reply) {
    std::string path = ScheduleSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    timeval timeout{30, 0};  // a service that hangs must not hang its clients for ever
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              SendFrame(fd, request) && ReceiveFrame(fd, reply);
    ::close(fd);
    return ok;
}

}  // namespace tarvo::platform
