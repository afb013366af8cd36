// NetSchedule.cpp --- the client side of the AT job calls.
#include "platform/services/NetSchedule.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/services/ComputerName.h"
#include "platform/services/ScheduleProtocol.h"

namespace tarvo::platform {

namespace {

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0';
}

DWORD ToDword(const std::string& text) {
    uint64_t v = 0;
    return ParseNumber(text, v) && v <= 0xFFFFFFFFu ? static_cast<DWORD>(v) : 0xFFFFFFFFu;
}

// Sends a request; answers the reply's status (its first field) or 2184 when unreachable.
NET_API_STATUS Call(LPCWSTR serverName, const Frame& request, Frame& reply) {
    if (serverName != nullptr && !IsLocalServerName(FromWide(serverName))) {
        return ERROR_BAD_NETPATH;
    }
    if (!CallScheduleService(request, reply) || reply.empty()) {
        return NERR_ServiceNotInstalled;
    }
    return ToDword(reply[0]);
}

}  // namespace

NET_API_STATUS NetScheduleJobAdd(LPCWSTR serverName, LPBYTE buffer, DWORD* jobId) {
    auto* info = reinterpret_cast<const AT_INFO*>(buffer);
    if (info == nullptr || jobId == nullptr || info->Command == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Frame reply;
    NET_API_STATUS status = Call(serverName,
                                 {"ADD", std::to_string(info->JobTime), std::to_string(info->DaysOfMonth),
                                  std::to_string(info->DaysOfWeek), std::to_string(info->Flags),
                                  FromWide(info->Command)},
                                 reply);
    if (status == NERR_Success) {
        if (reply.size() < 2) {
            return ERROR_INVALID_PARAMETER;
        }
        *jobId = ToDword(reply[1]);
    }
    return status;
}

NET_API_STATUS NetScheduleJobDel(LPCWSTR serverName, DWORD minJobId, DWORD maxJobId) {
    if (minJobId > maxJobId) {
        return ERROR_INVALID_PARAMETER;
    }
    Frame reply;
    return Call(serverName, {"DEL", std::to_string(minJobId), std::to_string(maxJobId)}, reply);
}

NET_API_STATUS NetScheduleJobEnum(LPCWSTR serverName, LPBYTE* buffer, DWORD prefMaxLength, DWORD* entriesRead,
                                  DWORD* totalEntries, DWORD* resumeHandle) {
    if (buffer == nullptr || entriesRead == nullptr || totalEntries == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *buffer = nullptr;
    *entriesRead = 0;
    *totalEntries = 0;
    Frame reply;
    NET_API_STATUS status = Call(serverName,
                                 {"ENUM", std::to_string(resumeHandle != nullptr ? *resumeHandle : 0),
                                  std::to_string(prefMaxLength)},
                                 reply);
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
        return status;
    }
    // Reply: status, total, resume, count, then six fields per job.
    if (reply.size() < 4) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD count = ToDword(reply[3]);
    if (count > 100000 || reply.size() != 4 + static_cast<size_t>(count) * 6) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::u16string> commands;
    size_t textBytes = 0;
    for (DWORD i = 0; i < count; ++i) {
        commands.push_back(ToWide(reply[4 + i * 6 + 5]));
        textBytes += (commands.back().size() + 1) * sizeof(WCHAR);
    }
    // One block: the records, then the texts they point to.
    size_t recordBytes = sizeof(AT_ENUM) * count;
    auto* block = static_cast<BYTE*>(std::calloc(1, recordBytes + textBytes + 1));
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* records = reinterpret_cast<AT_ENUM*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + recordBytes);
    for (DWORD i = 0; i < count; ++i) {
        const std::string* f = &reply[4 + i * 6];
        records[i].JobId = ToDword(f[0]);
        records[i].JobTime = ToDword(f[1]);
        records[i].DaysOfMonth = ToDword(f[2]);
        records[i].DaysOfWeek = static_cast<UCHAR>(ToDword(f[3]));
        records[i].Flags = static_cast<UCHAR>(ToDword(f[4]));
        records[i].Command = text;
        std::memcpy(text, commands[i].c_str(), (commands[i].size() + 1) * sizeof(WCHAR));
        text += commands[i].size() + 1;
    }
    *buffer = block;
    *entriesRead = count;
    *totalEntries = ToDword(reply[1]);
    if (resumeHandle != nullptr) {
        *resumeHandle = status == ERROR_MORE_DATA ? ToDword(reply[2]) : 0;
    }
    return status;
}

NET_API_STATUS NetApiBufferFree(void* buffer) {
    std::free(buffer);
    return NERR_Success;
}

}  // namespace tarvo::platform
