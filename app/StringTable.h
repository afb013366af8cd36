// StringTable.h --- the program's numbered texts, looked up by number as LoadString does.
//
// Both programs keep their texts here; the few numbers that the scheduling
// program uses for other texts live in its own module of the table.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::UINT;

enum class StringModule { Defragmenter, Scheduler };

// The text of string `id` of the module, or the empty string when there is no
// such string. Thread-safe (the table is constant).
std::string LoadString(UINT id, StringModule module = StringModule::Defragmenter);

// Whether the module has a string `id` (an empty text counts as present).
bool HasString(UINT id, StringModule module = StringModule::Defragmenter);

// As the platform's LoadStringA: copies at most bufferMax - 1 characters and a
// terminator, answers the number of characters copied, 0 when the string is
// missing or the buffer is null or empty.
int LoadStringA(UINT id, char* buffer, int bufferMax, StringModule module = StringModule::Defragmenter);

// Numbers of the texts the code asks for by name.
constexpr UINT IDS_MY_COMPUTER = 33207;  // "My Computer"
constexpr UINT IDS_ROOT_SUFFIX = 33208;  // ":\"
constexpr UINT IDS_NTFS_SYSTEM_CLUSTERS_1 = 33300;
constexpr UINT IDS_NTFS_SYSTEM_CLUSTERS_2 = 33301;
constexpr UINT IDS_PROGRAM_NAME = 33501;  // event source name
constexpr UINT IDS_TRAY_TIP = 33502;
constexpr UINT IDS_MESSAGE_FILE_NAME = 33503;  // "Messages.dll"
constexpr UINT IDS_DOCUMENT_TITLE = 33509;
constexpr UINT IDS_WRITE_PROTECTED = 33602;
constexpr UINT IDS_FRAGMENTED_FILES_UNIT = 33611;  // "frag. file(s)"
constexpr UINT IDS_IDLE = 33612;                   // "Idle    "
constexpr UINT IDS_BACKSLASH = 33616;
constexpr UINT IDS_ELLIPSIS = 33617;  // "..."
constexpr UINT IDS_COLON = 33618;
constexpr UINT IDS_SEARCHING = 33622;
constexpr UINT IDS_DEFRAG_ABORTED = 33624;
constexpr UINT IDS_INITIALIZING = 33626;
constexpr UINT IDS_READY = 33655;
constexpr UINT IDS_ANALYZING_DRIVE = 33662;
constexpr UINT IDS_FILE_GIVEN_UP = 33665;
constexpr UINT IDS_APP_PATH_KEY = 33676;    // the application-path key
constexpr UINT IDS_SCHEDULER_EXE = 33677;   // "TarvoScDef.exe"
constexpr UINT IDS_APP_PATH_VALUE = 33678;  // "Path"
constexpr UINT IDS_SCHEDULER_UNAVAILABLE = 33679;
constexpr UINT IDS_CLUSTER_TOO_LARGE = 33681;
constexpr UINT IDS_MESSAGE_FILE_KEY = 33682;         // the application-path key, as the logger names it
constexpr UINT IDS_MESSAGE_FILE_PATH_VALUE = 33683;  // "Path"
constexpr UINT IDS_DO_NOT_ASK_AGAIN = 33684;         // check-box text of the ask box
constexpr UINT IDS_CLUSTERS_PER_BLOCK = 33685;       // "%d clusters per block"
constexpr UINT IDS_COLUMN_FILENAME = 33686;
constexpr UINT IDS_COLUMN_START_CLUSTER = 33687;
constexpr UINT IDS_COLUMN_FRAGMENTS = 33688;
constexpr UINT IDS_INSPECTOR_FILENAME = 33689;
constexpr UINT IDS_INSPECTOR_START = 33690;
constexpr UINT IDS_INSPECTOR_END = 33691;
constexpr UINT IDS_BUTTON_YES = 33693;
constexpr UINT IDS_BUTTON_NO = 33694;
constexpr UINT IDS_BUTTON_OK = 33695;
constexpr UINT IDS_BUTTON_HELP = 33696;
constexpr UINT IDS_EXCLUDED_ONE = 33697;  // "%d item excluded from defragmentation."
constexpr UINT IDS_EXCLUDED_NONE = 33698;
constexpr UINT IDS_EXCLUDED_MANY = 33699;  // "%d items excluded from defragmentation."
constexpr UINT IDS_NOT_ENOUGH_SPACE = 33702;
constexpr UINT IDS_DESTINATION_OCCUPIED = 33705;
constexpr UINT IDS_NOT_COMPLETELY_DEFRAGMENTED = 33706;
constexpr UINT IDS_FAT_SYSTEM_CLUSTERS = 33707;
constexpr UINT IDS_REMOVABLE_WARNING = 33722;
constexpr UINT IDS_SPACE_COMPLETED = 33727;
constexpr UINT IDS_COMPLETE_COMPLETED = 33729;
// Texts of the message table that carry no number elsewhere.
constexpr UINT IDS_NOT_ADMINISTRATOR = 33740;
constexpr UINT IDS_BAD_LOG_OPTION = 33741;
constexpr UINT IDS_BAD_DRIVE_OPTION = 33742;
constexpr UINT IDS_BAD_SORT_OPTION = 33743;
constexpr UINT IDS_NO_BACKUP_RIGHTS = 33744;
constexpr UINT IDS_NOT_ENOUGH_DISKSPACE = 33745;
constexpr UINT IDS_COMPLETE_OUT_OF_SPACE = 33746;
constexpr UINT IDS_DEFRAG_TERMINATED = 33747;
constexpr UINT IDS_FILE_IN_USE = 33748;
constexpr UINT IDS_REMAINING_FRAGMENTED = 33749;
constexpr UINT IDS_COMPLETED_WITH_REMAINDER = 33750;
constexpr UINT IDS_FILE_NO_SPACE = 33751;
constexpr UINT IDS_COMPLETED_SUBOPTIMAL = 33752;
constexpr UINT IDS_DEFRAG_COMPLETED = 33753;
constexpr UINT IDS_SECOND_INSTANCE = 33754;
constexpr UINT IDS_DEVICE_FAILED = 33755;
constexpr UINT IDS_VOLUME_REFUSED = 33756;
constexpr UINT IDS_REFRESH_WINDOW = 32776;     // prompt of the refresh command
constexpr UINT IDS_APP_TITLE = 57344;          // the application title, "Tarvo Defrag"
constexpr UINT IDS_REGISTRY_KEY = 62000;       // the registry root word, "Tarvo"
constexpr UINT IDS_SINGLE_INSTANCE = 1310711;  // names the single-instance guard
// The scheduling program's own texts.
constexpr UINT IDS_SCHED_ADD_JOB = 32771;
constexpr UINT IDS_SCHED_CHANGE_JOB = 32772;
constexpr UINT IDS_SCHED_REMOVE_JOB = 32773;
constexpr UINT IDS_SCHED_REMOVE_DRIVE_JOBS = 32780;
constexpr UINT IDS_SCHED_NOT_INTERACTIVE = 57672;
constexpr UINT IDS_SCHED_NOT_AUTOMATIC = 57673;

}  // namespace tarvo::app
