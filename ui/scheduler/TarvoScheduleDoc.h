// TarvoScheduleDoc.h --- the scheduling program's document: the connection to the Schedule service and the
// job list.
#pragma once

#include "scheduler/JobList.h"
#include "scheduler/Prompt.h"
#include "scheduler/ScheduleConnection.h"

namespace tarvo::ui::scheduler {

class CTarvoScheduleDoc {
public:
    // Questions about the service go through the prompt (message boxes).
    explicit CTarvoScheduleDoc(tarvo::scheduler::CPrompt& prompt)
        : m_connection(prompt), m_jobs(m_connection) {}

    // Loads the job list; false ends the program (the service was refused or would not start).
    bool OnNewDocument() { return m_jobs.LoadJobs(); }

    tarvo::scheduler::CJobList& JobList() { return m_jobs; }
    const char* Title() const { return "Tarvo Defrag"; }

private:
    tarvo::scheduler::CScheduleConnection m_connection;
    tarvo::scheduler::CJobList m_jobs;
};

}  // namespace tarvo::ui::scheduler
