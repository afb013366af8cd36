// VolReport.cpp --- measuring a volume: fragments per file, free runs, and their JSON and text forms.
#include "tools/tarvoctl/VolReport.h"

#include <cstring>
#include <functional>

#include "platform/drives/Win32Files.h"

namespace tarvo::tools {

using namespace platform;

namespace {
constexpr size_t kExtentsPerCall = 32768;

// Reads all extents of one file; false when they cannot be read.
bool ReadExtents(VolumeBackend& backend, FileId id, std::vector<RETRIEVAL_POINTERS_EXTENT>& extents) {
    static thread_local std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + kExtentsPerCall * 16);
    extents.clear();
    Vcn vcn = 0;
    for (;;) {
        FsctlResult result = backend.GetRetrievalPointers(id, vcn, buffer.data(), buffer.size());
        NTSTATUS status = result.status == STATUS_PENDING ? result.completionStatus : result.status;
        if (status == STATUS_END_OF_FILE) {
            return true;
        }
        if (status != STATUS_SUCCESS && status != STATUS_BUFFER_OVERFLOW) {
            return false;
        }
        RETRIEVAL_POINTERS_BUFFER header;
        std::memcpy(&header, buffer.data(), kRetrievalPointersHeaderSize);
        if (header.ExtentCount == 0) {
            return status == STATUS_SUCCESS;
        }
        size_t first = extents.size();
        extents.resize(first + header.ExtentCount);
        std::memcpy(extents.data() + first, buffer.data() + kRetrievalPointersHeaderSize, header.ExtentCount * 16);
        if (status == STATUS_SUCCESS) {
            return true;
        }
        vcn = static_cast<Vcn>(extents.back().NextVcn.QuadPart);
    }
}

void Measure(const std::vector<RETRIEVAL_POINTERS_EXTENT>& extents, FileFigures& file) {
    Vcn previous = 0;
    Lcn expected = 0;
    for (const auto& extent : extents) {
        Vcn next = static_cast<Vcn>(extent.NextVcn.QuadPart);
        Lcn lcn = static_cast<Lcn>(extent.Lcn.QuadPart);
        uint64_t length = next - previous;
        previous = next;
        if (lcn == kVirtualLcn) {
            continue;
        }
        if (file.clusters == 0) {
            file.firstLcn = static_cast<int64_t>(lcn);
            file.fragments = 1;
        } else if (lcn != expected) {
            ++file.fragments;
        }
        file.clusters += length;
        expected = lcn + length;
    }
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
}  // namespace

bool MeasureVolume(VolumeBackend& backend, const std::string& pathPrefix, FileListing listing, VolumeFigures& out,
                   std::string& error) {
    out = {};
    VolumeInformation info;
    if (backend.GetVolumeInformation(info) != STATUS_SUCCESS) {
        error = "the volume information cannot be read";
        return false;
    }
    out.fileSystem = info.fileSystemName;
    Lcn zoneStart = 1, zoneEnd = 0;  // empty
    NTFS_VOLUME_DATA_BUFFER ntfs{};
    DiskFreeSpace space;
    if (backend.GetNtfsVolumeData(ntfs).status == STATUS_SUCCESS) {
        out.totalClusters = static_cast<uint64_t>(ntfs.TotalClusters.QuadPart);
        out.bytesPerCluster = ntfs.BytesPerCluster;
        if (ntfs.MftZoneEnd.QuadPart > ntfs.MftZoneStart.QuadPart) {
            zoneStart = static_cast<Lcn>(ntfs.MftZoneStart.QuadPart);
            zoneEnd = static_cast<Lcn>(ntfs.MftZoneEnd.QuadPart);
        }
    } else if (backend.GetDiskFreeSpace(space) == STATUS_SUCCESS) {
        out.totalClusters = space.totalNumberOfClusters;
        out.bytesPerCluster = uint64_t{space.sectorsPerCluster} * space.bytesPerSector;
    } else {
        error = "the volume geometry cannot be read";
        return false;
    }
    // The bitmap, in as many calls as it takes.
    std::vector<uint8_t> bitmap((out.totalClusters + 7) / 8);
    std::vector<uint8_t> buffer(kVolumeBitmapHeaderSize + std::min<size_t>(bitmap.size(), 64u << 20));
    for (Lcn start = 0; start < out.totalClusters;) {
        FsctlResult result = backend.GetVolumeBitmap(start, buffer.data(), buffer.size());
        NTSTATUS status = result.status == STATUS_PENDING ? result.completionStatus : result.status;
        size_t bytes = result.bytesReturned > kVolumeBitmapHeaderSize ? result.bytesReturned - kVolumeBitmapHeaderSize : 0;
        if ((status != STATUS_SUCCESS && status != STATUS_BUFFER_OVERFLOW) || bytes == 0) {
            error = std::string("the volume bitmap cannot be read (") + NtStatusName(status) + ")";
            return false;
        }
        VOLUME_BITMAP_BUFFER header;
        std::memcpy(&header, buffer.data(), kVolumeBitmapHeaderSize);
        Lcn delivered = static_cast<Lcn>(header.StartingLcn.QuadPart);
        bytes = std::min(bytes, bitmap.size() - static_cast<size_t>(delivered / 8));
        std::memcpy(bitmap.data() + delivered / 8, buffer.data() + kVolumeBitmapHeaderSize, bytes);
        start = delivered + bytes * 8;
    }
    uint64_t run = 0;
    for (Lcn lcn = 0; lcn <= out.totalClusters; ++lcn) {
        // Whole bytes away from the zone and the end: all free or all allocated at once.
        if (lcn % 8 == 0 && lcn + 8 <= out.totalClusters && (lcn + 8 <= zoneStart || lcn > zoneEnd)) {
            uint8_t byte = bitmap[lcn / 8];
            if (byte == 0x00) {
                out.freeClusters += 8;
                run += 8;
                lcn += 7;
                continue;
            }
            if (byte == 0xFF) {
                if (run > 0) {
                    ++out.freeRuns;
                    out.largestFreeRun = std::max(out.largestFreeRun, run);
                    run = 0;
                }
                lcn += 7;
                continue;
            }
        }
        bool allocated = lcn == out.totalClusters || ((bitmap[lcn / 8] >> (lcn % 8)) & 1);
        if (lcn < out.totalClusters && !allocated) {
            ++out.freeClusters;
        }
        bool usable = !allocated && !(lcn >= zoneStart && lcn <= zoneEnd);
        if (usable) {
            ++run;
        } else if (run > 0) {
            ++out.freeRuns;
            out.largestFreeRun = std::max(out.largestFreeRun, run);
            run = 0;
        }
    }
    // The tree.
    std::vector<RETRIEVAL_POINTERS_EXTENT> extents;
    std::function<void(const std::string&)> walk = [&](const std::string& directory) {
        std::vector<DirectoryEntry> entries;
        if (backend.ListDirectory(directory, entries) != STATUS_SUCCESS) {
            return;
        }
        for (const DirectoryEntry& entry : entries) {
            std::string path = directory.empty() ? entry.name : directory + "\\" + entry.name;
            if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                walk(path);
                continue;
            }
            FileFigures file;
            file.path = pathPrefix + "\\" + path;
            file.mtime = static_cast<int64_t>(FileTimeToUnixTime(entry.lastWriteTime));
            ++out.files;
            FileId id = 0;
            FileOpenRequest request{0, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_BACKUP_SEMANTICS, false};
            if (backend.OpenFile(path, request, id) != STATUS_SUCCESS || !ReadExtents(backend, id, extents)) {
                ++out.unreadableFiles;
            } else {
                Measure(extents, file);
            }
            out.fragments += file.fragments;
            out.fragmentedFiles += file.fragments > 1 ? 1 : 0;
            if (listing == FileListing::With) {
                out.fileList.push_back(std::move(file));
            }
        }
    };
    walk("");
    return true;
}

