// PosixBlockDevice.cpp --- OpenBlockDevice: image files and block devices through pread/pwrite.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/blockio/BlockDevice.h"

namespace tarvo::platform {

namespace {

class PosixBlockDevice final : public BlockDevice {
public:
    PosixBlockDevice(int fd, std::string name, uint64_t size, bool readOnly, bool removable)
        : m_fd(fd), m_name(std::move(name)), m_size(size), m_readOnly(readOnly), m_removable(removable) {}
    ~PosixBlockDevice() override { ::close(m_fd); }

    int Read(uint64_t offset, void* buffer, size_t length) override {
        if (offset > m_size || length > m_size - offset) {
            return EIO;
        }
        auto* p = static_cast<char*>(buffer);
        while (length > 0) {
            ssize_t n = ::pread(m_fd, p, length, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return errno;
            }
            if (n == 0) {
                return EIO;
            }
            p += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<size_t>(n);
        }
        return 0;
    }

    int Write(uint64_t offset, const void* buffer, size_t length) override {
        if (m_readOnly) {
            return EROFS;
        }
        if (offset > m_size || length > m_size - offset) {
            return ENOSPC;
        }
        const auto* p = static_cast<const char*>(buffer);
        while (length > 0) {
            ssize_t n = ::pwrite(m_fd, p, length, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return errno;
            }
            if (n == 0) {
                return EIO;
            }
            p += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<size_t>(n);
        }
        return 0;
    }

    int Flush() override {
        if (m_readOnly) {
            return 0;
        }
        // The data and what is needed to read it back; an image never changes size, so
        // its times are all fsync would add.
        while (::fdatasync(m_fd) != 0) {
            if (errno != EINTR) {
                return errno;
            }
        }
        return 0;
    }

    uint64_t Size() const override { return m_size; }
    bool IsReadOnly() const override { return m_readOnly; }
    std::string Name() const override { return m_name; }
    bool IsRemovable() const override { return m_removable; }

private:
    int m_fd;
    std::string m_name;
    uint64_t m_size;
    bool m_readOnly;
    bool m_removable;
};

std::string ErrnoText(int error) { return std::strerror(error); }

// True when a mount-table source names the same block device (by device number).
bool IsMounted(dev_t device) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source;
        fields >> source;
        if (source.empty() || source[0] != '/') {
            continue;
        }
        struct stat st{};
        if (::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device) {
            return true;
        }
    }
    return false;
}

// The kernel's removable flag of a disk; a partition answers for its parent disk.
bool IsRemovableDevice(dev_t device) {
    std::string base = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (const char* candidate : {"/removable", "/../removable"}) {
        std::ifstream in(base + candidate);
        int flag = 0;
        if (in >> flag) {
            return flag != 0;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<BlockDevice> OpenBlockDevice(const std::string& path, DeviceAccess access, std::string& error) {
    const bool writable = access == DeviceAccess::ReadWrite;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        error = "cannot open " + path + ": " + ErrnoText(errno);
        return nullptr;
    }
    const bool isBlock = S_ISBLK(st.st_mode);
    if (!isBlock && !S_ISREG(st.st_mode)) {
        error = path + " is neither an image file nor a block device";
        return nullptr;
    }
    if (isBlock && IsMounted(st.st_rdev)) {
        error = path + " is mounted; unmount it before working on it";
        return nullptr;
    }
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (isBlock) {
        flags |= O_EXCL;
    }
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        int e = errno;
        error = "cannot open " + path + (writable ? " for writing: " : ": ") + ErrnoText(e);
        if (isBlock && e == EBUSY) {
            error = path + " is in use (mounted or opened exclusively by another program)";
        }
        errno = e;
        return nullptr;
    }
    if (writable && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        ::close(fd);
        error = path + (e == EWOULDBLOCK ? " is being written by another program" : " cannot be locked: " + ErrnoText(e));
        errno = e == EWOULDBLOCK ? EBUSY : e;
        return nullptr;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    bool readOnly = !writable;
    if (isBlock) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
            error = "cannot read the size of " + path + ": " + ErrnoText(errno);
            ::close(fd);
            return nullptr;
        }
        int ro = 0;
        if (writable && ::ioctl(fd, BLKROGET, &ro) == 0 && ro != 0) {
            ::close(fd);
            error = "cannot open " + path + " for writing: the device is read-only";
            errno = EROFS;
            return nullptr;
        }
    }
    return std::make_unique<PosixBlockDevice>(fd, path, size, readOnly, isBlock && IsRemovableDevice(st.st_rdev));
}

}  // namespace tarvo::platform
