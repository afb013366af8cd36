// FatBackend.cpp --- opening a FAT volume, and the backend's queries: information, bitmap, tree, extents.
#include "platform/fat/FatBackend.h"

#include <algorithm>
#include <cstring>

#include "platform/fat/FatEndian.h"
#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatVolumeBackend.h"

namespace tarvo::platform {

namespace {

// Our record for this device, when it exists and names this volume.
bool UsableIntent(BlockDevice& device, const std::string& path, FatIntent& intent, std::string& error) {
    if (!ReadFatIntent(path, intent, error)) {
        return false;
    }
    uint8_t sector[512];
    FatGeometry g;
    std::string ignored;
    if (device.Read(0, sector, sizeof sector) != 0 ||
        !ParseFatBootSector(sector, sizeof sector, device.Size(), g, ignored)) {
        return false;
    }
    return g.volumeSerial == intent.volumeSerial && g.totalSectors == intent.totalSectors &&
           g.clusterCount == intent.clusterCount;
}

}  // namespace

bool LoadFatVolumeChecked(BlockDevice& device, FatVolume& volume, bool& haveIntent, std::string& error) {
    FatIntent intent;
    std::string intentError;
    const std::string path = FatIntentPath(device.Name());
    haveIntent = UsableIntent(device, path, intent, intentError);
    if (!intentError.empty()) {
        error = intentError;
        return false;
    }
    if (!volume.Load(device, haveIntent ? &intent : nullptr, error)) {
        return false;
    }
    if (volume.info.dirty && !haveIntent) {
        error = device.Name() +
                " was not cleanly unmounted (its dirty flag is set); run fsck.fat on the volume first";
        return false;
    }
    return true;
}

bool IsFatVolume(BlockDevice& device) {
    uint8_t sector[512];
    return device.Size() >= 512 && device.Read(0, sector, sizeof sector) == 0 &&
           LooksLikeFatBootSector(sector, sizeof sector);
}

std::unique_ptr<VolumeBackend> OpenFatBackend(std::unique_ptr<BlockDevice> device, std::string& error) {
    if (!device) {
        error = "no device";
        return nullptr;
    }
    FatVolume volume;
    bool haveIntent = false;
    if (!LoadFatVolumeChecked(*device, volume, haveIntent, error)) {
        if (error.rfind(device->Name(), 0) != 0) {
            error = device->Name() + ": " + error;
        }
        return nullptr;
    }
    const bool writable = !device->IsReadOnly();
    const std::string intentPath = FatIntentPath(device->Name());
    const bool repair = haveIntent && volume.info.dirty;
    const bool stale = haveIntent && !volume.info.dirty;
    auto backend = std::make_unique<FatVolumeBackend>(std::move(device), std::move(volume), intentPath);
    if (writable && repair && !backend->WriteRepair(error)) {
        return nullptr;
    }
    if (writable && stale) {
        // Left by a run that died before marking the volume, or after marking it clean.
        // The record goes only once the free count is known again, so that a cut
        // here finds it once more.
        std::string ignored;
        if (backend->RestoreUnknownFreeCount() == 0) {
            RemoveFatIntent(intentPath, ignored);
        }
    }
    return backend;
}

bool CheckFatVolume(BlockDevice& device, std::string& report) {
    FatVolume volume;
    bool haveIntent = false;
    std::string error;
    if (!LoadFatVolumeChecked(device, volume, haveIntent, error)) {
        report = error + "\n";
        return false;
    }
    const FatGeometry& g = volume.geometry;
    report = std::string(g.type == FatType::Fat12 ? "FAT12" : g.type == FatType::Fat16 ? "FAT16" : "FAT32") +
             ", " + std::to_string(g.clusterCount) + " clusters of " + std::to_string(g.bytesPerCluster) +
             " bytes, " + std::to_string(volume.nodes.size() - 1) + " files and directories, " +
             std::to_string(volume.CountFreeClusters()) + " clusters free.\n";
    if (volume.info.repaired) {
        size_t finished = 0;
        for (bool f : volume.info.finished) {
            finished += f ? 1 : 0;
        }
        report += std::to_string(finished) + " interrupted moves will be finished and " +
                  std::to_string(volume.info.finished.size() - finished) +
                  " undone when the volume is next opened for writing.\n";
    }
    if (volume.info.lostClusters != 0) {
        report += std::to_string(volume.info.lostClusters) + " clusters are allocated but belong to no file.\n";
        return false;
    }
    report += "All cluster chains, directories and FAT copies are consistent.\n";
    return true;
}

FatVolumeBackend::FatVolumeBackend(std::unique_ptr<BlockDevice> device, FatVolume volume, std::string intentPath)
    : m_device(std::move(device)), m_volume(std::move(volume)), m_intentPath(std::move(intentPath)) {
    m_freeClusters = m_volume.CountFreeClusters();
    m_held.assign(size_t{m_volume.geometry.clusterCount} + 2, 0);
    m_leftBy.assign(m_held.size(), 0);
    const FatGeometry& g = m_volume.geometry;
    if (g.fsInfoSector != 0) {
        std::vector<uint8_t> s(g.bytesPerSector);
        m_fsInfoValid = m_device->Read(uint64_t{g.fsInfoSector} * g.bytesPerSector, s.data(), s.size()) == 0 &&
                        fat::Le32(s.data()) == 0x41615252 && fat::Le32(s.data() + 484) == 0x61417272 &&
                        fat::Le32(s.data() + 508) == 0xAA550000;
    }
}

FatVolumeBackend::~FatVolumeBackend() {
    std::lock_guard lock(m_mutex);
    if (m_sessionDirty && !m_broken) {
        EndSession();
    }
}

NTSTATUS FatVolumeBackend::GetVolumeInformation(VolumeInformation& out) {
    std::lock_guard lock(m_mutex);
    out = VolumeInformation{};
    out.volumeName = m_volume.geometry.volumeLabel;
    out.serialNumber = m_volume.geometry.volumeSerial;
    out.maximumComponentLength = 255;
    out.fileSystemFlags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
                          (m_device->IsReadOnly() ? FILE_READ_ONLY_VOLUME : 0);
    out.fileSystemName = m_volume.geometry.FileSystemName();
    return STATUS_SUCCESS;
}

NTSTATUS FatVolumeBackend::GetDiskFreeSpace(DiskFreeSpace& out) {
    std::lock_guard lock(m_mutex);
    out.sectorsPerCluster = m_volume.geometry.sectorsPerCluster;
    out.bytesPerSector = m_volume.geometry.bytesPerSector;
    out.numberOfFreeClusters = m_freeClusters;
    out.totalNumberOfClusters = m_volume.geometry.clusterCount;
    return STATUS_SUCCESS;
}

UINT FatVolumeBackend::GetDriveType() {
    std::lock_guard lock(m_mutex);
    return m_device->IsRemovable() ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

FsctlResult FatVolumeBackend::GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) {
    (void)out;
    return {STATUS_INVALID_DEVICE_REQUEST, 0, STATUS_INVALID_DEVICE_REQUEST};
}

FsctlResult FatVolumeBackend::GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) {
    std::lock_guard lock(m_mutex);
    const uint64_t total = m_volume.geometry.clusterCount;
    if (out == nullptr || outLength < kVolumeBitmapHeaderSize) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    if (startingLcn >= total) {
        return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
    }
    const Lcn start = startingLcn & ~Lcn{7};  // delivered from a byte boundary
    const uint64_t clusters = total - start;
    const uint64_t needed = (clusters + 7) / 8;
    const uint64_t delivered = std::min<uint64_t>(needed, outLength - kVolumeBitmapHeaderSize);
    auto* header = static_cast<VOLUME_BITMAP_BUFFER*>(out);
    header->StartingLcn.QuadPart = static_cast<LONGLONG>(start);
    header->BitmapSize.QuadPart = static_cast<LONGLONG>(clusters);
    uint8_t* bits = static_cast<uint8_t*>(out) + kVolumeBitmapHeaderSize;
    std::memset(bits, 0, static_cast<size_t>(delivered));
    const uint64_t end = std::min<uint64_t>(total, start + delivered * 8);
    m_volume.fat.FillAllocationBits(static_cast<uint32_t>(start + 2), static_cast<uint32_t>(end - start), bits);
    NTSTATUS status = delivered < needed ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, static_cast<size_t>(kVolumeBitmapHeaderSize + delivered), status};
}