std::string FiguresAsJson(const VolumeFigures& f, FileListing listing) {
    std::string out = "{\n";
    out += "  \"file_system\": " + JsonString(f.fileSystem) + ",\n";
    auto field = [&](const char* name, uint64_t value) { out += std::string("  \"") + name + "\": " + std::to_string(value) + ",\n"; };
    field("total_clusters", f.totalClusters);
    field("bytes_per_cluster", f.bytesPerCluster);
    field("free_clusters", f.freeClusters);
    field("files", f.files);
    field("fragmented_files", f.fragmentedFiles);
    field("fragments", f.fragments);
    field("largest_free_run", f.largestFreeRun);
    field("free_runs", f.freeRuns);
    out += "  \"unreadable_files\": " + std::to_string(f.unreadableFiles);
    if (listing == FileListing::With) {
        out += ",\n  \"file_list\": [";
        for (size_t i = 0; i < f.fileList.size(); ++i) {
            const FileFigures& file = f.fileList[i];
            out += (i == 0 ? "\n    {" : ",\n    {");
            out += "\"path\": " + JsonString(file.path) + ", \"clusters\": " + std::to_string(file.clusters) +
                   ", \"fragments\": " + std::to_string(file.fragments) + ", \"first_lcn\": " +
                   std::to_string(file.firstLcn) + ", \"mtime\": " + std::to_string(file.mtime) + "}";
        }
        out += f.fileList.empty() ? "]" : "\n  ]";
    }
    return out + "\n}\n";
}

std::string FiguresAsText(const VolumeFigures& f, FileListing listing) {
    std::string out;
    auto line = [&](const char* name, const std::string& value) { out += std::string(name) + ": " + value + "\n"; };
    line("file system", f.fileSystem);
    line("total clusters", std::to_string(f.totalClusters));
    line("bytes per cluster", std::to_string(f.bytesPerCluster));
    line("free clusters", std::to_string(f.freeClusters));
    line("files", std::to_string(f.files));
    line("fragmented files", std::to_string(f.fragmentedFiles));
    line("fragments", std::to_string(f.fragments));
    line("largest free run", std::to_string(f.largestFreeRun));
    line("free runs", std::to_string(f.freeRuns));
    line("unreadable files", std::to_string(f.unreadableFiles));
    if (listing == FileListing::With) {
        for (const FileFigures& file : f.fileList) {
            out += file.path + "  clusters " + std::to_string(file.clusters) + "  fragments " +
                   std::to_string(file.fragments) + "  first LCN " + std::to_string(file.firstLcn) + "\n";
        }
    }
    return out;
}

}  // namespace tarvo::tools
