// CommandAt.cpp --- `tarvoctl at`: lists, adds and deletes AT jobs as the classic at command does.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/process/PathResolver.h"
#include "platform/services/NetSchedule.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

namespace {

using namespace tarvo::platform;

const char* const kWeekDays[] = {"M", "T", "W", "Th", "F", "S", "Su"};

int Usage() {
    std::fprintf(stderr,
                 "The syntax of this command is:\n\n"
                 "AT [\\\\computername] [ [id] [/DELETE] | /DELETE [/YES]]\n"
                 "AT [\\\\computername] time [/INTERACTIVE]\n"
                 "    [ /EVERY:date[,...] | /NEXT:date[,...]] \"command\"\n");
    return 1;
}

int Report(NET_API_STATUS status) {
    switch (status) {
    case NERR_ServiceNotInstalled: std::fprintf(stderr, "The service has not been started.\n"); break;
    case NERR_JobNotFound: std::fprintf(stderr, "The AT job ID does not exist.\n"); break;
    case ERROR_BAD_NETPATH: std::fprintf(stderr, "The network path was not found.\n"); break;
    default: std::fprintf(stderr, "System error %u has occurred.\n\n%s\n", status, Win32ErrorText(status)); break;
    }
    return 1;
}

std::string Days(const AT_ENUM& job) {
    std::string out;
    if (job.Flags & JOB_RUN_PERIODICALLY) {
        out = "Each";
    } else if (job.DaysOfWeek != 0 || job.DaysOfMonth != 0) {
        out = "Next";
    } else {
        return (job.Flags & JOB_RUNS_TODAY) ? "Today" : "Tomorrow";
    }
    for (int i = 0; i < 7; ++i) {
        if (job.DaysOfWeek & (1u << i)) {
            out += std::string(" ") + kWeekDays[i];
        }
    }
    for (int i = 0; i < 31; ++i) {
        if (job.DaysOfMonth & (1u << i)) {
            out += " " + std::to_string(i + 1);
        }
    }
    return out;
}

std::string TimeText(DWORD jobTime) {
    DWORD minutes = jobTime / 60000;
    DWORD hour = minutes / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%u:%02u %s", hour % 12 == 0 ? 12 : hour % 12, minutes % 60,
                  hour < 12 ? "AM" : "PM");
    return text;
}

// Every job, read batch by batch; answers the failing status when it cannot.
NET_API_STATUS ReadJobs(LPCWSTR server, std::vector<AT_ENUM>& jobs, std::vector<std::string>& commands) {
    DWORD resume = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetScheduleJobEnum(server, &buffer, 4096, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            return status;
        }
        auto* entries = reinterpret_cast<AT_ENUM*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            jobs.push_back(entries[i]);
            commands.push_back(FromWide(entries[i].Command));
        }
        NetApiBufferFree(buffer);
    }
    return NERR_Success;
}

// hh:mm (24 hours) or h:mm followed by AM/PM (or A/P).
bool ParseTime(std::string text, DWORD& jobTime) {
    for (auto& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    int hour = -1;
    int minute = -1;
    char suffix[4] = {};
    int n = std::sscanf(text.c_str(), "%2d:%2d%3s", &hour, &minute, suffix);
    if (n < 2 || hour < 0 || minute < 0 || minute > 59) {
        return false;
    }
    std::string s = n == 3 ? suffix : "";
    if (s == "PM" || s == "P") {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + 12;
    } else if (s == "AM" || s == "A") {
        if (hour < 1 || hour > 12) return false;
        hour %= 12;
    } else if (!s.empty() || hour > 23) {
        return false;
    }
    jobTime = static_cast<DWORD>((hour * 60 + minute) * 60000);
    return true;
}

bool ParseDates(const std::string& list, DWORD& daysOfMonth, UCHAR& daysOfWeek) {
    size_t i = 0;
    while (i <= list.size()) {
        size_t j = list.find(',', i);
        std::string item = list.substr(i, j == std::string::npos ? std::string::npos : j - i);
        bool known = false;
        for (int d = 0; d < 7; ++d) {
            if (EqualsIgnoreCase(item, kWeekDays[d])) {
                daysOfWeek |= static_cast<UCHAR>(1u << d);
                known = true;
            }
        }
        if (!known) {
            if (item.empty() || item.size() > 2 || item.find_first_not_of("0123456789") != std::string::npos) {
                return false;
            }
            int day = std::stoi(item);
            if (day < 1 || day > 31) {
                return false;
            }
            daysOfMonth |= 1u << (day - 1);
        }
        if (j == std::string::npos) {
            break;
        }
        i = j + 1;
    }
    return true;
}

bool IsDelete(const std::string& word) { return EqualsIgnoreCase(word, "/delete") || EqualsIgnoreCase(word, "/del"); }

int List(LPCWSTR server) {
    std::vector<AT_ENUM> jobs;
    std::vector<std::string> commands;
    if (NET_API_STATUS status = ReadJobs(server, jobs, commands); status != NERR_Success) {
        return Report(status);
    }
    if (jobs.empty()) {
        std::printf("There are no entries in the list.\n");
        return 0;
    }
    std::printf("Status ID   Day                     Time          Command Line\n");
    std::printf("-------------------------------------------------------------------------------\n");
    for (size_t i = 0; i < jobs.size(); ++i) {
        std::printf("%-6s %-4u %-23s %-13s %s\n", (jobs[i].Flags & JOB_EXEC_ERROR) ? "ERROR" : "", jobs[i].JobId,
                    Days(jobs[i]).c_str(), TimeText(jobs[i].JobTime).c_str(), commands[i].c_str());
    }
    return 0;
}

int Show(LPCWSTR server, DWORD id) {
    std::vector<AT_ENUM> jobs;
    std::vector<std::string> commands;
    if (NET_API_STATUS status = ReadJobs(server, jobs, commands); status != NERR_Success) {
        return Report(status);
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].JobId == id) {
            std::printf("Task ID:        %u\n", id);
            std::printf("Status:         %s\n", (jobs[i].Flags & JOB_EXEC_ERROR) ? "ERROR" : "OK");
            std::printf("Schedule:       %s\n", Days(jobs[i]).c_str());
            std::printf("Time of day:    %s\n", TimeText(jobs[i].JobTime).c_str());
            std::printf("Interactive:    %s\n", (jobs[i].Flags & JOB_NONINTERACTIVE) ? "No" : "Yes");
            std::printf("Command:        %s\n", commands[i].c_str());
            return 0;
        }
    }
    return Report(NERR_JobNotFound);
}

