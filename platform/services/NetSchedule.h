// NetSchedule.h --- the AT job calls, answered by the Schedule service over its local socket.
//
// serverName: null, empty or the local computer's name ("\\NAME"); any other
// server answers ERROR_BAD_NETPATH. While the service is not running every call
// answers NERR_ServiceNotInstalled (2184).
#pragma once

#include "platform/services/AtInfo.h"

namespace tarvo::platform {

// Adds a job; *jobId receives the id the service gave it. ERROR_INVALID_PARAMETER
// for a time past midnight, unknown flags, day bits out of range or an empty command.
NET_API_STATUS NetScheduleJobAdd(LPCWSTR serverName, LPBYTE buffer, DWORD* jobId);

// Deletes the jobs with ids from minJobId to maxJobId; NERR_JobNotFound when none was there.
NET_API_STATUS NetScheduleJobDel(LPCWSTR serverName, DWORD minJobId, DWORD maxJobId);

// Enumerates jobs in id order, in batches of about prefMaxLength bytes (at
// least one job each): ERROR_MORE_DATA while more follow (call again with the
// same resume handle, which starts at 0), NERR_Success with the last batch.
// *buffer holds *entriesRead AT_ENUM records and is released with NetApiBufferFree.
NET_API_STATUS NetScheduleJobEnum(LPCWSTR serverName, LPBYTE* buffer, DWORD prefMaxLength, DWORD* entriesRead,
                                  DWORD* totalEntries, DWORD* resumeHandle);

NET_API_STATUS NetApiBufferFree(void* buffer);

}  // namespace tarvo::platform
