// Win32Files.cpp --- CreateFileA, NtFsControlFile, directory listing and volume queries over the drive backends.
#include "platform/drives/Win32Files.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/core/HandleObject.h"
#include "platform/drives/Drives.h"

namespace tarvo::platform {

namespace {
constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// A control call answered STATUS_PENDING: its I/O status block is filled when
// the caller waits on the handle.
class PendingIo {
public:
    void Start(IO_STATUS_BLOCK* block, NTSTATUS status, uintptr_t information) {
        std::lock_guard lock(m_mutex);
        m_block = block;
        m_status = status;
        m_information = information;
    }
    DWORD Complete() {
        std::lock_guard lock(m_mutex);
        if (m_block != nullptr) {
            m_block->Status = m_status;
            m_block->Information = m_information;
            m_block = nullptr;
        }
        return WAIT_OBJECT_0;
    }

private:
    std::mutex m_mutex;
    IO_STATUS_BLOCK* m_block = nullptr;
    NTSTATUS m_status = STATUS_SUCCESS;
    uintptr_t m_information = 0;
};

struct VolumeHandle : HandleObject {
    std::shared_ptr<VolumeBackend> backend;
    char letter = 0;
    bool holdsLetter = false;  // the letter answers this backend while the handle is open
    PendingIo pending;
    DWORD Wait(DWORD) override { return pending.Complete(); }
    void OnClose() override {
        pending.Complete();
        backend->Flush();
        if (holdsLetter) UnholdDrive(letter);
    }
};

struct FileHandle : HandleObject {
    std::shared_ptr<VolumeBackend> backend;
    FileId id = 0;
    PendingIo pending;
    DWORD Wait(DWORD) override { return pending.Complete(); }
    void OnClose() override { pending.Complete(); }
};

bool MatchesPattern(const std::string& pattern, const std::string& name, const std::string& shortName);
WIN32_FIND_DATAA ToFindData(const DirectoryEntry& entry, const std::string& name);

// A search: "." and ".." first, then the listing's entries that match, each
// turned into find data only when it is asked for.
struct FindHandle : HandleObject {
    std::vector<WIN32_FIND_DATAA> dots;
    std::shared_ptr<const std::vector<DirectoryEntry>> listing;
    std::string wanted;
    size_t nextDot = 0;
    size_t next = 0;

    bool Next(WIN32_FIND_DATAA& out) {
        if (nextDot < dots.size()) {
            out = dots[nextDot++];
            return true;
        }
        while (next < listing->size()) {
            const DirectoryEntry& entry = (*listing)[next++];
            if (MatchesPattern(wanted, entry.name, entry.shortName)) {
                out = ToFindData(entry, entry.name);
                return true;
            }
        }
        return false;
    }
};

// A Windows path split into its drive and its volume-relative part.
struct ParsedPath {
    char letter = 0;
    bool deviceForm = false;
    bool volumeOnly = false;  // "\\.\D:" itself
    std::string relative;     // "DIR\F.TXT", "" for the root
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool ParsePath(const char* text, ParsedPath& out) {
    if (text == nullptr) {
        return false;
    }
    std::string_view path(text);
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '.' && IsSeparator(path[3])) {
        out.deviceForm = true;
        path.remove_prefix(4);
    }
    if (path.size() < 2 || path[1] != ':' || ParseDriveLetter(path.substr(0, 2)) == 0) {
        return false;
    }
    out.letter = ParseDriveLetter(path.substr(0, 2));
    if (path.size() == 2) {
        out.volumeOnly = out.deviceForm;
        return true;
    }
    if (!IsSeparator(path[2])) {
        return false;  // "D:FILE", relative to a current directory we do not keep
    }
    out.relative.assign(path.substr(3));
    std::replace(out.relative.begin(), out.relative.end(), '/', '\\');
    while (!out.relative.empty() && out.relative.back() == '\\') {
        out.relative.pop_back();
    }
    return true;
}

std::shared_ptr<VolumeBackend> BackendOf(char letter, NTSTATUS& status) {
    std::string error;
    return OpenDriveBackend(letter, status, error);
}

void Fail(NTSTATUS status) { SetLastError(NtStatusToWin32Error(status)); }

void CopyName(char* out, size_t room, const std::string& name) {
    size_t n = std::min(room - 1, name.size());
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
}

WIN32_FIND_DATAA ToFindData(const DirectoryEntry& entry, const std::string& name) {
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = entry.attributes;
    data.ftLastWriteTime = entry.lastWriteTime;
    data.ftCreationTime = entry.lastWriteTime;
    data.ftLastAccessTime = entry.lastWriteTime;
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    CopyName(data.cFileName, sizeof data.cFileName, name);
    CopyName(data.cAlternateFileName, sizeof data.cAlternateFileName, entry.shortName);
    return data;
}

bool MatchesPattern(const std::string& pattern, const std::string& name, const std::string& shortName) {
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    auto equal = [](const std::string& a, const std::string& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
               });
    };
    return equal(pattern, name) || (!shortName.empty() && equal(pattern, shortName));
}

