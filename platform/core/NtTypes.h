// NtTypes.h --- the Windows NT scalar types, status codes and constants our platform layer speaks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo::platform {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using BOOL = int;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using NTSTATUS = int32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// A 64-bit value with the halves the Win32 structures expose.
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
static_assert(sizeof(LARGE_INTEGER) == 8);

// 100-ns intervals since 1601-01-01 UTC, as the NT file times are kept.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// NT status codes. Written as the unsigned hex the documentation prints.
constexpr NTSTATUS NtStatus(uint32_t code) { return static_cast<NTSTATUS>(code); }
constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_PENDING = NtStatus(0x00000103);
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = NtStatus(0x80000005);
constexpr NTSTATUS STATUS_NO_MORE_FILES = NtStatus(0x80000006);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = NtStatus(0xC0000001);
constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = NtStatus(0xC0000002);
constexpr NTSTATUS STATUS_INVALID_HANDLE = NtStatus(0xC0000008);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = NtStatus(0xC000000D);
constexpr NTSTATUS STATUS_NO_SUCH_DEVICE = NtStatus(0xC000000E);
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = NtStatus(0xC0000010);
constexpr NTSTATUS STATUS_END_OF_FILE = NtStatus(0xC0000011);
constexpr NTSTATUS STATUS_NO_MEMORY = NtStatus(0xC0000017);
constexpr NTSTATUS STATUS_ALREADY_COMMITTED = NtStatus(0xC0000021);
constexpr NTSTATUS STATUS_ACCESS_DENIED = NtStatus(0xC0000022);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = NtStatus(0xC0000023);
constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = NtStatus(0xC0000033);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = NtStatus(0xC0000034);
constexpr NTSTATUS STATUS_OBJECT_PATH_NOT_FOUND = NtStatus(0xC000003A);
constexpr NTSTATUS STATUS_SHARING_VIOLATION = NtStatus(0xC0000043);
constexpr NTSTATUS STATUS_DELETE_PENDING = NtStatus(0xC0000056);
constexpr NTSTATUS STATUS_DISK_FULL = NtStatus(0xC000007F);
constexpr NTSTATUS STATUS_MEDIA_WRITE_PROTECTED = NtStatus(0xC00000A2);
constexpr NTSTATUS STATUS_NOT_SUPPORTED = NtStatus(0xC00000BB);
constexpr NTSTATUS STATUS_FILE_IS_A_DIRECTORY = NtStatus(0xC00000BA);
constexpr NTSTATUS STATUS_FILE_CORRUPT_ERROR = NtStatus(0xC0000102);
constexpr NTSTATUS STATUS_DISK_CORRUPT_ERROR = NtStatus(0xC0000032);
constexpr NTSTATUS STATUS_IO_DEVICE_ERROR = NtStatus(0xC0000185);
constexpr NTSTATUS STATUS_UNRECOGNIZED_VOLUME = NtStatus(0xC000014F);

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

// File-system control codes.
constexpr ULONG FSCTL_GET_NTFS_VOLUME_DATA = 0x00090064;
constexpr ULONG FSCTL_GET_VOLUME_BITMAP = 0x0009006F;
constexpr ULONG FSCTL_GET_RETRIEVAL_POINTERS = 0x00090073;
constexpr ULONG FSCTL_MOVE_FILE = 0x00090074;

// Drive types answered by GetDriveTypeA.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// File attributes of directory entries.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_SPARSE_FILE = 0x00000200;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD FILE_ATTRIBUTE_COMPRESSED = 0x00000800;
constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED = 0x00004000;

// File-system flags of GetVolumeInformationA.
constexpr DWORD FILE_CASE_SENSITIVE_SEARCH = 0x00000001;
constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x00000002;
constexpr DWORD FILE_UNICODE_ON_DISK = 0x00000004;
constexpr DWORD FILE_PERSISTENT_ACLS = 0x00000008;
constexpr DWORD FILE_FILE_COMPRESSION = 0x00000010;
constexpr DWORD FILE_SUPPORTS_SPARSE_FILES = 0x00000040;
constexpr DWORD FILE_READ_ONLY_VOLUME = 0x00080000;

// Access rights, share modes, dispositions and flags of CreateFileA.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

// Win32 error codes (GetLastError) our layer sets.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_INVALID_DRIVE = 15;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_DISK_CORRUPT = 1393;
constexpr DWORD ERROR_FILE_CORRUPT = 1392;
constexpr DWORD ERROR_UNRECOGNIZED_VOLUME = 1005;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_INVALID_SERVICE_ACCOUNT = 1057;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_TIMEOUT = 1460;

// Wait results.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Maps an NT status to the Win32 error GetLastError would give for it.
DWORD NtStatusToWin32Error(NTSTATUS status);

// The name of a status ("STATUS_BUFFER_OVERFLOW"), or its hex form when unnamed.
const char* NtStatusName(NTSTATUS status);

// Per-thread last error, as GetLastError/SetLastError keep it.
DWORD GetLastError();
void SetLastError(DWORD error);

// The system's text for a Win32 error code (FormatMessageA from the system table).
const char* Win32ErrorText(DWORD error);

}  // namespace tarvo::platform
