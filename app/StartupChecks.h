// StartupChecks.h --- what start-up checks before a run: eligible drives, privileges and the user.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

// A letter of an eligible drive: at least 'A'; its volume "\\.\X:" opens for
// reading with backup semantics (closed at once); its root "X:\" is a fixed
// drive, or removable while the RemovableDrives setting is on.
BOOL IsEligibleDrive(char letter);

// Whether the volume of a drive opens for reading with backup semantics.
BOOL VolumeOpensForReading(char letter);

// Why a mapped drive's volume was refused (not cleanly unmounted, damaged, in
// use, its image missing), in the words of its backend; empty when the letter
// is not mapped at all or its volume opens.
std::string DriveRefusal(char letter);

// Switches a named privilege ("SeBackupPrivilege", "SeRestorePrivilege") on or
// off for the process. This platform has no privilege tokens: volume access is
// decided by the permissions of each image or device when it opens, so the call
// answers 1 for the two privileges the program asks for and 0 for others.
BOOL EnablePrivilege(const std::string& name, BOOL enable);

// The outcome of the user check of start-up.
struct UserCheck {
    std::string userName;
    std::string sid;            // the user's SID in text form, passed with every event
    BOOL administrator = 0;     // may run the program
};

// Reads the user name and SID, and decides whether the user may run the
// program: where drive C is mapped its volume must open for reading; where no
// C: is mapped, the user passes when some mapped volume opens or none is mapped
// (an ordinary user may defragment the images they own).
UserCheck CheckUser();

}  // namespace tarvo::app