DirectoryEntry FatVolumeBackend::EntryOf(uint64_t node) const {
    const FatNode& n = m_volume.nodes[node];
    DirectoryEntry e;
    e.name = n.name;
    e.shortName = n.hasLongName && n.shortName != n.name ? n.shortName : std::string();
    e.attributes = n.attributes == 0 ? FILE_ATTRIBUTE_NORMAL : n.attributes;
    e.lastWriteTime = n.writeTime;
    e.size = n.size;
    e.id = node;
    return e;
}

NTSTATUS FatVolumeBackend::ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) {
    std::lock_guard lock(m_mutex);
    out.clear();
    uint64_t node = 0;
    if (!m_volume.Find(directoryPath, node) || !m_volume.nodes[node].isDirectory) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    for (uint64_t child : m_volume.nodes[node].children) {
        out.push_back(EntryOf(child));
    }
    return STATUS_SUCCESS;
}

NTSTATUS FatVolumeBackend::StatFile(std::string_view path, DirectoryEntry& out) {
    std::lock_guard lock(m_mutex);
    uint64_t node = 0;
    if (!m_volume.Find(path, node)) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    out = EntryOf(node);
    return STATUS_SUCCESS;
}

NTSTATUS FatVolumeBackend::OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) {
    (void)request;
    std::lock_guard lock(m_mutex);
    uint64_t node = 0;
    if (!m_volume.Find(path, node)) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    out = node;
    return STATUS_SUCCESS;
}

