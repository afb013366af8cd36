// NtfsLib.cpp --- the libntfs-3g lock and the library's logging set-up.
#include "platform/ntfs/NtfsLib.h"

#include <cstdlib>
#include <cstring>

namespace tarvo::platform {

std::recursive_mutex& NtfsLibraryMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

void QuietNtfsLibrary() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    const char* debug = std::getenv("TARVO_NTFS_DEBUG");
    if (debug != nullptr && std::strcmp(debug, "1") == 0) {
        return;
    }
    ntfs_log_set_levels(0);
    ntfs_log_clear_levels(~0U);
}

}  // namespace tarvo::platform
