// ScriptedVolume.h --- a small in-memory volume for the volume layer's tests, with faults on request.
//
// Files are kept as pair lists (NextVcn, LCN); moves carve the range out of the
// file and allocate the target, refusing allocated targets as NTFS does.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/core/VolumeBackend.h"
#include "platform/drives/Win32Files.h"

namespace tarvo::volume::testing {

using namespace tarvo::platform;

struct ScriptedFile {
    std::string path;                          // "DIR\F.TXT"
    std::vector<std::pair<Vcn, Lcn>> pairs;    // NextVcn, LCN (kVirtualLcn for virtual runs)
};

class ScriptedVolume : public VolumeBackend {
public:
    ScriptedVolume(uint64_t totalClusters, std::string fileSystem = "NTFS", DWORD bytesPerCluster = 4096)
        : total(totalClusters), fileSystem(std::move(fileSystem)), bytesPerCluster(bytesPerCluster),
          bitmap((totalClusters + 7) / 8, 0) {}

    // --- script ---
    uint64_t total;
    std::string fileSystem;
    DWORD bytesPerCluster;
    std::vector<uint8_t> bitmap;
    UINT driveType = DRIVE_FIXED;
    Lcn zoneStart = 0, zoneEnd = 0, mftStart = 0;
    uint64_t mftValidDataLength = 0;
    bool diskFreeFails = false;
    NTSTATUS bitmapStatus = STATUS_SUCCESS;  // forced answer of bitmap reads
    int pendingRetrievals = 0;               // the next n retrieval calls answer STATUS_PENDING
    NTSTATUS pendingCompletion = STATUS_SUCCESS;
    std::set<std::string> unopenable;        // paths whose device-form open fails
    std::set<std::string> neverOpen;         // paths that never open
    bool writeProtected = false;
    int retrievalCalls = 0;
    std::function<void()> afterRetrieval;     // runs after each retrieval call (the volume changing)
    std::vector<ScriptedFile> files;

    bool Allocated(Lcn n) const { return (bitmap[n / 8] >> (n % 8)) & 1; }
    void SetAllocated(Lcn first, uint64_t count, bool value) {
        for (Lcn n = first; n < first + count; ++n) {
            if (value) bitmap[n / 8] |= uint8_t(1u << (n % 8));
            else bitmap[n / 8] &= uint8_t(~(1u << (n % 8)));
        }
    }
    // Adds a file and marks its real runs allocated. Answers its id.
    FileId AddFile(std::string path, std::vector<std::pair<Vcn, Lcn>> pairs) {
        Vcn start = 0;
        for (auto [next, lcn] : pairs) {
            if (lcn != kVirtualLcn) SetAllocated(lcn, next - start, true);
            start = next;
        }
        files.push_back({std::move(path), std::move(pairs)});
        return files.size() - 1;
    }

