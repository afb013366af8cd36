// FatTestSupport.cpp --- helpers of the FAT tests.
#include "FatTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarvo::platform::testing {

std::unique_ptr<VolumeBackend> OpenImage(const std::string& path, std::string& error, DeviceAccess access) {
    auto device = OpenBlockDevice(path, access, error);
    if (!device) {
        return nullptr;
    }
    return OpenFatBackend(std::move(device), error);
}

int Fsck(const std::string& image, std::string& output) { return RunTool({"fsck.fat", "-n", image}, output); }

// What fsck.fat may find when the user runs it on a cut volume without our reopen:
// the dirty flag, lost clusters, or FAT copies that differ in the moved entries.
std::string UnexpectedFsckLines(const std::string& output, const std::string& image) {
    static const char* const kAllowed[] = {
        "fsck.fat ",       "Leaving filesystem unchanged", "Dirty bit is set", "Automatically removing dirty bit",
        "differences between boot sector and its backup", "mostly harmless", "65:01/00", "37:01/00",
        "Not automatically fixing this", "FATs differ", "Using first FAT", "Using second FAT",
        "Free cluster summary uninitialized", "unused clusters", "Reclaimed", "lost",
        "Perform changes", "Free cluster summary wrong"};
    std::istringstream lines(output);
    std::string line, unexpected;
    while (std::getline(lines, line)) {
        bool ok = line.empty() || line.rfind(image + ":", 0) == 0;
        for (const char* allowed : kAllowed) {
            ok = ok || line.find(allowed) != std::string::npos;
        }
        if (!ok) {
            unexpected += line + "\n";
        }
    }
    return unexpected;
}

std::vector<FatManifestEntry> MtoolsManifest(const std::string& image) {
    std::vector<FatManifestEntry> manifest;
    std::string error;
    EXPECT_TRUE(ManifestWithMtools(image, manifest, error)) << error;
    return manifest;
}

namespace {
void Walk(VolumeBackend& backend, const std::string& dir, std::vector<std::string>& out) {
    std::vector<DirectoryEntry> entries;
    if (backend.ListDirectory(dir, entries) != STATUS_SUCCESS) {
        return;
    }
    for (const auto& e : entries) {
        std::string path = dir.empty() ? e.name : dir + "\\" + e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(backend, path, out);
        } else {
            out.push_back(path);
        }
    }
}
}  // namespace

std::vector<std::string> ListFiles(VolumeBackend& backend) {
    std::vector<std::string> out;
    Walk(backend, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::pair<Lcn, uint64_t>> Runs(VolumeBackend& backend, FileId file) {
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 4096 * sizeof(RETRIEVAL_POINTERS_EXTENT));
    std::vector<std::pair<Lcn, uint64_t>> runs;
    FsctlResult r = backend.GetRetrievalPointers(file, 0, buffer.data(), buffer.size());
    if (r.status != STATUS_SUCCESS) {
        return runs;
    }
    auto* rp = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
    auto* extents = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(buffer.data() + kRetrievalPointersHeaderSize);
    uint64_t vcn = static_cast<uint64_t>(rp->StartingVcn.QuadPart);
    for (DWORD i = 0; i < rp->ExtentCount; ++i) {
        uint64_t next = static_cast<uint64_t>(extents[i].NextVcn.QuadPart);
        runs.emplace_back(static_cast<Lcn>(extents[i].Lcn.QuadPart), next - vcn);
        vcn = next;
    }
    return runs;
}

Lcn FindFreeRun(VolumeBackend& backend, uint64_t length, Lcn from) {
    DiskFreeSpace space;
    backend.GetDiskFreeSpace(space);
    std::vector<uint8_t> buffer(kVolumeBitmapHeaderSize + space.totalNumberOfClusters / 8 + 8);
    if (backend.GetVolumeBitmap(0, buffer.data(), buffer.size()).status != STATUS_SUCCESS) {
        return kVirtualLcn;
    }
    const uint8_t* bits = buffer.data() + kVolumeBitmapHeaderSize;
    uint64_t run = 0;
    for (Lcn lcn = from; lcn < space.totalNumberOfClusters; ++lcn) {
        bool used = (bits[lcn / 8] >> (lcn % 8)) & 1;
        run = used ? 0 : run + 1;
        if (run == length) {
            return lcn + 1 - length;
        }
    }
    return kVirtualLcn;
}

NTSTATUS DefragmentFile(VolumeBackend& backend, const std::string& path) {
    FileId id = 0;
    if (NTSTATUS s = backend.OpenFile(path, FileOpenRequest{}, id); s != STATUS_SUCCESS) {
        return s;
    }
    auto runs = Runs(backend, id);
    if (runs.size() < 2) {
        return STATUS_SUCCESS;
    }
    uint64_t length = 0;
    for (const auto& r : runs) {
        length += r.second;
    }
    Lcn target = FindFreeRun(backend, length);
    if (target == kVirtualLcn) {
        return STATUS_DISK_FULL;
    }
    return backend.MoveFile(id, 0, target, static_cast<DWORD>(length)).status;
}

bool FullStress() {
    const char* s = std::getenv("TARVO_STRESS");
    return s != nullptr && std::string(s) == "full";
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The moves of one run: the first fragmented files made contiguous (the directory
// entry changes), then the tail of a file moved (a FAT link changes), then Flush.
NTSTATUS RunMoves(VolumeBackend& backend, size_t maxFiles) {
    size_t moved = 0;
    for (const std::string& path : ListFiles(backend)) {
        FileId id = 0;
        if (moved >= maxFiles || backend.OpenFile(path, {}, id) != STATUS_SUCCESS || Runs(backend, id).size() < 2) {
            continue;
        }
        if (NTSTATUS s = DefragmentFile(backend, path); s != STATUS_SUCCESS) {
            return s;
        }
        ++moved;
    }
    for (const std::string& path : ListFiles(backend)) {
        FileId id = 0;
        backend.OpenFile(path, {}, id);
        auto runs = Runs(backend, id);
        if (runs.size() == 1 && runs[0].second >= 3) {
            uint64_t tail = runs[0].second - 1;
            Lcn target = FindFreeRun(backend, tail, runs[0].first + runs[0].second + 1);
            NTSTATUS s = target == kVirtualLcn ? STATUS_SUCCESS
                                                : backend.MoveFile(id, 1, target, static_cast<DWORD>(tail)).status;
            if (s != STATUS_SUCCESS) {
                return s;
            }
            break;
        }
    }
    return backend.Flush();
}

}  // namespace tarvo::platform::testing
