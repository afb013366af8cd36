// StartupChecks.cpp --- drive eligibility, privileges and the user check over the platform layer.
#include "app/StartupChecks.h"

#include <pwd.h>
#include <unistd.h>

#include "app/Settings.h"
#include "platform/drives/Drives.h"
#include "platform/drives/Win32Files.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;

std::string VolumePath(char letter) {
    return std::string("\\\\.\\") + letter + ":";
}

}  // namespace

BOOL VolumeOpensForReading(char letter) {
    HANDLE volume = CreateFileA(VolumePath(letter).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    if (volume == INVALID_HANDLE_VALUE || volume == nullptr) return 0;
    CloseHandle(volume);
    return 1;
}

std::string DriveRefusal(char letter) {
    if (letter < 'A' || letter > 'Z') return {};
    bool mapped = false;
    for (const DriveMapping& m : ListDriveMappings()) mapped = mapped || m.letter == letter;
    if (!mapped) return {};
    NTSTATUS status = STATUS_SUCCESS;
    std::string error;
    if (OpenDriveBackend(letter, status, error) != nullptr) return {};
    return error.empty() ? std::string(NtStatusName(status)) : error;
}

BOOL IsEligibleDrive(char letter) {
    if (letter < 'A' || letter > 'Z') return 0;
    if (!VolumeOpensForReading(letter)) return 0;
    const std::string root = std::string(1, letter) + ":\\";
    UINT type = GetDriveTypeA(root.c_str());
    return type == DRIVE_FIXED || (type == DRIVE_REMOVABLE && Settings().RemovableDrives());
}

BOOL EnablePrivilege(const std::string& name, BOOL /*enable*/) {
    return name == "SeBackupPrivilege" || name == "SeRestorePrivilege";
}

UserCheck CheckUser() {
    UserCheck check;
    const uid_t uid = geteuid();
    if (const passwd* entry = getpwuid(uid); entry != nullptr && entry->pw_name != nullptr)
        check.userName = entry->pw_name;
    else
        check.userName = std::to_string(uid);
    // The SID of a Unix user as Windows interoperability writes it: S-1-22-1-<uid>.
    check.sid = "S-1-22-1-" + std::to_string(uid);

    const auto mappings = ListDriveMappings();
    bool cMapped = false;
    for (const auto& m : mappings) cMapped = cMapped || m.letter == 'C';
    if (cMapped) {
        check.administrator = VolumeOpensForReading('C');
        return check;
    }
    check.administrator = mappings.empty() ? 1 : 0;
    for (const auto& m : mappings)
        if (VolumeOpensForReading(m.letter)) {
            check.administrator = 1;
            break;
        }
    return check;
}

}  // namespace tarvo::app