    // --- VolumeBackend ---
    NTSTATUS GetVolumeInformation(VolumeInformation& out) override {
        out.volumeName = "SCRIPTED";
        out.serialNumber = 0x1234;
        out.fileSystemName = fileSystem;
        return STATUS_SUCCESS;
    }
    NTSTATUS GetDiskFreeSpace(DiskFreeSpace& out) override {
        if (diskFreeFails) return STATUS_UNSUCCESSFUL;
        out.bytesPerSector = 512;
        out.sectorsPerCluster = bytesPerCluster / 512;
        out.totalNumberOfClusters = static_cast<DWORD>(total);
        out.numberOfFreeClusters = 0;
        return STATUS_SUCCESS;
    }
    UINT GetDriveType() override { return driveType; }
    FsctlResult GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) override {
        if (fileSystem != "NTFS") return {STATUS_INVALID_DEVICE_REQUEST, 0, STATUS_INVALID_DEVICE_REQUEST};
        out = {};
        out.NumberSectors.QuadPart = static_cast<LONGLONG>(total) * (bytesPerCluster / 512);
        out.TotalClusters.QuadPart = static_cast<LONGLONG>(total);
        out.FreeClusters.QuadPart = 7;
        out.BytesPerSector = 512;
        out.BytesPerCluster = bytesPerCluster;
        out.MftValidDataLength.QuadPart = static_cast<LONGLONG>(mftValidDataLength);
        out.MftStartLcn.QuadPart = static_cast<LONGLONG>(mftStart);
        out.MftZoneStart.QuadPart = static_cast<LONGLONG>(zoneStart);
        out.MftZoneEnd.QuadPart = static_cast<LONGLONG>(zoneEnd);
        return {STATUS_SUCCESS, sizeof(out), STATUS_SUCCESS};
    }
    FsctlResult GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) override {
        if (bitmapStatus != STATUS_SUCCESS) return {bitmapStatus, 0, bitmapStatus};
        if (outLength < kVolumeBitmapHeaderSize) return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
        if (startingLcn != 0) return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
        auto* buffer = static_cast<VOLUME_BITMAP_BUFFER*>(out);
        buffer->StartingLcn.QuadPart = 0;
        buffer->BitmapSize.QuadPart = static_cast<LONGLONG>(total);
        const size_t room = outLength - kVolumeBitmapHeaderSize;
        const size_t n = std::min(room, bitmap.size());
        std::memcpy(static_cast<BYTE*>(out) + kVolumeBitmapHeaderSize, bitmap.data(), n);
        const NTSTATUS status = n < bitmap.size() ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
        return {status, kVolumeBitmapHeaderSize + n, status};
    }
    NTSTATUS ListDirectory(std::string_view, std::vector<DirectoryEntry>&) override { return STATUS_NOT_IMPLEMENTED; }
    NTSTATUS StatFile(std::string_view path, DirectoryEntry& out) override {
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].path == path) {
                out = {};
                out.name = files[i].path;
                out.id = i;
                out.lastWriteTime = UnixTimeToFileTime(946684800);  // 2000-01-01
                return STATUS_SUCCESS;
            }
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    NTSTATUS OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) override {
        const std::string p(path);
        if (neverOpen.count(p) || (request.deviceForm && unopenable.count(p))) return STATUS_ACCESS_DENIED;
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].path == p) {
                out = i;
                return STATUS_SUCCESS;
            }
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    FsctlResult GetRetrievalPointers(FileId id, Vcn startingVcn, void* out, size_t outLength) override {
        ++retrievalCalls;
        struct After {
            std::function<void()>& hook;
            ~After() { if (hook) hook(); }
        } after{afterRetrieval};
        const auto& pairs = files.at(id).pairs;
        size_t first = 0;
        Vcn start = 0;
        while (first < pairs.size() && pairs[first].first <= startingVcn) start = pairs[first++].first;
        if (first >= pairs.size()) return {STATUS_END_OF_FILE, 0, STATUS_END_OF_FILE};
        auto* buffer = static_cast<RETRIEVAL_POINTERS_BUFFER*>(out);
        const size_t room = (outLength - kRetrievalPointersHeaderSize) / 16;
        const size_t n = std::min(room, pairs.size() - first);
        buffer->ExtentCount = static_cast<DWORD>(n);
        buffer->StartingVcn.QuadPart = static_cast<LONGLONG>(start);
        auto* extents = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(static_cast<BYTE*>(out) + kRetrievalPointersHeaderSize);
        for (size_t i = 0; i < n; ++i) {
            extents[i].NextVcn.QuadPart = static_cast<LONGLONG>(pairs[first + i].first);
            extents[i].Lcn.QuadPart = static_cast<LONGLONG>(pairs[first + i].second);
        }
        const size_t bytes = kRetrievalPointersHeaderSize + n * 16;
        NTSTATUS status = n < pairs.size() - first ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
        if (pendingRetrievals > 0) {
            --pendingRetrievals;
            return {STATUS_PENDING, bytes, pendingCompletion};
        }
        return {status, bytes, status};
    }
    FsctlResult MoveFile(FileId id, Vcn vcn, Lcn target, DWORD count) override {
        if (writeProtected) return {STATUS_MEDIA_WRITE_PROTECTED, 0, STATUS_MEDIA_WRITE_PROTECTED};
        auto& pairs = files.at(id).pairs;
        const Vcn length = pairs.empty() ? 0 : pairs.back().first;
        if (count == 0 || vcn + count > length || target + count > total)
            return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
        for (Lcn n = target; n < target + count; ++n)
            if (Allocated(n)) return {STATUS_ALREADY_COMMITTED, 0, STATUS_ALREADY_COMMITTED};
        // Per-cluster map of the file, then rebuilt into runs.
        std::vector<Lcn> lcns(length);
        Vcn start = 0;
        for (auto [next, lcn] : pairs) {
            for (Vcn v = start; v < next; ++v) lcns[v] = lcn == kVirtualLcn ? kVirtualLcn : lcn + (v - start);
            start = next;
        }
        for (Vcn v = vcn; v < vcn + count; ++v) {
            if (lcns[v] != kVirtualLcn) SetAllocated(lcns[v], 1, false);
            lcns[v] = target + (v - vcn);
        }
        SetAllocated(target, count, true);
        pairs.clear();
        for (Vcn v = 0; v < length; ++v) {
            const bool joins = v > 0 && ((lcns[v] == kVirtualLcn && lcns[v - 1] == kVirtualLcn) ||
                                         (lcns[v] != kVirtualLcn && lcns[v - 1] != kVirtualLcn && lcns[v] == lcns[v - 1] + 1));
            if (joins) pairs.back().first = v + 1;
            else pairs.push_back({v + 1, lcns[v]});
        }
        return {STATUS_SUCCESS, 0, STATUS_SUCCESS};
    }
    NTSTATUS Flush() override { return STATUS_SUCCESS; }
    bool CheckConsistency(std::string&) override { return true; }
};

}  // namespace tarvo::volume::testing
