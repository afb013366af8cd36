// MessageTable.h --- one row per identifier the program may report: text, box style, ask flag.
#pragma once

#include <span>

#include "app/MessageIds.h"
#include "platform/core/NtTypes.h"

namespace tarvo::app {

struct MessageRow {
    MessageId id;
    platform::UINT textId;       // string of the text, 0 = event log only
    platform::UINT style;        // MB_ICONHAND, MB_ICONEXCLAMATION, MB_ICONINFORMATION or 0
    int loggedReturn;            // answered when the message goes to the message log
    platform::DWORD helpId;      // 0 in every row
    bool ask;                    // shown in the ask box, which can silence it
    platform::UINT checkTextId;  // the ask box's check-box text
};

// The row of `id`, or null when the table lacks it.
const MessageRow* FindMessageRow(MessageId id);

// Every row, in table order.
std::span<const MessageRow> MessageRows();

// Whether the row's completion message opens the status report.
constexpr bool IsStatusReportMessage(MessageId id) {
    return id == MSG_INF_SPACE_COMPLETED || id == MSG_INF_COMPLETE_COMPLETED;
}

}  // namespace tarvo::app
