// StringTable.cpp --- the texts of the string table, by number.
#include "app/StringTable.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace tarvo::app {
namespace {

struct StringEntry {
    UINT id;
    const char* text;
};

constexpr const char* kAppPathKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TarvoDefrag.exe";

constexpr StringEntry kDefragmenterStrings[] = {
    {IDS_MY_COMPUTER, "My Computer"},
    {IDS_ROOT_SUFFIX, ":\\"},
    {IDS_NTFS_SYSTEM_CLUSTERS_1, "There are only clusters that are marked"},
    {IDS_NTFS_SYSTEM_CLUSTERS_2, "for further use by NT (MFT and reserved MFT space)."},
    {IDS_PROGRAM_NAME, "Tarvo Defrag"},
    {IDS_TRAY_TIP, "Tarvo Defrag"},
    {IDS_MESSAGE_FILE_NAME, "Messages.dll"},
    {IDS_DOCUMENT_TITLE, "Tarvo Defrag"},
    {IDS_WRITE_PROTECTED,
     "Drive %s is write protected and cannot be defragmented. The defragmentation process will be aborted."},
    {IDS_FRAGMENTED_FILES_UNIT, "frag. file(s)"},
    {IDS_IDLE, "Idle    "},
    {IDS_BACKSLASH, "\\"},
    {IDS_ELLIPSIS, "..."},
    {IDS_COLON, ":"},
    {IDS_SEARCHING, "Searching..."},
    {IDS_DEFRAG_ABORTED, "Defragmentation aborted."},
    {IDS_INITIALIZING, "Initializing..."},
    {IDS_READY, "Ready"},
    {IDS_ANALYZING_DRIVE, "Analyzing drive"},
    {IDS_FILE_GIVEN_UP, "The file '%s' could not be defragmented."},
    {IDS_APP_PATH_KEY, kAppPathKey},
    {IDS_SCHEDULER_EXE, "TarvoScDef.exe"},
    {IDS_APP_PATH_VALUE, "Path"},
    {IDS_SCHEDULER_UNAVAILABLE,
     "Scheduling for Tarvo Defrag is not available. Please check your installation or contact your system "
     "administrator."},
    {IDS_CLUSTER_TOO_LARGE,
     "The clustersize of drive %s is too large (> 4.096 bytes). The drive cannot be defragmented."},
    {IDS_MESSAGE_FILE_KEY, kAppPathKey},
    {IDS_MESSAGE_FILE_PATH_VALUE, "Path"},
    {IDS_DO_NOT_ASK_AGAIN, "Do not display this message again during this session."},
    {IDS_CLUSTERS_PER_BLOCK, "%d clusters per block"},
    {IDS_COLUMN_FILENAME, "Filename"},
    {IDS_COLUMN_START_CLUSTER, "Start cluster"},
    {IDS_COLUMN_FRAGMENTS, "Fragments"},
    {IDS_INSPECTOR_FILENAME, "Filename"},
    {IDS_INSPECTOR_START, "Start"},
    {IDS_INSPECTOR_END, "End"},
    {IDS_BUTTON_YES, "Yes"},
    {IDS_BUTTON_NO, "No"},
    {IDS_BUTTON_OK, "OK"},
    {IDS_BUTTON_HELP, "Help"},
    {IDS_EXCLUDED_ONE, "%d item excluded from defragmentation."},
    {IDS_EXCLUDED_NONE, "No items excluded from defragmentation."},
    {IDS_EXCLUDED_MANY, "%d items excluded from defragmentation."},
    {IDS_NOT_ENOUGH_SPACE,
     "There is not enough free space on drive %s left. The defragmentation will be aborted."},
    {IDS_DESTINATION_OCCUPIED,
     "File '%1' could not be moved its optimal destination which possibly was occupied by another file "
     "concurrent to the defragmentation process.\n"},
    {IDS_NOT_COMPLETELY_DEFRAGMENTED,
     "Drive '%s' can not be completely defragmented. Maybe insufficient free space."},
    {IDS_FAT_SYSTEM_CLUSTERS, "There are only FAT system clusters."},
    {IDS_REMOVABLE_WARNING,
     "If you eject the media of a removable drive while a defragmentation process is running, data may be "
     "corrupted and/or lost. The makers of Tarvo Defrag accept no liability for any data lost in this way.\n"
     "Are you sure to allow defragmentation of removable drives?"},
    {IDS_SPACE_COMPLETED, "The SPACE-defragmentation has completed for drive %s (Filesystem %s)."},
    {IDS_COMPLETE_COMPLETED, "The COMPLETE-defragmentation has completed for drive %s (Filesystem %s)."},
    {IDS_NOT_ADMINISTRATOR,
     "You are not allowed to execute this program. You must be a member of the local Administrators group. "
     "Your current user-ID is '%s'."},
    {IDS_BAD_LOG_OPTION, "Unkown logging option passed by command line: %s\nUSAGE: %s"},
    {IDS_BAD_DRIVE_OPTION, "Invalid drive passed by command line: %s\nUSAGE: %s"},
    {IDS_BAD_SORT_OPTION, "Invalid sort option passed by command line: %s\nUSAGE: %s"},
    {IDS_NO_BACKUP_RIGHTS,
     "You do not have backup rights. These rights are needed for accessing all files on your partition. "
     "Please "
     "ensure that you are a member of the group 'Backup Operators'."},
    {IDS_NOT_ENOUGH_DISKSPACE,
     "There is not enough disk space on drive %s available!\nThis drive cannot be completely defragmented."},
    {IDS_COMPLETE_OUT_OF_SPACE,
     "Out of disk space. The COMPLETE-method tries to produce the best defragmentation result possible. If "
     "you "
     "try the SPACE method first the result might be better."},
    {IDS_DEFRAG_TERMINATED, "Defragmentation terminated."},
    {IDS_FILE_IN_USE,
     "The file '%s' could not be defragmented. This file might be heavily accessed or system used."},
    {IDS_REMAINING_FRAGMENTED,
     "The remaining fragmented files might be system files or they cannot be defragmentated due to lack of "
     "free "
     "space."},
    {IDS_COMPLETED_WITH_REMAINDER,
     "The defragmentation process for drive %s (%s) has completed successfully.\n\nThe remaining fragmented "
     "files might be system files or they cannot be defragmentated due to lack of free space."},
    {IDS_FILE_NO_SPACE, "The file '%s' could not be defragmented due to lack of free space."},
    {IDS_COMPLETED_SUBOPTIMAL,
     "The defragmentation of drive %s (%s) completed successfully.\n\nDue to changes on the drive or lack of "
     "free space, the defragmentation is suboptimal."},
    {IDS_DEFRAG_COMPLETED, "Defragmentation of Drive %s (%s) has completed."},
    {IDS_SECOND_INSTANCE,
     "Another instance of Tarvo Defrag is currently running. This instance will be terminated."},
    {IDS_DEVICE_FAILED,
     "The device of drive %s failed a read or write (%s: %s) and the drive cannot be defragmented. The "
     "defragmentation process will be aborted."},
    {IDS_VOLUME_REFUSED, "Drive %s: cannot be defragmented: %s"},
    {IDS_REFRESH_WINDOW, "Refresh Window's Content"},
    {IDS_APP_TITLE, "Tarvo Defrag"},
    {IDS_REGISTRY_KEY, "Tarvo"},
    // The first field names the single-instance guard (with " Class" appended).
    {IDS_SINGLE_INSTANCE, "TarvoDefrag\nTarvo Defrag single-instance guard"},
};

constexpr StringEntry kSchedulerStrings[] = {
    {IDS_SCHED_ADD_JOB, "Add a job to the schedule."},
    {IDS_SCHED_CHANGE_JOB, "Change settings of a job."},
    {IDS_SCHED_REMOVE_JOB, "Remove a job from the schedule."},
    {IDS_SCHED_REMOVE_DRIVE_JOBS, "Remove all jobs of a specific drive or computer."},
    {IDS_APP_TITLE, "Tarvo Defrag"},
    {IDS_SCHED_NOT_INTERACTIVE,
     "The schedule service is not configured for interaction with the desktop. Without this property set, "
     "scheduling of Tarvo Defrag will not be successful. Press 'OK' to automatically configure the schedule "
     "service or 'Cancel' to abort scheduling."},
    {IDS_SCHED_NOT_AUTOMATIC,
     "The schedule service does not automatically start when the system is booted. This prevents the "
     "execution "
     "of scheduled jobs when not started manually. It is recommended to change to configuration to start the "
     "service automatically. You can do that by clicking on 'Yes'. If you choose 'No', the configuration "
     "remains as is."},
    {IDS_REGISTRY_KEY, "Tarvo"},
};

const StringEntry* Find(UINT id, StringModule module) {
    std::span<const StringEntry> table = module == StringModule::Scheduler
                                             ? std::span<const StringEntry>(kSchedulerStrings)
                                             : std::span<const StringEntry>(kDefragmenterStrings);
    auto it = std::find_if(table.begin(), table.end(), [id](const StringEntry& e) { return e.id == id; });
    return it == table.end() ? nullptr : &*it;
}

}  // namespace

std::string LoadString(UINT id, StringModule module) {
    const StringEntry* entry = Find(id, module);
    return entry ? std::string(entry->text) : std::string();
}

bool HasString(UINT id, StringModule module) {
    return Find(id, module) != nullptr;
}

int LoadStringA(UINT id, char* buffer, int bufferMax, StringModule module) {
    if (buffer == nullptr || bufferMax <= 0)
        return 0;
    buffer[0] = '\0';
    const StringEntry* entry = Find(id, module);
    if (entry == nullptr)
        return 0;
    size_t length = std::min(std::strlen(entry->text), static_cast<size_t>(bufferMax - 1));
    std::memcpy(buffer, entry->text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

}  // namespace tarvo::app
