// ServiceRuntime.cpp --- the service's lock and status files.
#include "platform/services/ServiceRuntime.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/core/TarvoHome.h"
#include "platform/process/Mutex.h"
#include "platform/services/ServiceManager.h"

namespace tarvo::platform {

namespace {
std::string RunPath(const std::string& name, const char* suffix) { return RuntimeFolder() + "/" + name + suffix; }

// True for a live process (a zombie waiting to be reaped is not).
bool ProcessAlive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}
}  // namespace

ServiceRuntimeState ReadServiceRuntime(const std::string& name) {
    int fd = ::open(RunPath(name, ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {SERVICE_STOPPED, 0};
    }
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    if (!held) {
        return {SERVICE_STOPPED, 0};
    }
    std::ifstream in(RunPath(name, ".status"));
    DWORD state = SERVICE_START_PENDING;
    long pid = 0;
    if (!(in >> state >> pid) || state < SERVICE_START_PENDING || state > SERVICE_RUNNING) {
        // The lock is held but the status not yet written: the service is starting.
        return {SERVICE_START_PENDING, 0};
    }
    if (!ProcessAlive(static_cast<pid_t>(pid))) {
        // Left by an instance that was killed; the new holder has not written its own yet.
        return {SERVICE_START_PENDING, 0};
    }
    return {state, static_cast<pid_t>(pid)};
}

void ClearServiceRuntime(const std::string& name) { ::unlink(RunPath(name, ".status").c_str()); }

CServiceInstance::~CServiceInstance() {
    if (m_lockFd >= 0) {
        if (StillOwned()) {
            SetState(SERVICE_STOPPED);
        }
        ::close(m_lockFd);
    }
}

bool CServiceInstance::Claim(const std::string& name) {
    m_name = name;
    m_lockFd = ::open(RunPath(name, ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        return false;
    }
    // Readers take the lock shared for an instant; retry briefly before giving up.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
            SetState(SERVICE_START_PENDING);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(m_lockFd);
    m_lockFd = -1;
    return false;
}

bool CServiceInstance::StillOwned() const {
    struct stat held {};
    struct stat named {};
    // Looked up without RuntimeFolder(), which would create the folders again.
    const std::string path = TarvoHomePath("run") + "/" + m_name + ".lock";
    return m_lockFd >= 0 && ::fstat(m_lockFd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void CServiceInstance::SetState(DWORD state) {
    std::string path = RunPath(m_name, ".status");
    std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << state << ' ' << ::getpid() << '\n';
    }
    std::rename(temp.c_str(), path.c_str());
}

}  // namespace tarvo::platform