// Completes one control call: a pending answer parks its completion on `waitOn`.
NTSTATUS Answer(const FsctlResult& result, IO_STATUS_BLOCK* ioStatus, PendingIo& waitOn) {
    if (result.status == STATUS_PENDING) {
        ioStatus->Status = STATUS_PENDING;
        ioStatus->Information = 0;
        waitOn.Start(ioStatus, result.completionStatus, result.bytesReturned);
        return STATUS_PENDING;
    }
    ioStatus->Status = result.status;
    ioStatus->Information = result.bytesReturned;
    return result.status;
}
}  // namespace

time_t FileTimeToUnixTime(const FILETIME& fileTime) {
    uint64_t ticks = (uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
    if (ticks < kUnixEpochAsFileTime) {
        return 0;
    }
    return static_cast<time_t>((ticks - kUnixEpochAsFileTime) / 10000000ull);
}

FILETIME UnixTimeToFileTime(time_t seconds) {
    uint64_t ticks = kUnixEpochAsFileTime + static_cast<uint64_t>(seconds < 0 ? 0 : seconds) * 10000000ull;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
    (void)securityAttributes;
    (void)templateFile;
    ParsedPath path;
    if (!ParsePath(fileName, path)) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (creationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);  // volumes are opened, never created; files are never written
        return INVALID_HANDLE_VALUE;
    }
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    if (!backend) {
        Fail(status == STATUS_OBJECT_NAME_NOT_FOUND ? STATUS_OBJECT_NAME_NOT_FOUND : status);
        return INVALID_HANDLE_VALUE;
    }
    if (path.volumeOnly) {
        auto handle = std::make_shared<VolumeHandle>();
        handle->backend = std::move(backend);
        handle->letter = path.letter;
        handle->holdsLetter = HoldDrive(path.letter, handle->backend);
        return RegisterHandle(std::move(handle));
    }
    if (!path.deviceForm && path.relative.empty() && fileName[2] == '\0') {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    FileOpenRequest request{desiredAccess, shareMode, flagsAndAttributes, path.deviceForm};
    FileId id = 0;
    status = backend->OpenFile(path.relative, request, id);
    if (status != STATUS_SUCCESS) {
        Fail(status);
        return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_shared<FileHandle>();
    handle->backend = std::move(backend);
    handle->id = id;
    return RegisterHandle(std::move(handle));
}

NTSTATUS NtFlushBuffersFile(HANDLE handle, IO_STATUS_BLOCK* ioStatus) {
    if (ioStatus == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto object = LookupHandle(handle);
    auto volume = std::dynamic_pointer_cast<VolumeHandle>(object);
    auto file = std::dynamic_pointer_cast<FileHandle>(object);
    if (!volume && !file) {
        return STATUS_INVALID_HANDLE;
    }
    const NTSTATUS status = (volume ? volume->backend : file->backend)->Flush();
    ioStatus->Status = status;
    ioStatus->Information = 0;
    return status;
}

NTSTATUS NtFsControlFile(HANDLE handle, HANDLE event, void* apcRoutine, void* apcContext, IO_STATUS_BLOCK* ioStatus,
                         ULONG fsControlCode, void* inputBuffer, ULONG inputLength, void* outputBuffer,
                         ULONG outputLength) {
    (void)apcContext;
    if (event != nullptr || apcRoutine != nullptr || ioStatus == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const auto object = LookupHandle(handle);  // keeps the handle's object alive for the call
    auto* volume = dynamic_cast<VolumeHandle*>(object.get());
    auto* file = volume == nullptr ? dynamic_cast<FileHandle*>(object.get()) : nullptr;
    if (!volume && !file) {
        return STATUS_INVALID_HANDLE;
    }
    VolumeBackend& backend = volume ? *volume->backend : *file->backend;
    PendingIo& own = volume ? volume->pending : file->pending;
    auto fail = [&](NTSTATUS status) {
        ioStatus->Status = status;
        ioStatus->Information = 0;
        return status;
    };
    switch (fsControlCode) {
        case FSCTL_GET_NTFS_VOLUME_DATA: {
            if (outputBuffer == nullptr || outputLength < sizeof(NTFS_VOLUME_DATA_BUFFER)) {
                return fail(STATUS_BUFFER_TOO_SMALL);
            }
            NTFS_VOLUME_DATA_BUFFER data{};
            FsctlResult result = backend.GetNtfsVolumeData(data);
            if (NT_SUCCESS(result.status)) {
                std::memcpy(outputBuffer, &data, sizeof data);
            }
            return Answer(result, ioStatus, own);
        }
        case FSCTL_GET_VOLUME_BITMAP: {
            if (!volume || inputBuffer == nullptr || inputLength < sizeof(STARTING_LCN_INPUT_BUFFER)) {
                return fail(STATUS_INVALID_PARAMETER);
            }
            STARTING_LCN_INPUT_BUFFER input;
            std::memcpy(&input, inputBuffer, sizeof input);
            if (input.StartingLcn.QuadPart < 0) {
                return fail(STATUS_INVALID_PARAMETER);
            }
            if (outputBuffer == nullptr || outputLength < kVolumeBitmapHeaderSize) {
                return fail(STATUS_BUFFER_TOO_SMALL);
            }
            return Answer(backend.GetVolumeBitmap(static_cast<Lcn>(input.StartingLcn.QuadPart), outputBuffer, outputLength),
                          ioStatus, own);
        }
        case FSCTL_GET_RETRIEVAL_POINTERS: {
            if (!file || inputBuffer == nullptr || inputLength < sizeof(STARTING_VCN_INPUT_BUFFER)) {
                return fail(STATUS_INVALID_PARAMETER);
            }
            STARTING_VCN_INPUT_BUFFER input;
            std::memcpy(&input, inputBuffer, sizeof input);
            if (input.StartingVcn.QuadPart < 0) {
                return fail(STATUS_INVALID_PARAMETER);
            }
            if (outputBuffer == nullptr || outputLength < sizeof(RETRIEVAL_POINTERS_BUFFER)) {
                return fail(STATUS_BUFFER_TOO_SMALL);
            }
            return Answer(backend.GetRetrievalPointers(file->id, static_cast<Vcn>(input.StartingVcn.QuadPart),
                                                       outputBuffer, outputLength),
                          ioStatus, own);
        }
        case FSCTL_MOVE_FILE: {
            if (!volume || inputBuffer == nullptr || inputLength < sizeof(MOVE_FILE_DATA)) {
                return fail(STATUS_INVALID_PARAMETER);
            }
            MOVE_FILE_DATA move;
            std::memcpy(&move, inputBuffer, sizeof move);
            auto moved = LookupHandleAs<FileHandle>(move.FileHandle);
            if (!moved) {
                return fail(STATUS_INVALID_HANDLE);
            }
            if (moved->backend != volume->backend || move.StartingVcn.QuadPart < 0 || move.StartingLcn.QuadPart < 0) {
                return fail(STATUS_INVALID_PARAMETER);  // the file lies on another volume, or the numbers are negative
            }
            FsctlResult result = backend.MoveFile(moved->id, static_cast<Vcn>(move.StartingVcn.QuadPart),
                                                  static_cast<Lcn>(move.StartingLcn.QuadPart), move.ClusterCount);
            return Answer(result, ioStatus, moved->pending);  // completed by a wait on the file handle
        }
        default:
            return fail(STATUS_INVALID_DEVICE_REQUEST);
    }
}

BOOL GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maximumComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize) {
    ParsedPath path;
    if (!ParsePath(rootPath, path) || path.deviceForm || !path.relative.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    if (!backend) {
        Fail(status);
        return FALSE;
    }
    VolumeInformation info;
    status = backend->GetVolumeInformation(info);
    if (status != STATUS_SUCCESS) {
        Fail(status);
        return FALSE;
    }
    if ((volumeName != nullptr && volumeNameSize <= info.volumeName.size()) ||
        (fileSystemName != nullptr && fileSystemNameSize <= info.fileSystemName.size())) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (volumeName != nullptr) {
        CopyName(volumeName, volumeNameSize, info.volumeName);
    }
    if (fileSystemName != nullptr) {
        CopyName(fileSystemName, fileSystemNameSize, info.fileSystemName);
    }
    if (serialNumber != nullptr) {
        *serialNumber = info.serialNumber;
    }
    if (maximumComponentLength != nullptr) {
        *maximumComponentLength = info.maximumComponentLength;
    }
    if (fileSystemFlags != nullptr) {
        *fileSystemFlags = info.fileSystemFlags;
    }
    return TRUE;
}

BOOL GetDiskFreeSpaceA(const char* rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* numberOfFreeClusters, DWORD* totalNumberOfClusters) {
    ParsedPath path;
    if (!ParsePath(rootPath, path) || path.deviceForm || !path.relative.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    DiskFreeSpace space;
    if (backend) {
        status = backend->GetDiskFreeSpace(space);
    }
    if (!backend || status != STATUS_SUCCESS) {
        Fail(status);
        return FALSE;
    }
    if (sectorsPerCluster != nullptr) {
        *sectorsPerCluster = space.sectorsPerCluster;
    }
    if (bytesPerSector != nullptr) {
        *bytesPerSector = space.bytesPerSector;
    }
    if (numberOfFreeClusters != nullptr) {
        *numberOfFreeClusters = space.numberOfFreeClusters;
    }
    if (totalNumberOfClusters != nullptr) {
        *totalNumberOfClusters = space.totalNumberOfClusters;
    }
    return TRUE;
}

UINT GetDriveTypeA(const char* rootPath) {
    ParsedPath path;
    if (!ParsePath(rootPath, path) || path.deviceForm || !path.relative.empty()) {
        return DRIVE_NO_ROOT_DIR;
    }
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    if (!backend) {
        return status == STATUS_OBJECT_NAME_NOT_FOUND ? DRIVE_NO_ROOT_DIR : DRIVE_UNKNOWN;
    }
    return backend->GetDriveType();
}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* findData) {
    if (pattern == nullptr || findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string text(pattern);
    size_t cut = text.find_last_of("\\/");
    ParsedPath path;
    if (cut == std::string::npos || !ParsePath(text.substr(0, cut == 2 ? 3 : cut).c_str(), path) || path.deviceForm) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_shared<FindHandle>();
    handle->wanted = text.substr(cut + 1);
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    if (backend) {
        status = backend->ListDirectoryShared(path.relative, handle->listing);
    }
    if (!backend || status != STATUS_SUCCESS) {
        Fail(status == STATUS_OBJECT_NAME_NOT_FOUND ? STATUS_OBJECT_PATH_NOT_FOUND : status);
        return INVALID_HANDLE_VALUE;
    }
    if (!path.relative.empty() && (handle->wanted == "*" || handle->wanted == "*.*")) {
        DirectoryEntry self;
        backend->StatFile(path.relative, self);
        self.shortName.clear();
        handle->dots.push_back(ToFindData(self, "."));
        handle->dots.push_back(ToFindData(self, ".."));
    }
    if (!handle->Next(*findData)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return RegisterHandle(std::move(handle));
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* findData) {
    auto handle = LookupHandleAs<FindHandle>(find);
    if (!handle || findData == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!handle->Next(*findData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (!LookupHandleAs<FindHandle>(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(find);
}

bool GetFileModificationTime(const char* fileName, time_t& out) {
    ParsedPath path;
    if (!ParsePath(fileName, path) || path.volumeOnly) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    NTSTATUS status = STATUS_SUCCESS;
    auto backend = BackendOf(path.letter, status);
    DirectoryEntry entry;
    if (backend) {
        status = backend->StatFile(path.relative, entry);
    }
    if (!backend || status != STATUS_SUCCESS) {
        Fail(status);
        return false;
    }
    out = FileTimeToUnixTime(entry.lastWriteTime);
    return true;
}

}  // namespace tarvo::platform
