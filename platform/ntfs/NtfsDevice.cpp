// NtfsDevice.cpp --- the ntfs_device_operations table that forwards to a BlockDevice.
#include "platform/ntfs/NtfsDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>

namespace tarvo::platform {

namespace {

NtfsDeviceState& State(struct ntfs_device* dev) { return *static_cast<NtfsDeviceState*>(dev->d_private); }

int DevOpen(struct ntfs_device* dev, int flags) {
    if (NDevOpen(dev)) {
        errno = EBUSY;
        return -1;
    }
    BlockDevice& device = *State(dev).device;
    if ((flags & O_ACCMODE) == O_RDONLY || device.IsReadOnly()) {
        NDevSetReadOnly(dev);
    }
    if ((flags & O_ACCMODE) != O_RDONLY && device.IsReadOnly()) {
        errno = EROFS;
        return -1;
    }
    State(dev).position = 0;
    NDevSetOpen(dev);
    return 0;
}

int DevClose(struct ntfs_device* dev) {
    if (!NDevOpen(dev)) {
        errno = EBADF;
        return -1;
    }
    int rc = 0;
    if (!NDevReadOnly(dev) && NDevDirty(dev)) {
        rc = State(dev).device->Flush();
        NDevClearDirty(dev);
    }
    NDevClearOpen(dev);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return 0;
}

s64 DevSeek(struct ntfs_device* dev, s64 offset, int whence) {
    NtfsDeviceState& state = State(dev);
    s64 size = static_cast<s64>(state.device->Size());
    s64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? state.position : whence == SEEK_END ? size : -1;
    if (base < 0 || base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    state.position = base + offset;
    return state.position;
}

// Reads what lies inside the device; a read reaching past the end is short, as
// on a file, because the library probes the last sector for the backup boot sector.
s64 DevPread(struct ntfs_device* dev, void* buf, s64 count, s64 offset) {
    BlockDevice& device = *State(dev).device;
    if (count < 0 || offset < 0) {
        errno = EINVAL;
        return -1;
    }
    uint64_t size = device.Size();
    if (static_cast<uint64_t>(offset) >= size) {
        return 0;
    }
    uint64_t length = std::min<uint64_t>(static_cast<uint64_t>(count), size - static_cast<uint64_t>(offset));
    int rc = device.Read(static_cast<uint64_t>(offset), buf, length);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return static_cast<s64>(length);
}

s64 DevPwrite(struct ntfs_device* dev, const void* buf, s64 count, s64 offset) {
    BlockDevice& device = *State(dev).device;
    if (NDevReadOnly(dev)) {
        errno = EROFS;
        return -1;
    }
    if (count < 0 || offset < 0) {
        errno = EINVAL;
        return -1;
    }
    uint64_t size = device.Size();
    if (static_cast<uint64_t>(offset) > size || static_cast<uint64_t>(count) > size - static_cast<uint64_t>(offset)) {
        errno = ENOSPC;
        return -1;
    }
    NDevSetDirty(dev);
    int rc = device.Write(static_cast<uint64_t>(offset), buf, static_cast<size_t>(count));
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return count;
}

s64 DevRead(struct ntfs_device* dev, void* buf, s64 count) {
    s64 n = DevPread(dev, buf, count, State(dev).position);
    if (n > 0) {
        State(dev).position += n;
    }
    return n;
}

s64 DevWrite(struct ntfs_device* dev, const void* buf, s64 count) {
    s64 n = DevPwrite(dev, buf, count, State(dev).position);
    if (n > 0) {
        State(dev).position += n;
    }
    return n;
}

int DevSync(struct ntfs_device* dev) {
    if (NDevReadOnly(dev)) {
        return 0;
    }
    int rc = State(dev).device->Flush();
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    NDevClearDirty(dev);
    return 0;
}

// The library asks for the size (st_size) and whether it is a block device; we
// present every device as a regular file of its size so it never issues ioctls.
int DevStat(struct ntfs_device* dev, struct stat* buf) {
    std::memset(buf, 0, sizeof(*buf));
    buf->st_mode = S_IFREG | 0600;
    buf->st_size = static_cast<off_t>(State(dev).device->Size());
    return 0;
}

int DevIoctl(struct ntfs_device*, unsigned long, void*) {
    errno = ENOTTY;
    return -1;
}

struct ntfs_device_operations g_operations = {
    DevOpen, DevClose, DevSeek, DevRead, DevWrite, DevPread, DevPwrite, DevSync, DevStat, DevIoctl,
};

}  // namespace

struct ntfs_device* NewNtfsDevice(NtfsDeviceState& state) {
    state.position = 0;
    std::string name = state.device->Name();
    return ntfs_device_alloc(name.c_str(), 0, &g_operations, &state);
}

}  // namespace tarvo::platform
