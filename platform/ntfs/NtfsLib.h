// NtfsLib.h --- includes libntfs-3g for C++ and holds the one lock every call into it takes.
//
// The library's headers are C, expect configuration macros that its own build
// defines, and need <sys/stat.h> first. The library keeps global state (caches,
// the logging set-up) and is not thread-safe, so every call into it in this
// process is made under NtfsLibraryMutex().
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <mutex>

#ifndef HAVE_STDINT_H
#define HAVE_STDINT_H 1
#endif
#ifndef HAVE_SYS_TYPES_H
#define HAVE_SYS_TYPES_H 1
#endif
#ifndef HAVE_ENDIAN_H
#define HAVE_ENDIAN_H 1
#endif
#ifndef HAVE_BYTESWAP_H
#define HAVE_BYTESWAP_H 1
#endif
#ifndef HAVE_STDIO_H
#define HAVE_STDIO_H 1
#endif
#ifndef HAVE_STDARG_H
#define HAVE_STDARG_H 1
#endif
#ifndef HAVE_ERRNO_H
#define HAVE_ERRNO_H 1
#endif

extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/bitmap.h>
#include <ntfs-3g/bootsect.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/lcnalloc.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/mft.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

// The library's support.h defines min and max as macros; they break std::min.
#undef min
#undef max

namespace tarvo::platform {

// The process-wide lock around libntfs-3g. Recursive so that a helper called
// with the lock held may take it again.
std::recursive_mutex& NtfsLibraryMutex();

// Silences the library's own messages on stderr (we report through statuses);
// TARVO_NTFS_DEBUG=1 in the environment keeps them. Idempotent; call under the lock.
void QuietNtfsLibrary();

}  // namespace tarvo::platform
