// Mutex.cpp --- named mutexes as flock-locked files.
//
// "<name>.open" carries a shared lock for every open handle: an exclusive try
// tells whether anyone else has it open. "<name>.owner" carries the exclusive
// lock of the owner. "<name>.guard" serialises the open check itself.
#include "platform/process/Mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/core/TarvoHome.h"

namespace tarvo::platform {

namespace {

// One open handle of a named mutex.
struct MutexObject : HandleObject {
    int openFd = -1;
    int ownerFd = -1;
    int ownCount = 0;  // recursive ownership, as the system allows
    std::mutex lock;

    ~MutexObject() override {
        if (openFd >= 0) {
            ::close(openFd);
        }
        if (ownerFd >= 0) {
            ::close(ownerFd);
        }
    }

    bool TryOwn() {
        std::lock_guard guard(lock);
        if (ownCount > 0) {
            ++ownCount;
            return true;
        }
        if (::flock(ownerFd, LOCK_EX | LOCK_NB) == 0) {
            ownCount = 1;
            return true;
        }
        return false;
    }

    DWORD Wait(DWORD milliseconds) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!TryOwn()) {
            if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) {
                return WAIT_TIMEOUT;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WAIT_OBJECT_0;
    }
};

std::string SafeName(const char* name) {
    std::string out = "mutex-";
    for (const char* p = name; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

int OpenLockFile(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); }

}  // namespace

std::string RuntimeFolder() {
    std::string folder = TarvoHomePath("run");
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

HANDLE CreateMutexA(void*, BOOL initialOwner, const char* name) {
    if (name == nullptr || *name == '\0' || std::strlen(name) > 200) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::string base = RuntimeFolder() + "/" + SafeName(name);
    auto m = std::make_shared<MutexObject>();
    m->openFd = OpenLockFile(base + ".open");
    m->ownerFd = OpenLockFile(base + ".owner");
    int guard = OpenLockFile(base + ".guard");
    if (guard < 0 || m->openFd < 0 || m->ownerFd < 0 || ::flock(guard, LOCK_EX) != 0) {
        if (guard >= 0) {
            ::close(guard);
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool existed = ::flock(m->openFd, LOCK_EX | LOCK_NB) != 0;
    ::flock(m->openFd, LOCK_SH);  // converts our exclusive lock, or joins the other holders
    ::close(guard);
    if (initialOwner) {
        m->TryOwn();
    }
    HANDLE handle = RegisterHandle(m);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle) {
    auto mutex = LookupHandleAs<MutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard guard(mutex->lock);
    if (mutex->ownCount == 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->ownCount == 0) {
        ::flock(mutex->ownerFd, LOCK_UN);
    }
    return TRUE;
}

}  // namespace tarvo::platform
