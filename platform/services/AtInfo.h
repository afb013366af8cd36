// AtInfo.h --- the AT job records and status codes of the job service, and the wide text they carry.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

using UCHAR = uint8_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBYTE = BYTE*;
using NET_API_STATUS = DWORD;

constexpr NET_API_STATUS NERR_Success = 0;
constexpr NET_API_STATUS NERR_JobNotFound = 2151;
// "The service has not been started": the answer while the Schedule service is stopped.
constexpr NET_API_STATUS NERR_ServiceNotInstalled = 2184;
constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFF;

// Input flags a client sets.
constexpr UCHAR JOB_RUN_PERIODICALLY = 0x01;
constexpr UCHAR JOB_ADD_CURRENT_DATE = 0x08;
constexpr UCHAR JOB_NONINTERACTIVE = 0x10;
// Our service's own input flag: a job without days that must not run on the
// day it is added (the scheduler's "Tomorrow"). It is never reported back.
constexpr UCHAR JOB_NOT_TODAY = 0x20;
constexpr UCHAR JOB_INPUT_FLAGS = JOB_RUN_PERIODICALLY | JOB_ADD_CURRENT_DATE | JOB_NONINTERACTIVE | JOB_NOT_TODAY;
// Output flags the service reports.
constexpr UCHAR JOB_EXEC_ERROR = 0x02;
constexpr UCHAR JOB_RUNS_TODAY = 0x04;

// One job as a client adds it: the time in milliseconds after local midnight,
// day-of-month bits (bit 0 the 1st), day-of-week bits (bit 0 Monday), flags, command.
struct AT_INFO {
    DWORD JobTime;
    DWORD DaysOfMonth;
    UCHAR DaysOfWeek;
    UCHAR Flags;
    LPWSTR Command;
};

// One job as the enumeration reports it.
struct AT_ENUM {
    DWORD JobId;
    DWORD JobTime;
    DWORD DaysOfMonth;
    UCHAR DaysOfWeek;
    UCHAR Flags;
    LPWSTR Command;
};

// UTF-8 and UTF-16 conversions for the wide texts of these records.
std::u16string ToWide(const std::string& text);
std::string FromWide(LPCWSTR text);
std::string FromWide(const std::u16string& text);

}  // namespace tarvo::platform
