// Drives.h --- drive letters: $TARVO_HOME/dosdevices/<letter>: links to volumes, and one backend per volume.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/VolumeBackend.h"

namespace tarvo::platform {

// 'A'..'Z' for "d", "D", "d:", "D:" or "D:\"; 0 for anything else.
char ParseDriveLetter(std::string_view text);

// The folder of the letter links ($TARVO_HOME/dosdevices), created on demand.
std::string DosDevicesFolder();

// Points the letter at an image file, a block device or a simulated volume file
// (replacing an earlier mapping). False with a message for a bad letter or a
// target that does not exist.
bool MapDrive(char letter, const std::string& target, std::string& error);
// Removes the letter's link. False with a message when the letter is not mapped.
bool UnmapDrive(char letter, std::string& error);

struct DriveMapping {
    char letter = 0;
    std::string target;      // what the link points at ("" for an in-process backend)
    bool inProcess = false;  // attached with MapDriveToBackend
};
// Every mapped letter, in letter order: the links and the in-process backends.
std::vector<DriveMapping> ListDriveMappings();

// The backend of a drive. Every caller in the process gets the same instance for
// one volume (keyed by the canonical path of the link's target), so all handles
// on a volume share its state. Null with a status and message when the letter is
// unmapped (STATUS_OBJECT_NAME_NOT_FOUND) or the volume cannot be opened.
std::shared_ptr<VolumeBackend> OpenDriveBackend(char letter, NTSTATUS& status, std::string& error);

// A volume handle holds its letter to the backend it opened: while a hold is
// open, every open of the letter answers that backend without reading the
// link again (the analysis opens its drive for every file and directory).
// False when the letter is already held to another backend (nothing is held
// then). Each successful hold is ended by one UnholdDrive.
bool HoldDrive(char letter, const std::shared_ptr<VolumeBackend>& backend);
void UnholdDrive(char letter);

// For tests: serves the letter from an in-process backend, ahead of any link.
void MapDriveToBackend(char letter, std::shared_ptr<VolumeBackend> backend);
void UnmapTestDrive(char letter);

// Drops every cached backend (each closes when its last handle closes). Later
// opens read the volumes afresh, seeing what other processes wrote.
void ReleaseCachedBackends();

}  // namespace tarvo::platform
