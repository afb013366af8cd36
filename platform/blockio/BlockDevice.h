// BlockDevice.h --- byte-addressed I/O on an image file or block device, with flush points.
//
// The real backends (FAT, NTFS) do all their I/O through this interface, so that
// tests can put wrappers underneath: one that simulates power loss at a chosen
// flush point (writes since the last flush kept, dropped or torn), one that
// fails the n-th operation. Errors are answered as errno values (0 = success),
// never thrown. A backend serialises its own calls, with one exception: Flush
// may run on another thread while reads and writes go on (BackgroundFlusher);
// it then makes durable at least every write that finished before it began.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvo::platform {

class BlockDevice {
public:
    virtual ~BlockDevice() = default;

    // Reads or writes exactly `length` bytes at `offset`; a short transfer is an error (EIO).
    virtual int Read(uint64_t offset, void* buffer, size_t length) = 0;
    virtual int Write(uint64_t offset, const void* buffer, size_t length) = 0;
    // Makes every write before it durable. The point at which crash tests cut.
    virtual int Flush() = 0;
    virtual uint64_t Size() const = 0;
    virtual bool IsReadOnly() const = 0;
    // For messages: the image path or device name.
    virtual std::string Name() const = 0;
    // True for a block device the kernel reports as removable (/sys/.../removable).
    virtual bool IsRemovable() const { return false; }
};

enum class DeviceAccess { ReadOnly, ReadWrite };

// Opens an image file or a block device. A block device is opened with O_EXCL
// and refused when it is mounted. ReadWrite also takes an exclusive flock on the
// image or device, so two writers never share one volume (EBUSY otherwise). ReadWrite falls back to nothing: a file that
// cannot be opened for writing fails with EACCES/EROFS (the caller may retry
// ReadOnly). On failure answers null and sets `error` to a message.
std::unique_ptr<BlockDevice> OpenBlockDevice(const std::string& path, DeviceAccess access, std::string& error);

}  // namespace tarvo::platform
