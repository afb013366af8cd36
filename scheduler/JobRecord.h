// JobRecord.h --- translation between a job and the Schedule service's job record.
#pragma once

#include <string>

#include "platform/services/AtInfo.h"
#include "scheduler/Job.h"

namespace tarvo::scheduler {

// An AT_INFO with the wide command text it points to; copy-safe.
class ServiceRecord {
public:
    ServiceRecord() = default;
    ServiceRecord(const ServiceRecord& other) { *this = other; }
    ServiceRecord& operator=(const ServiceRecord& other) {
        m_info = other.m_info;
        SetCommand(other.m_command);
        return *this;
    }
    void SetCommand(std::u16string command) {
        m_command = std::move(command);
        m_info.Command = m_command.data();
    }
    platform::AT_INFO& Info() { return m_info; }
    const platform::AT_INFO& Info() const { return m_info; }

private:
    platform::AT_INFO m_info{};
    std::u16string m_command;
};

// Job time, day bits, flags (periodic for Every, "not today" for Tomorrow, else
// none, so the job runs interactively) and the command as wide text.
ServiceRecord ToServiceRecord(const Job& job);

// Occurrence, days, time, command (upper-cased), service job id and error
// flag from an enumerated entry; method, drive, sort and logging stay
// undetermined until ParseCommand.
Job FromServiceRecord(const platform::AT_ENUM& entry);

}  // namespace tarvo::scheduler
