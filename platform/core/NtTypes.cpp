// NtTypes.cpp --- status names, status-to-error mapping, the last error and error texts.
#include "platform/core/NtTypes.h"

#include <cstdio>

namespace tarvo::platform {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;

struct StatusRow {
    NTSTATUS status;
    const char* name;
    DWORD error;
};

constexpr StatusRow kStatusRows[] = {
    {STATUS_SUCCESS, "STATUS_SUCCESS", ERROR_SUCCESS},
    {STATUS_PENDING, "STATUS_PENDING", ERROR_IO_PENDING},
    {STATUS_BUFFER_OVERFLOW, "STATUS_BUFFER_OVERFLOW", ERROR_MORE_DATA},
    {STATUS_NO_MORE_FILES, "STATUS_NO_MORE_FILES", ERROR_NO_MORE_FILES},
    {STATUS_UNSUCCESSFUL, "STATUS_UNSUCCESSFUL", ERROR_GEN_FAILURE},
    {STATUS_NOT_IMPLEMENTED, "STATUS_NOT_IMPLEMENTED", ERROR_INVALID_FUNCTION},
    {STATUS_INVALID_HANDLE, "STATUS_INVALID_HANDLE", ERROR_INVALID_HANDLE},
    {STATUS_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER", ERROR_INVALID_PARAMETER},
    {STATUS_NO_SUCH_DEVICE, "STATUS_NO_SUCH_DEVICE", ERROR_NOT_READY},
    {STATUS_INVALID_DEVICE_REQUEST, "STATUS_INVALID_DEVICE_REQUEST", ERROR_INVALID_FUNCTION},
    {STATUS_END_OF_FILE, "STATUS_END_OF_FILE", 38},
    {STATUS_NO_MEMORY, "STATUS_NO_MEMORY", ERROR_NOT_ENOUGH_MEMORY},
    {STATUS_ALREADY_COMMITTED, "STATUS_ALREADY_COMMITTED", ERROR_ACCESS_DENIED},
    {STATUS_ACCESS_DENIED, "STATUS_ACCESS_DENIED", ERROR_ACCESS_DENIED},
    {STATUS_BUFFER_TOO_SMALL, "STATUS_BUFFER_TOO_SMALL", ERROR_INSUFFICIENT_BUFFER},
    {STATUS_DISK_CORRUPT_ERROR, "STATUS_DISK_CORRUPT_ERROR", ERROR_DISK_CORRUPT},
    {STATUS_OBJECT_NAME_INVALID, "STATUS_OBJECT_NAME_INVALID", ERROR_INVALID_NAME},
    {STATUS_OBJECT_NAME_NOT_FOUND, "STATUS_OBJECT_NAME_NOT_FOUND", ERROR_FILE_NOT_FOUND},
    {STATUS_OBJECT_PATH_NOT_FOUND, "STATUS_OBJECT_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND},
    {STATUS_SHARING_VIOLATION, "STATUS_SHARING_VIOLATION", ERROR_SHARING_VIOLATION},
    {STATUS_DELETE_PENDING, "STATUS_DELETE_PENDING", ERROR_ACCESS_DENIED},
    {STATUS_DISK_FULL, "STATUS_DISK_FULL", ERROR_DISK_FULL},
    {STATUS_MEDIA_WRITE_PROTECTED, "STATUS_MEDIA_WRITE_PROTECTED", ERROR_WRITE_PROTECT},
    {STATUS_FILE_IS_A_DIRECTORY, "STATUS_FILE_IS_A_DIRECTORY", ERROR_ACCESS_DENIED},
    {STATUS_NOT_SUPPORTED, "STATUS_NOT_SUPPORTED", ERROR_NOT_SUPPORTED},
    {STATUS_FILE_CORRUPT_ERROR, "STATUS_FILE_CORRUPT_ERROR", ERROR_FILE_CORRUPT},
    {STATUS_UNRECOGNIZED_VOLUME, "STATUS_UNRECOGNIZED_VOLUME", ERROR_UNRECOGNIZED_VOLUME},
    {STATUS_IO_DEVICE_ERROR, "STATUS_IO_DEVICE_ERROR", ERROR_IO_DEVICE},
};

struct ErrorText {
    DWORD error;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command."},
    {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format."},
    {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_BAD_NETPATH, "The network path was not found."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_UNRECOGNIZED_VOLUME, "The volume does not contain a recognized file system."},
    {ERROR_FILE_CORRUPT, "The file or directory is corrupted and unreadable."},
    {ERROR_DISK_CORRUPT, "The disk structure is corrupted and unreadable."},
    {ERROR_BADDB, "The configuration registry database is corrupt."},
    {ERROR_BADKEY, "The configuration registry key is invalid."},
    {ERROR_CANTOPEN, "The configuration registry key could not be opened."},
    {ERROR_CANTREAD, "The configuration registry key could not be read."},
    {ERROR_CANTWRITE, "The configuration registry key could not be written."},
    {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
    {ERROR_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start or control request in a timely fashion."},
    {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
    {ERROR_INVALID_SERVICE_ACCOUNT,
     "The account name is invalid or does not exist, or the password is invalid for the account name specified."},
    {ERROR_SERVICE_DISABLED,
     "The service cannot be started, either because it is disabled or because it has no enabled devices "
     "associated with it."},
    {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
    {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
};
}  // namespace

DWORD NtStatusToWin32Error(NTSTATUS status) {
    for (const auto& row : kStatusRows) {
        if (row.status == status) {
            return row.error;
        }
    }
    return ERROR_GEN_FAILURE;
}

const char* NtStatusName(NTSTATUS status) {
    for (const auto& row : kStatusRows) {
        if (row.status == status) {
            return row.name;
        }
    }
    thread_local char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<uint32_t>(status));
    return buffer;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

const char* Win32ErrorText(DWORD error) {
    for (const auto& row : kErrorTexts) {
        if (row.error == error) {
            return row.text;
        }
    }
    return "Unknown error.";
}

}  // namespace tarvo::platform
