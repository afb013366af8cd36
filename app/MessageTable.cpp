// MessageTable.cpp --- the rows of the message table.
#include "app/MessageTable.h"

#include <algorithm>
#include <iterator>

#include "app/Presenter.h"
#include "app/StringTable.h"

namespace tarvo::app {
namespace {

// A row shown in a message box; the logged return value is the style.
constexpr MessageRow Box(MessageId id, UINT textId, UINT style) {
    return {id, textId, style, int(style), 0, false, 0};
}
// A row shown in the ask box with its check box.
constexpr MessageRow Ask(MessageId id, UINT textId) {
    return {id, textId, MB_ICONEXCLAMATION, int(MB_ICONEXCLAMATION), 0, true, IDS_DO_NOT_ASK_AGAIN};
}
// A row that only the event log receives.
constexpr MessageRow EventOnly(MessageId id) {
    return {id, 0, 0, 0, 0, false, 0};
}

constexpr MessageRow kRows[] = {
    EventOnly(MSG_ERR_RELEASE_JOB_FAULT),
    EventOnly(MSG_ERR_VOLUME_ACCESS),
    Box(MSG_ERR_NOT_ADMINISTRATOR, IDS_NOT_ADMINISTRATOR, MB_ICONHAND),
    EventOnly(MSG_ERR_EMPTY_DRIVE),
    EventOnly(MSG_ERR_NO_CLUSTER_MAP_VIEW),
    EventOnly(MSG_ERR_JOB_NOT_CREATED),
    EventOnly(MSG_ERR_JOB_INIT_FAILED),
    EventOnly(MSG_ERR_JOB_NOT_STARTED),
    EventOnly(MSG_ERR_MENU_JOB_NOT_CREATED),
    EventOnly(MSG_ERR_ANALYSIS_NOT_STARTED),
    EventOnly(MSG_ERR_CODE_000B),
    EventOnly(MSG_ERR_CODE_000C),
    EventOnly(MSG_ERR_CODE_000D),
    EventOnly(MSG_ERR_CODE_000E),
    EventOnly(MSG_ERR_CODE_000F),
    EventOnly(MSG_ERR_CODE_0010),
    EventOnly(MSG_ERR_CODE_0011),
    EventOnly(MSG_ERR_CODE_0012),
    EventOnly(MSG_ERR_THREAD_NOT_CREATED),
    EventOnly(MSG_ERR_METHOD_FAILED),
    Box(MSG_ERR_BAD_LOG_OPTION, IDS_BAD_LOG_OPTION, MB_ICONHAND),
    Box(MSG_ERR_BAD_DRIVE_OPTION, IDS_BAD_DRIVE_OPTION, MB_ICONHAND),
    Box(MSG_ERR_BAD_SORT_OPTION, IDS_BAD_SORT_OPTION, MB_ICONHAND),
    Box(MSG_ERR_CLUSTER_TOO_LARGE, IDS_CLUSTER_TOO_LARGE, MB_ICONHAND),
    Box(MSG_ERR_SCHEDULER_UNAVAILABLE, IDS_SCHEDULER_UNAVAILABLE, MB_ICONHAND),
    Box(MSG_ERR_NOT_ENOUGH_SPACE, IDS_NOT_ENOUGH_SPACE, MB_ICONHAND),
    Box(MSG_ERR_NO_BACKUP_RIGHTS, IDS_NO_BACKUP_RIGHTS, MB_ICONHAND),
    Box(MSG_ERR_WRITE_PROTECTED, IDS_WRITE_PROTECTED, MB_ICONHAND),
    Box(MSG_ERR_DEVICE_FAILED, IDS_DEVICE_FAILED, MB_ICONHAND),
    Box(MSG_ERR_VOLUME_REFUSED, IDS_VOLUME_REFUSED, MB_ICONHAND),
    EventOnly(MSG_DIAG_ERROR),
    EventOnly(MSG_WAR_CODE_1001),
    Box(MSG_WAR_NOT_ENOUGH_DISKSPACE, IDS_NOT_ENOUGH_DISKSPACE, MB_ICONEXCLAMATION),
    Box(MSG_WAR_COMPLETE_OUT_OF_SPACE, IDS_COMPLETE_OUT_OF_SPACE, MB_ICONEXCLAMATION),
    Box(MSG_WAR_DEFRAG_TERMINATED, IDS_DEFRAG_TERMINATED, MB_ICONEXCLAMATION),
    Box(MSG_WAR_DEFRAG_ABORTED, IDS_DEFRAG_ABORTED, MB_ICONEXCLAMATION),
    EventOnly(MSG_WAR_OPTION_REPEATED),
    EventOnly(MSG_WAR_WINDOW_TOO_SMALL),
    {MSG_WAR_FILE_IN_USE, IDS_FILE_IN_USE, MB_ICONINFORMATION, int(MB_ICONEXCLAMATION), 0, false, 0},
    Box(MSG_WAR_REMAINING_FRAGMENTED, IDS_REMAINING_FRAGMENTED, MB_ICONEXCLAMATION),
    Box(MSG_WAR_COMPLETED_WITH_REMAINDER, IDS_COMPLETED_WITH_REMAINDER, MB_ICONEXCLAMATION),
    Ask(MSG_WAR_FILE_GIVEN_UP, IDS_FILE_GIVEN_UP),
    Ask(MSG_WAR_FILE_NO_SPACE, IDS_FILE_NO_SPACE),
    EventOnly(MSG_WAR_CODE_100F),
    Box(MSG_WAR_COMPLETED_SUBOPTIMAL, IDS_COMPLETED_SUBOPTIMAL, MB_ICONEXCLAMATION),
    EventOnly(MSG_WAR_EXTENTS_UNREADABLE),
    Ask(MSG_WAR_DESTINATION_OCCUPIED, IDS_DESTINATION_OCCUPIED),
    Box(MSG_WAR_NOT_COMPLETELY_DEFRAGMENTED, IDS_NOT_COMPLETELY_DEFRAGMENTED, MB_ICONEXCLAMATION),
    EventOnly(MSG_INF_ANALYSIS),
    Box(MSG_INF_DEFRAG_COMPLETED, IDS_DEFRAG_COMPLETED, MB_ICONINFORMATION),
    EventOnly(MSG_INF_SPACE_STARTED),
    Box(MSG_INF_SPACE_COMPLETED, IDS_SPACE_COMPLETED, 0),
    EventOnly(MSG_INF_SPACE_STOPPED),
    EventOnly(MSG_INF_COMPLETE_STARTED),
    Box(MSG_INF_COMPLETE_COMPLETED, IDS_COMPLETE_COMPLETED, 0),
    EventOnly(MSG_INF_COMPLETE_STOPPED),
    EventOnly(MSG_INF_PROGRAM_START),
    EventOnly(MSG_INF_PROGRAM_END),
    EventOnly(MSG_INF_OPTION_ACCEPTED),
    EventOnly(MSG_INF_FILE_CANNOT_OPEN),
    Box(MSG_INF_SECOND_INSTANCE, IDS_SECOND_INSTANCE, 0),
    EventOnly(MSG_INF_SECOND_INSTANCE_CMDLINE),
    EventOnly(MSG_DIAG_INFO),
};

}  // namespace

const MessageRow* FindMessageRow(MessageId id) {
    auto it = std::find_if(std::begin(kRows), std::end(kRows),
                           [id](const MessageRow& row) { return row.id == id; });
    return it == std::end(kRows) ? nullptr : &*it;
}

std::span<const MessageRow> MessageRows() {
    return kRows;
}

}  // namespace tarvo::app