bool ParseId(const std::string& word, DWORD& id) {
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    id = static_cast<DWORD>(std::stoul(word));
    return true;
}

int RunAt(const Arguments& input) {
    Arguments args = input;
    std::u16string serverText;
    LPCWSTR server = nullptr;
    if (!args.empty() && args[0].rfind("\\\\", 0) == 0) {
        serverText = ToWide(args[0]);
        server = serverText.c_str();
        args.erase(args.begin());
    }
    if (args.empty()) {
        return List(server);
    }
    DWORD id = 0;
    if (ParseId(args[0], id)) {
        if (args.size() == 1) {
            return Show(server, id);
        }
        if (args.size() == 2 && IsDelete(args[1])) {
            NET_API_STATUS status = NetScheduleJobDel(server, id, id);
            return status == NERR_Success ? 0 : Report(status);
        }
        return Usage();
    }
    if (IsDelete(args[0])) {
        bool yes = args.size() == 2 && EqualsIgnoreCase(args[1], "/yes");
        if (args.size() > 2 || (args.size() == 2 && !yes)) {
            return Usage();
        }
        if (!yes) {
            std::printf("This operation will delete all scheduled jobs.\nDo you want to continue this operation? "
                        "(Y/N) [N]: ");
            std::fflush(stdout);
            std::string answer;
            if (!std::getline(std::cin, answer)) {
                std::printf("\n");  // no answer at the end of the input: the default, No
            }
            if (answer.empty() || (answer[0] != 'y' && answer[0] != 'Y')) {
                return 0;
            }
        }
        NET_API_STATUS status = NetScheduleJobDel(server, 0, 0xFFFFFFFF);
        return status == NERR_Success || status == NERR_JobNotFound ? 0 : Report(status);
    }
    AT_INFO info{};
    if (!ParseTime(args[0], info.JobTime)) {
        return Usage();
    }
    UCHAR flags = JOB_NONINTERACTIVE;
    size_t i = 1;
    bool datesGiven = false;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '/'; ++i) {
        const std::string& option = args[i];
        auto value = [&](const char* prefix) {
            std::string p = prefix;
            return option.size() > p.size() && EqualsIgnoreCase(option.substr(0, p.size()), p)
                       ? option.substr(p.size())
                       : std::string();
        };
        if (EqualsIgnoreCase(option, "/interactive")) {
            flags &= static_cast<UCHAR>(~JOB_NONINTERACTIVE);
        } else if (std::string v = value("/every:"); !v.empty() && !datesGiven) {
            datesGiven = true;
            flags |= JOB_RUN_PERIODICALLY;
            if (!ParseDates(v, info.DaysOfMonth, info.DaysOfWeek)) return Usage();
        } else if (std::string w = value("/next:"); !w.empty() && !datesGiven) {
            datesGiven = true;
            if (!ParseDates(w, info.DaysOfMonth, info.DaysOfWeek)) return Usage();
        } else {
            return Usage();
        }
    }
    std::string command;
    for (; i < args.size(); ++i) {
        command += (command.empty() ? "" : " ") + args[i];
    }
    if (command.empty()) {
        return Usage();
    }
    info.Flags = flags;
    std::u16string wide = ToWide(command);
    info.Command = wide.data();
    DWORD jobId = 0;
    NET_API_STATUS status = NetScheduleJobAdd(server, reinterpret_cast<LPBYTE>(&info), &jobId);
    if (status != NERR_Success) {
        return Report(status);
    }
    std::printf("Added a new job with job ID = %u\n", jobId);
    return 0;
}

CommandRegistration g_at{{"at", "at [ID [/delete] | /delete [/yes] | TIME [/interactive] [/every:|/next:d,...] CMD]",
                          "lists, adds and deletes the jobs of the Schedule service", RunAt}};

}  // namespace
}  // namespace tarvo::tools