FsctlResult FatVolumeBackend::GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) {
    std::lock_guard lock(m_mutex);
    if (file >= m_volume.nodes.size()) {
        return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
    }
    if (out == nullptr || outLength < sizeof(RETRIEVAL_POINTERS_BUFFER)) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    const std::vector<uint32_t>& chain = m_volume.nodes[file].chain;
    if (startingVcn >= chain.size()) {
        return {STATUS_END_OF_FILE, 0, STATUS_END_OF_FILE};
    }
    // Runs of consecutive clusters; the first delivered is the one holding startingVcn.
    Vcn runStart = 0;
    for (Vcn v = 1; v <= startingVcn; ++v) {
        if (chain[v] != chain[v - 1] + 1) {
            runStart = v;
        }
    }
    const size_t room = (outLength - kRetrievalPointersHeaderSize) / sizeof(RETRIEVAL_POINTERS_EXTENT);
    auto* buffer = static_cast<RETRIEVAL_POINTERS_BUFFER*>(out);
    auto* extents = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(static_cast<uint8_t*>(out) + kRetrievalPointersHeaderSize);
    buffer->StartingVcn.QuadPart = static_cast<LONGLONG>(runStart);
    size_t count = 0;
    Vcn v = runStart;
    while (v < chain.size() && count < room) {
        Vcn next = v + 1;
        while (next < chain.size() && chain[next] == chain[next - 1] + 1) {
            ++next;
        }
        extents[count].NextVcn.QuadPart = static_cast<LONGLONG>(next);
        extents[count].Lcn.QuadPart = static_cast<LONGLONG>(chain[v] - 2);
        ++count;
        v = next;
    }
    buffer->ExtentCount = static_cast<DWORD>(count);
    NTSTATUS status = v < chain.size() ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, kRetrievalPointersHeaderSize + count * sizeof(RETRIEVAL_POINTERS_EXTENT), status};
}

bool FatVolumeBackend::CheckConsistency(std::string& report) {
    std::lock_guard lock(m_mutex);
    if (m_broken) {
        report = "An earlier I/O error stopped the work on this volume: " + m_lastError +
                 "\nThe volume is repaired when it is next opened.\n";
        return false;
    }
    // The device shows the moves only once they are committed.
    if (int e = CommitBatch(); e != 0) {
        Fail(e, "cannot write the moves to the FAT");
        report = m_lastError + "\n";
        return false;
    }
    bool ok = CheckFatVolume(*m_device, report);
    if (ok && m_volume.CountFreeClusters() != m_freeClusters) {
        report += "The free cluster count kept in memory is wrong.\n";
        ok = false;
    }
    return ok;
}

}  // namespace tarvo::platform
