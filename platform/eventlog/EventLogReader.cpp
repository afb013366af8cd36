// EventLogReader.cpp --- filtered reads of the event log store.
#include "platform/eventlog/EventLogReader.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "platform/eventlog/EventLogStore.h"

namespace tarvo::platform {

bool ReadEventLog(const EventFilter& filter, std::vector<EventRecord>& records, std::string& error) {
    records.clear();
    std::error_code ignored;
    if (!std::filesystem::exists(EventLogStore().Path(), ignored)) {
        return true;  // nothing was ever written: do not create the file just to read it
    }
    try {
        EventLogStore().Run(TransactionKind::Read, [&](sqlite3* db) {
            SqliteStatement select(
                db,
                "SELECT record, generated, written, source, computer, event_id, type, category, "
                "user_sid, strings, data FROM events "
                "WHERE (?1 = '' OR source = ?1 COLLATE NOCASE) AND (?2 IS NULL OR type = ?2) "
                "ORDER BY record DESC LIMIT ?3");
            select.Bind(1, filter.source);
            if (filter.eventType) {
                select.Bind(2, static_cast<int64_t>(*filter.eventType));
            } else {
                select.BindNull(2);
            }
            select.Bind(3, filter.last > 0 ? static_cast<int64_t>(std::min<size_t>(
                                                 filter.last, std::numeric_limits<int64_t>::max()))
                                           : int64_t{-1});
            while (select.Step()) {
                EventRecord record;
                record.recordNumber = static_cast<DWORD>(select.Int(0));
                record.timeGenerated = select.Int(1);
                record.timeWritten = select.Int(2);
                record.source = select.Text(3);
                record.computerName = select.Text(4);
                record.eventId = static_cast<DWORD>(select.Int(5));
                record.eventType = static_cast<WORD>(select.Int(6));
                record.category = static_cast<WORD>(select.Int(7));
                record.userSid = select.Text(8);
                record.strings = UnpackStrings(select.Blob(9));
                record.data = select.Blob(10);
                records.push_back(std::move(record));
            }
        });
    } catch (const SqliteError& e) {
        records.clear();
        error = std::string("cannot read the event log: ") + e.what();
        return false;
    }
    std::reverse(records.begin(), records.end());
    return true;
}

}  // namespace tarvo::platform
