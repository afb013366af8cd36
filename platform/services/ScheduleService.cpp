// ScheduleService.cpp --- the Schedule service's requests and job runs.
#include "platform/services/ScheduleService.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/process/Process.h"
#include "platform/services/JobTiming.h"
#include "platform/services/ServiceConfig.h"
#include "platform/services/ServiceManager.h"

extern char** environ;

namespace tarvo::platform {

namespace {

constexpr DWORD kDayMs = 24u * 60 * 60 * 1000;
constexpr size_t kMaxCommand = 8191;
// A run found this late while the service was up (a suspended machine) counts as missed.
constexpr time_t kLateLimit = 5 * 60;

bool ParseField(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::strtoull(text.c_str(), nullptr, 10);
    return value <= max;
}

Frame Status(DWORD status) { return {std::to_string(status)}; }

void Log(const char* format, const std::string& a, DWORD b = 0) {
    time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::fprintf(stdout, "%s ", stamp);
    std::fprintf(stdout, format, a.c_str(), b);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool InteractiveService() {
    ServiceConfig config;
    return LoadServiceConfig(kScheduleServiceName, config) && (config.type & SERVICE_INTERACTIVE_PROCESS) != 0;
}

}  // namespace

CScheduleService::CScheduleService(CJobStore& store, std::string userDisplay)
    : m_store(store), m_userDisplay(std::move(userDisplay)) {}

CScheduleService::~CScheduleService() {
    for (HANDLE h : m_children) {
        CloseHandle(h);
    }
}

void CScheduleService::Recover(time_t now) {
    for (auto& job : m_store.All()) {
        if (job.state == JobState::Starting) {
            m_store.Remove(job.id, job.id);  // claimed before the stop: perhaps started, never again
            continue;
        }
        if (job.nextRun && *job.nextRun <= now) {
            job.nextRun = NextRunTime(job.jobTime, job.daysOfMonth, job.daysOfWeek, now);
            m_store.Update(job);
        }
    }
}

Frame CScheduleService::Handle(const Frame& request, time_t now) {
    if (request.empty()) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (request[0] == "ADD") {
        return Add(request, now);
    }
    if (request[0] == "ENUM") {
        return Enumerate(request, now);
    }
    if (request[0] == "DEL") {
        return Delete(request);
    }
    return Status(ERROR_NOT_SUPPORTED);
}

Frame CScheduleService::Add(const Frame& request, time_t now) {
    uint64_t jobTime = 0;
    uint64_t daysOfMonth = 0;
    uint64_t daysOfWeek = 0;
    uint64_t flags = 0;
    if (request.size() != 6 || !ParseField(request[1], kDayMs - 1, jobTime) ||
        !ParseField(request[2], 0x7FFFFFFF, daysOfMonth) || !ParseField(request[3], 0x7F, daysOfWeek) ||
        !ParseField(request[4], 0xFF, flags) || (flags & ~uint64_t{JOB_INPUT_FLAGS}) != 0) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    const std::string& command = request[5];
    if (command.find_first_not_of(" \t") == std::string::npos || command.size() > kMaxCommand ||
        command.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    StoredJob job;
    job.jobTime = static_cast<DWORD>(jobTime);
    job.daysOfMonth = static_cast<DWORD>(daysOfMonth);
    job.daysOfWeek = static_cast<UCHAR>(daysOfWeek);
    job.flags = static_cast<UCHAR>(flags & (JOB_RUN_PERIODICALLY | JOB_NONINTERACTIVE));
    job.command = command;
    if (flags & JOB_ADD_CURRENT_DATE) {
        tm local{};
        localtime_r(&now, &local);
        job.daysOfMonth |= 1u << (local.tm_mday - 1);
    }
    bool notToday = (flags & JOB_NOT_TODAY) && job.daysOfMonth == 0 && job.daysOfWeek == 0;
    job.nextRun = NextRunTime(job.jobTime, job.daysOfMonth, job.daysOfWeek, now,
                              notToday ? FromDay::Skipped : FromDay::Included);
    if (!job.nextRun) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    auto id = m_store.Add(job);
    if (!id) {
        return Status(ERROR_CANTWRITE);
    }
    Log("added job %s as %u", job.command, *id);
    return {"0", std::to_string(*id)};
}

Frame CScheduleService::Enumerate(const Frame& request, time_t now) {
    uint64_t resume = 0;
    uint64_t prefMax = 0;
    if (request.size() != 3 || !ParseField(request[1], 0xFFFFFFFF, resume) ||
        !ParseField(request[2], 0xFFFFFFFF, prefMax)) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    std::vector<StoredJob> remaining;
    for (auto& job : m_store.All()) {
        if (job.id > resume && job.state == JobState::Scheduled) {
            remaining.push_back(std::move(job));
        }
    }
    Frame entries;
    size_t used = 0;
    size_t count = 0;
    DWORD lastId = static_cast<DWORD>(resume);
    for (const auto& job : remaining) {
        size_t size = sizeof(AT_ENUM) + (ToWide(job.command).size() + 1) * sizeof(WCHAR);
        if (count > 0 && used + size > prefMax) {
            break;
        }
        used += size;
        ++count;
        lastId = job.id;
        UCHAR flags = job.flags;
        if (job.nextRun && SameLocalDay(*job.nextRun, now)) {
            flags |= JOB_RUNS_TODAY;
        }
        for (auto value : {job.id, job.jobTime, job.daysOfMonth, DWORD{job.daysOfWeek}, DWORD{flags}}) {
            entries.push_back(std::to_string(value));
        }
        entries.push_back(job.command);
    }
    DWORD status = count < remaining.size() ? ERROR_MORE_DATA : NERR_Success;
    Frame reply{std::to_string(status), std::to_string(remaining.size()), std::to_string(lastId),
                std::to_string(count)};
    reply.insert(reply.end(), entries.begin(), entries.end());
    return reply;
}

Frame CScheduleService::Delete(const Frame& request) {
    uint64_t minId = 0;
    uint64_t maxId = 0;
    if (request.size() != 3 || !ParseField(request[1], 0xFFFFFFFF, minId) ||
        !ParseField(request[2], 0xFFFFFFFF, maxId) || minId > maxId) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    int removed = m_store.Remove(static_cast<DWORD>(minId), static_cast<DWORD>(maxId));
    if (removed < 0) {
        return Status(ERROR_CANTWRITE);
    }
    return Status(removed == 0 ? NERR_JobNotFound : NERR_Success);
}

std::optional<time_t> CScheduleService::NextDue() {
    std::optional<time_t> earliest;
    for (const auto& job : m_store.All()) {
        if (job.state == JobState::Scheduled && job.nextRun && (!earliest || *job.nextRun < *earliest)) {
            earliest = job.nextRun;
        }
    }
    return earliest;
}

int CScheduleService::RunDueJobs(time_t now) {
    int started = 0;
    for (auto job : m_store.All()) {
        if (job.state != JobState::Scheduled || !job.nextRun || *job.nextRun > now) {
            continue;
        }
        time_t due = *job.nextRun;
        if (now - due > kLateLimit) {
            Log("missed the run of job %s (%u)", job.command, job.id);
            job.nextRun = NextRunTime(job.jobTime, job.daysOfMonth, job.daysOfWeek, now);
            m_store.Update(job);
            continue;
        }
        StoredJob claimed = job;
        bool periodic = job.flags & JOB_RUN_PERIODICALLY;
        if (periodic) {
            claimed.nextRun = NextRunTime(job.jobTime, job.daysOfMonth, job.daysOfWeek, std::max(now, due));
        } else {
            if (job.daysOfMonth != 0 || job.daysOfWeek != 0) {
                // A one-shot job with days runs once on each of them.
                tm local{};
                localtime_r(&due, &local);
                claimed.daysOfWeek &= static_cast<UCHAR>(~(1u << ((local.tm_wday + 6) % 7)));
                claimed.daysOfMonth &= ~(1u << (local.tm_mday - 1));
            }
            if (claimed.daysOfMonth != 0 || claimed.daysOfWeek != 0) {
                claimed.nextRun = NextRunTime(claimed.jobTime, claimed.daysOfMonth, claimed.daysOfWeek, now);
            } else {
                claimed.state = JobState::Starting;
            }
        }
        // The claim is on disk before the program starts: a crash after it can
        // lose this one run, but never repeat it.
        if (!m_store.Update(claimed)) {
            Log("cannot record the run of job %s (%u); not started", job.command, job.id);
            continue;
        }
        bool launched = Launch(job);
        started += launched ? 1 : 0;
        if (claimed.state == JobState::Starting && launched) {
            m_store.Remove(job.id, job.id);
            continue;
        }
        if (claimed.state == JobState::Starting) {
            // Kept, without further runs, so that its error stays visible.
            claimed.state = JobState::Scheduled;
            claimed.nextRun.reset();
        }
        UCHAR flags = launched ? (claimed.flags & ~JOB_EXEC_ERROR) : (claimed.flags | JOB_EXEC_ERROR);
        if (flags != claimed.flags || !claimed.nextRun) {
            claimed.flags = flags;
            m_store.Update(claimed);
        }
    }
    return started;
}

bool CScheduleService::Launch(const StoredJob& job) {
    bool interactive = !(job.flags & JOB_NONINTERACTIVE) && !m_userDisplay.empty() && InteractiveService();
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0) {
            variables.emplace_back(*e);
        }
    }
    if (interactive) {
        variables.push_back("DISPLAY=" + m_userDisplay);
    }
    std::string block = MakeEnvironmentBlock(variables);
    std::string line = job.command;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, block.data(), nullptr,
                        &startup, &info)) {
        Log("cannot start job %s (%u)", job.command, job.id);
        return false;
    }
    Log("started job %s (%u)", job.command, job.id);
    m_children.push_back(info.hProcess);
    return true;
}

void CScheduleService::ReapChildren() {
    std::erase_if(m_children, [](HANDLE h) {
        if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) {
            return false;
        }
        CloseHandle(h);
        return true;
    });
}

}  // namespace tarvo::platform
