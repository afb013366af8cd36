// Win32Files.h --- CreateFileA, NtFsControlFile and the other volume and file calls, over our backends.
//
// Paths are Windows paths: "\\.\D:" opens drive D's volume, "\\.\D:\DIR\F.TXT"
// (the device form) or "D:\DIR\F.TXT" (the plain form) one of its files. A
// drive letter is resolved through the drive mapping (Drives.h) to its backend.
// Failures set the per-thread last error (GetLastError), as Win32 does.
#pragma once

#include <ctime>
#include <string>

#include "platform/core/FsctlBuffers.h"
#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);

// Waits for a pending control call on the handle to complete (or any other
// waitable object of our layer). WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// The single entry of the control calls: FSCTL_GET_NTFS_VOLUME_DATA,
// FSCTL_GET_VOLUME_BITMAP, FSCTL_GET_RETRIEVAL_POINTERS, FSCTL_MOVE_FILE.
// Synchronous in form: event and APC must be null. When the answer is
// STATUS_PENDING, ioStatus is filled when WaitForSingleObject on the handle
// (the file handle, for retrieval pointers and moves) completes.
NTSTATUS NtFsControlFile(HANDLE handle, HANDLE event, void* apcRoutine, void* apcContext,
                         IO_STATUS_BLOCK* ioStatus, ULONG fsControlCode, void* inputBuffer,
                         ULONG inputLength, void* outputBuffer, ULONG outputLength);

// Makes every completed write of the volume (or of the file's volume) durable.
// The backend's answer: STATUS_SUCCESS, or the device failure it met
// (STATUS_IO_DEVICE_ERROR, STATUS_DISK_FULL), also in ioStatus.
NTSTATUS NtFlushBuffersFile(HANDLE handle, IO_STATUS_BLOCK* ioStatus);

BOOL GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maximumComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetDiskFreeSpaceA(const char* rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* numberOfFreeClusters, DWORD* totalNumberOfClusters);
UINT GetDriveTypeA(const char* rootPath);

// Directory listing: pattern "D:\DIR\*.*" (only "*.*" and "*" are supported as
// patterns). Subdirectories list "." and ".." first, as on Windows.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* findData);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* findData);
BOOL FindClose(HANDLE find);

// The file status query: last-write time in seconds since 1970 (UTC).
// Answers false when the path cannot be found.
bool GetFileModificationTime(const char* path, time_t& out);

// Conversions of NT file times.
time_t FileTimeToUnixTime(const FILETIME& fileTime);
FILETIME UnixTimeToFileTime(time_t seconds);

}  // namespace tarvo::platform
