// SimVolume.cpp --- building a simulated volume, its directory tree, and the read-only volume operations.
#include "platform/sim/SimVolume.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "platform/sim/SimNames.h"

namespace tarvo::platform {

namespace {
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

uint64_t ToFileTime(time_t seconds) {
    return kUnixEpochAsFileTime + static_cast<uint64_t>(seconds < 0 ? 0 : seconds) * 10000000ull;
}
}  // namespace

const char* SimFileSystemName(SimFileSystem fileSystem) {
    switch (fileSystem) {
        case SimFileSystem::Ntfs:
            return "NTFS";
        case SimFileSystem::Fat:
            return "FAT";
        case SimFileSystem::Fat32:
            return "FAT32";
    }
    return "NTFS";
}

std::shared_ptr<SimVolume> SimVolume::Create(const SimVolumeShape& shape, std::string& error) {
    if (shape.totalClusters < 64 || shape.totalClusters > (uint64_t{1} << 32)) {
        error = "the cluster count must lie between 64 and 4294967296";
        return nullptr;
    }
    if (shape.bytesPerSector < 512 || shape.bytesPerSector > 4096 || (shape.bytesPerSector & (shape.bytesPerSector - 1))) {
        error = "bytes per sector must be a power of two from 512 to 4096";
        return nullptr;
    }
    if (shape.bytesPerCluster < shape.bytesPerSector || shape.bytesPerCluster > 65536 ||
        (shape.bytesPerCluster & (shape.bytesPerCluster - 1))) {
        error = "the cluster size must be a power of two from the sector size to 65536";
        return nullptr;
    }
    if (shape.driveType < DRIVE_REMOVABLE || shape.driveType > DRIVE_RAMDISK) {
        error = "unknown drive type";
        return nullptr;
    }
    std::shared_ptr<SimVolume> volume(new SimVolume);
    std::lock_guard lock(volume->m_mutex);
    volume->m_fileSystem = shape.fileSystem;
    volume->m_totalClusters = shape.totalClusters;
    volume->m_bytesPerSector = shape.bytesPerSector;
    volume->m_bytesPerCluster = shape.bytesPerCluster;
    volume->m_driveType = shape.driveType;
    volume->m_volumeName = shape.volumeName.substr(0, 32);
    volume->m_serialNumber = shape.serialNumber;
    if (!volume->m_bitmap.Resize(shape.totalClusters)) {
        error = "not enough memory for the cluster bitmap";
        return nullptr;
    }
    if (volume->LayOutSystemAreas(shape, error) != STATUS_SUCCESS) {
        return nullptr;
    }
    volume->m_needsRewrite = true;
    return volume;
}

NTSTATUS SimVolume::LayOutSystemAreas(const SimVolumeShape& shape, std::string& error) {
    m_nodes.reserve(16);
    NewNode(kSimNoNode, "", "", kSimDirectory, FILE_ATTRIBUTE_DIRECTORY, ToFileTime(0));  // root, id 0
    RebuildIndex();
    auto metadata = [&](std::string_view name, Lcn lcn, uint64_t count) {
        uint32_t id = NewNode(kSimNoNode, name, "", kSimMetadata, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN, 0);
        if (count > 0) {
            m_nodes[id].runs.push_back({count, lcn});
            m_bitmap.Set(lcn, count);
        }
        return id;
    };
    uint64_t total = m_totalClusters;
    if (m_fileSystem == SimFileSystem::Ntfs) {
        uint64_t bootClusters = std::max<uint64_t>(1, 8192 / m_bytesPerCluster);
        uint64_t mftClusters = shape.mftClusters;
        if (mftClusters == 0) {
            mftClusters = std::max<uint64_t>(16, std::max<uint64_t>(1, 65536 / m_bytesPerCluster) * 4);
        }
        Lcn mftStart = std::max<uint64_t>(bootClusters, std::min<uint64_t>(total / 64, 786432));
        uint64_t zone = static_cast<uint64_t>(static_cast<double>(total) * shape.mftZonePercent / 100.0);
        Lcn middle = total / 2;
        uint64_t mirror = std::max<uint64_t>(1, 4096 / m_bytesPerCluster);
        uint64_t logClusters = std::max<uint64_t>(2, std::min<uint64_t>(total / 256, (64u << 20) / m_bytesPerCluster));
        uint64_t bitmapClusters = (total / 8 + m_bytesPerCluster - 1) / m_bytesPerCluster;
        if (shape.mftZonePercent < 0 || shape.mftZonePercent > 50 || mftStart + mftClusters + zone >= middle ||
            middle + mirror + logClusters + bitmapClusters + 40 >= total) {
            error = "the volume is too small for the MFT, its zone and the NTFS metadata";
            return STATUS_INVALID_PARAMETER;
        }
        metadata("$Boot", 0, bootClusters);
        metadata("$MFT", mftStart, mftClusters);
        metadata("$MFTMirr", middle, mirror);
        metadata("$LogFile", middle + mirror, logClusters);
        metadata("$Bitmap", middle + mirror + logClusters, bitmapClusters);
        Lcn upcase = middle + mirror + logClusters + bitmapClusters;
        uint64_t upcaseClusters = std::min<uint64_t>(32, 131072 / m_bytesPerCluster + 1);
        metadata("$UpCase", upcase, upcaseClusters);
        m_ntfs.mftStart = mftStart;
        m_ntfs.mft2Start = middle;
        m_ntfs.mftValidDataLength = mftClusters * m_bytesPerCluster;
        if (zone > 0) {
            m_ntfs.mftZoneStart = mftStart + mftClusters;
            m_ntfs.mftZoneEnd = mftStart + mftClusters + zone - 1;
        }
        m_nodes[kRootId].runs.push_back({1, upcase + upcaseClusters});  // the root's index block
        m_bitmap.Set(upcase + upcaseClusters, 1);
    } else if (m_fileSystem == SimFileSystem::Fat32) {
        m_nodes[kRootId].runs.push_back({1, 0});
        m_bitmap.Set(0, 1);
    }
    m_foreignNode = metadata("(other program)", 0, 0);
    m_nodes[m_foreignNode].flags |= kSimForeign;
    return STATUS_SUCCESS;
}

uint32_t SimVolume::NewNode(uint32_t parent, std::string_view name, std::string_view shortName, uint16_t flags,
                            uint32_t attributes, uint64_t lastWrite) {
    SimNode node;
    node.parent = parent;
    node.nameOffset = static_cast<uint32_t>(m_names.size());
    node.nameLength = static_cast<uint16_t>(name.size());
    m_names.append(name);
    node.shortOffset = static_cast<uint32_t>(m_names.size());
    node.shortLength = static_cast<uint16_t>(shortName.size());
    m_names.append(shortName);
    node.flags = flags;
    node.attributes = attributes;
    node.lastWrite = lastWrite;
    uint32_t id = static_cast<uint32_t>(m_nodes.size());
    m_nodes.push_back(std::move(node));
    if (parent != kSimNoNode) {
        SimNode& p = m_nodes[parent];
        if (p.lastChild == kSimNoNode) {
            p.firstChild = id;
        } else {
            m_nodes[p.lastChild].nextSibling = id;
        }
        p.lastChild = id;
        IndexNode(id);
    }
    return id;
}

std::string_view SimVolume::NameOf(const SimNode& node) const {
    return std::string_view(m_names).substr(node.nameOffset, node.nameLength);
}

std::string_view SimVolume::ShortNameOf(const SimNode& node) const {
    return std::string_view(m_names).substr(node.shortOffset, node.shortLength);
}

void SimVolume::IndexNode(uint32_t id) {
    if ((m_indexUsed + 2) * 2 > m_index.size()) {
        RebuildIndex();
    }
    const SimNode& node = m_nodes[id];
    auto insert = [&](std::string_view name, uint64_t isShort) {
        size_t mask = m_index.size() - 1;
        size_t slot = NameHash(node.parent, name) & mask;
        while (m_index[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        m_index[slot] = ((uint64_t{id} << 1) | isShort) + 1;
        ++m_indexUsed;
    };
    insert(NameOf(node), 0);
    if (node.shortLength > 0) {
        insert(ShortNameOf(node), 1);
    }
}

void SimVolume::RebuildIndex() {
    size_t entries = 0;
    for (const auto& node : m_nodes) {
        entries += node.parent == kSimNoNode ? 0 : (node.shortLength > 0 ? 2 : 1);
    }
    size_t size = 1024;
    while (size < (entries + 2) * 4) {
        size *= 2;
    }
    m_index.assign(size, 0);
    m_indexUsed = 0;
    for (uint32_t id = 0; id < m_nodes.size(); ++id) {
        if (m_nodes[id].parent != kSimNoNode) {
            IndexNode(id);
        }
    }
}

uint32_t SimVolume::FindChild(uint32_t parent, std::string_view name) const {
    if (m_index.empty()) {
        return kSimNoNode;
    }
    size_t mask = m_index.size() - 1;
    for (size_t slot = NameHash(parent, name) & mask; m_index[slot] != 0; slot = (slot + 1) & mask) {
        uint64_t value = m_index[slot] - 1;
        uint32_t id = static_cast<uint32_t>(value >> 1);
        const SimNode& node = m_nodes[id];
        if (node.parent == parent && NamesEqual((value & 1) ? ShortNameOf(node) : NameOf(node), name)) {
            return id;
        }
    }
    return kSimNoNode;
}

NTSTATUS SimVolume::Resolve(std::string_view path, uint32_t& out) const {
    uint32_t current = kRootId;
    while (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    while (!path.empty()) {
        size_t cut = path.find('\\');
        std::string_view component = path.substr(0, cut);
        bool last = cut == std::string_view::npos;
        if (component.empty()) {
            return STATUS_OBJECT_NAME_INVALID;
        }
        if (!m_nodes[current].IsDirectory()) {
            return STATUS_OBJECT_PATH_NOT_FOUND;
        }
        uint32_t child = FindChild(current, component);
        if (child == kSimNoNode) {
            return last ? STATUS_OBJECT_NAME_NOT_FOUND : STATUS_OBJECT_PATH_NOT_FOUND;
        }
        current = child;
        path = last ? std::string_view() : path.substr(cut + 1);
    }
    out = current;
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::InsertNode(uint32_t parent, std::string_view name, uint16_t flags, uint32_t attributes,
                               time_t mtime, uint32_t& out) {
    if (parent >= m_nodes.size() || !m_nodes[parent].IsDirectory() || (m_nodes[parent].flags & kSimMetadata)) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    if (!IsValidLongName(name)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (FindChild(parent, name) != kSimNoNode) {
        return STATUS_OBJECT_NAME_INVALID;  // the name (or a short name equal to it) is taken
    }
    if (m_nodes.size() >= kSimNoNode - 1 || m_names.size() + 2 * name.size() + 16 > 0xFFFFFFF0u) {
        return STATUS_NO_MEMORY;
    }
    std::string shortName;
    if (!IsShortName(name)) {
        for (unsigned tail = 1; tail < 1000000; ++tail) {
            shortName = MakeShortName(name, tail);
            if (FindChild(parent, shortName) == kSimNoNode) {
                break;
            }
        }
    }
    out = NewNode(parent, name, shortName, flags, attributes, ToFileTime(mtime));
    m_needsRewrite = true;
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::AddDirectory(FileId parent, std::string_view name, time_t mtime, FileId& out) {
    std::lock_guard lock(m_mutex);
    uint32_t id = 0;
    NTSTATUS status = InsertNode(static_cast<uint32_t>(std::min<FileId>(parent, kSimNoNode)), name, kSimDirectory,
                                 FILE_ATTRIBUTE_DIRECTORY, mtime, id);
    out = id;
    return status;
}

NTSTATUS SimVolume::ClaimRuns(const std::vector<SimRun>& runs, bool compressed, std::string& why) const {
    Vcn previous = 0;
    std::vector<std::pair<Lcn, uint64_t>> claimed;
    for (const SimRun& run : runs) {
        if (run.nextVcn <= previous) {
            why = "runs must cover increasing VCNs";
            return STATUS_INVALID_PARAMETER;
        }
        uint64_t length = run.nextVcn - previous;
        if (run.lcn != kVirtualLcn) {
            if (run.lcn >= m_totalClusters || length > m_totalClusters - run.lcn) {
                why = "a run lies outside the volume";
                return STATUS_INVALID_PARAMETER;
            }
            if (!m_bitmap.AllClear(run.lcn, length)) {
                why = "a run lies on allocated clusters";
                return STATUS_ALREADY_COMMITTED;
            }
            for (const auto& [lcn, count] : claimed) {
                if (run.lcn < lcn + count && lcn < run.lcn + length) {
                    why = "two runs share clusters";
                    return STATUS_ALREADY_COMMITTED;
                }
            }
            if (claimed.size() < 64) {  // long lists: overlaps among them are caught by the full check
                claimed.emplace_back(run.lcn, length);
            }
        }
        previous = run.nextVcn;
    }
    if (compressed && previous % 16 != 0) {
        why = "a compressed file covers whole 16-cluster units";
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::AddFile(FileId parent, std::string_view name, time_t mtime, uint64_t sizeBytes, SimFileKind kind,
                            std::vector<SimRun> runs, FileId& out) {
    std::lock_guard lock(m_mutex);
    bool ntfs = m_fileSystem == SimFileSystem::Ntfs;
    if (!ntfs && (kind == SimFileKind::Compressed || kind == SimFileKind::Sparse)) {
        return STATUS_INVALID_PARAMETER;
    }
    bool hasVirtual = std::any_of(runs.begin(), runs.end(), [](const SimRun& r) { return r.lcn == kVirtualLcn; });
    if (hasVirtual && kind != SimFileKind::Compressed && kind != SimFileKind::Sparse) {
        return STATUS_INVALID_PARAMETER;
    }
    std::string why;
    NTSTATUS status = ClaimRuns(runs, kind == SimFileKind::Compressed, why);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    uint16_t flags = 0;
    uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE;
    switch (kind) {
        case SimFileKind::Compressed:
            flags = kSimCompressed;
            attributes |= FILE_ATTRIBUTE_COMPRESSED;
            break;
        case SimFileKind::Sparse:
            flags = kSimSparse;
            attributes |= FILE_ATTRIBUTE_SPARSE_FILE;
            break;
        case SimFileKind::PageFile:
            flags = kSimPageFile;
            attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
            break;
        case SimFileKind::Normal:
            break;
    }
    uint32_t id = 0;
    status = InsertNode(static_cast<uint32_t>(std::min<FileId>(parent, kSimNoNode)), name, flags, attributes, mtime, id);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    for (const SimRun& run : runs) {
        if (run.lcn != kVirtualLcn) {
            Vcn start = &run == runs.data() ? 0 : (&run - 1)->nextVcn;
            m_bitmap.Set(run.lcn, run.nextVcn - start);
        }
    }
    m_nodes[id].size = sizeBytes;
    m_nodes[id].runs = std::move(runs);
    out = id;
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::SetDirectoryRuns(FileId directory, std::vector<SimRun> runs) {
    std::lock_guard lock(m_mutex);
    if (directory >= m_nodes.size() || !m_nodes[directory].IsDirectory() ||
        std::any_of(runs.begin(), runs.end(), [](const SimRun& r) { return r.lcn == kVirtualLcn; })) {
        return STATUS_INVALID_PARAMETER;
    }
    SimNode& node = m_nodes[directory];
    Vcn previous = 0;
    for (const SimRun& run : node.runs) {  // release the old runs first
        m_bitmap.Clear(run.lcn, run.nextVcn - previous);
        previous = run.nextVcn;
    }
    std::string why;
    NTSTATUS status = ClaimRuns(runs, false, why);
    previous = 0;
    for (const SimRun& run : status == STATUS_SUCCESS ? runs : node.runs) {
        m_bitmap.Set(run.lcn, run.nextVcn - previous);
        previous = run.nextVcn;
    }
    if (status == STATUS_SUCCESS) {
        node.runs = std::move(runs);
        node.size = node.VirtualLength() * m_bytesPerCluster;
        m_needsRewrite = true;
    }
    return status;
}

NTSTATUS SimVolume::Lookup(std::string_view path, FileId& out) const {
    std::lock_guard lock(m_mutex);
    uint32_t id = 0;
    NTSTATUS status = Resolve(path, id);
    out = id;
    return status;
}

std::string SimVolume::PathOfLocked(uint32_t id) const {
    std::vector<std::string_view> parts;
    for (uint32_t at = id; at < m_nodes.size() && at != kRootId; at = m_nodes[at].parent) {
        parts.push_back(NameOf(m_nodes[at]));
        if (m_nodes[at].parent == kSimNoNode) {
            break;
        }
    }
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!path.empty()) {
            path += '\\';
        }
        path.append(*it);
    }
    return path;
}

std::string SimVolume::PathOf(FileId id) const {
    std::lock_guard lock(m_mutex);
    return id < m_nodes.size() ? PathOfLocked(static_cast<uint32_t>(id)) : std::string();
}

std::vector<SimRun> SimVolume::Runs(FileId id) const {
    std::lock_guard lock(m_mutex);
    return id < m_nodes.size() ? m_nodes[id].runs : std::vector<SimRun>();
}

bool SimVolume::IsFree(Lcn lcn, uint64_t count) const {
    std::lock_guard lock(m_mutex);
    return lcn < m_totalClusters && count <= m_totalClusters - lcn && m_bitmap.AllClear(lcn, count);
}

bool SimVolume::CopyAllocation(SimBitmap& out) const {
    std::lock_guard lock(m_mutex);
    try {
        out = m_bitmap;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

uint64_t SimVolume::TotalClusters() const { return m_totalClusters; }
uint32_t SimVolume::BytesPerCluster() const { return m_bytesPerCluster; }
SimFileSystem SimVolume::FileSystem() const { return m_fileSystem; }

uint64_t SimVolume::FreeClusters() const {
    std::lock_guard lock(m_mutex);
    return m_totalClusters - m_bitmap.CountSet();
}

SimNtfsLayout SimVolume::NtfsLayout() const {
    std::lock_guard lock(m_mutex);
    return m_ntfs;
}

size_t SimVolume::NodeCount() const {
    std::lock_guard lock(m_mutex);
    return m_nodes.size();
}

uint64_t SimVolume::CompletedMoves() const {
    std::lock_guard lock(m_mutex);
    return m_moves;
}

SimFaults SimVolume::Faults() const {
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void SimVolume::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_bitmapReads = 0;
    m_calls = 0;
    m_needsRewrite = true;
}

void SimVolume::SetCheckMode(SimCheckMode mode) {
    std::lock_guard lock(m_mutex);
    m_checkMode = mode;
}

std::string SimVolume::BackingPath() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}

bool SimVolume::IsReadOnly() const {
    std::lock_guard lock(m_mutex);
    return m_readOnly;
}

NTSTATUS SimVolume::GetVolumeInformation(VolumeInformation& out) {
    std::lock_guard lock(m_mutex);
    out.volumeName = m_volumeName;
    out.serialNumber = m_serialNumber;
    out.fileSystemName = SimFileSystemName(m_fileSystem);
    if (m_fileSystem == SimFileSystem::Ntfs) {
        out.maximumComponentLength = 255;
        out.fileSystemFlags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
                              FILE_PERSISTENT_ACLS | FILE_FILE_COMPRESSION | FILE_SUPPORTS_SPARSE_FILES;
    } else {
        out.maximumComponentLength = 255;
        out.fileSystemFlags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    }
    if (m_readOnly || m_faults.writeProtected) {
        out.fileSystemFlags |= FILE_READ_ONLY_VOLUME;
    }
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::GetDiskFreeSpace(DiskFreeSpace& out) {
    std::lock_guard lock(m_mutex);
    if (m_faults.freeSpaceFails) {
        return STATUS_UNSUCCESSFUL;
    }
    auto clamp = [](uint64_t v) { return static_cast<DWORD>(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
    out.bytesPerSector = m_bytesPerSector;
    out.sectorsPerCluster = m_bytesPerCluster / m_bytesPerSector;
    out.totalNumberOfClusters = clamp(m_totalClusters);
    out.numberOfFreeClusters = clamp(m_totalClusters - m_bitmap.CountSet());
    return STATUS_SUCCESS;
}

UINT SimVolume::GetDriveType() { return m_driveType; }

FsctlResult SimVolume::GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) {
    std::lock_guard lock(m_mutex);
    if (m_fileSystem != SimFileSystem::Ntfs) {
        return {STATUS_INVALID_DEVICE_REQUEST, 0, STATUS_INVALID_DEVICE_REQUEST};
    }
    std::memset(&out, 0, sizeof out);
    out.VolumeSerialNumber.QuadPart = m_serialNumber;
    out.NumberSectors.QuadPart = static_cast<LONGLONG>(m_totalClusters * (m_bytesPerCluster / m_bytesPerSector));
    out.TotalClusters.QuadPart = static_cast<LONGLONG>(m_totalClusters);
    out.FreeClusters.QuadPart = static_cast<LONGLONG>(m_totalClusters - m_bitmap.CountSet());
    out.BytesPerSector = m_bytesPerSector;
    out.BytesPerCluster = m_bytesPerCluster;
    out.BytesPerFileRecordSegment = 1024;
    out.ClustersPerFileRecordSegment = 1024 / m_bytesPerCluster;
    out.MftValidDataLength.QuadPart = static_cast<LONGLONG>(m_ntfs.mftValidDataLength);
    out.MftStartLcn.QuadPart = static_cast<LONGLONG>(m_ntfs.mftStart);
    out.Mft2StartLcn.QuadPart = static_cast<LONGLONG>(m_ntfs.mft2Start);
    out.MftZoneStart.QuadPart = static_cast<LONGLONG>(m_ntfs.mftZoneStart);
    out.MftZoneEnd.QuadPart = static_cast<LONGLONG>(m_ntfs.mftZoneEnd);
    return {STATUS_SUCCESS, sizeof out, STATUS_SUCCESS};
}

FsctlResult SimVolume::GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) {
    std::lock_guard lock(m_mutex);
    if (out == nullptr || outLength < kVolumeBitmapHeaderSize) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    if (startingLcn >= m_totalClusters) {
        return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
    }
    Lcn start = startingLcn & ~Lcn{7};  // delivered from a byte boundary
    uint64_t clusters = m_totalClusters - start;
    uint64_t needed = (clusters + 7) / 8;
    uint64_t room = outLength - kVolumeBitmapHeaderSize;
    bool overflow = needed > room;
    if (m_faults.bitmapOverflowReads != 0 && (m_faults.bitmapOverflowReads == ~0u || m_bitmapReads < m_faults.bitmapOverflowReads)) {
        overflow = true;  // injected: deliver one byte less than the volume has
        room = std::min<uint64_t>(room, needed - 1);
    }
    ++m_bitmapReads;
    uint64_t delivered = std::min(needed, room);
    auto* header = static_cast<VOLUME_BITMAP_BUFFER*>(out);
    header->StartingLcn.QuadPart = static_cast<LONGLONG>(start);
    header->BitmapSize.QuadPart = static_cast<LONGLONG>(clusters);
    m_bitmap.CopyBytes(start, static_cast<size_t>(delivered), static_cast<uint8_t*>(out) + kVolumeBitmapHeaderSize);
    NTSTATUS status = overflow ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, static_cast<size_t>(kVolumeBitmapHeaderSize + delivered), status};
}

DirectoryEntry SimVolume::EntryOf(uint32_t id) const {
    const SimNode& node = m_nodes[id];
    DirectoryEntry entry;
    entry.name = NameOf(node);
    entry.shortName = ShortNameOf(node);
    entry.attributes = node.attributes;
    entry.lastWriteTime.dwLowDateTime = static_cast<DWORD>(node.lastWrite);
    entry.lastWriteTime.dwHighDateTime = static_cast<DWORD>(node.lastWrite >> 32);
    entry.size = node.IsDirectory() ? 0 : node.size;
    entry.id = id;
    return entry;
}

NTSTATUS SimVolume::ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) {
    std::lock_guard lock(m_mutex);
    uint32_t id = 0;
    NTSTATUS status = Resolve(directoryPath, id);
    if (status != STATUS_SUCCESS || !m_nodes[id].IsDirectory()) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    out.clear();
    for (uint32_t child = m_nodes[id].firstChild; child != kSimNoNode; child = m_nodes[child].nextSibling) {
        out.push_back(EntryOf(child));
    }
    return STATUS_SUCCESS;
}

NTSTATUS SimVolume::StatFile(std::string_view path, DirectoryEntry& out) {
    std::lock_guard lock(m_mutex);
    uint32_t id = 0;
    NTSTATUS status = Resolve(path, id);
    if (status == STATUS_SUCCESS) {
        out = EntryOf(id);
    }
    return status;
}

NTSTATUS SimVolume::OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) {
    (void)request;
    std::lock_guard lock(m_mutex);
    uint32_t id = 0;
    NTSTATUS status = Resolve(path, id);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (m_nodes[id].flags & kSimPageFile) {
        return STATUS_SHARING_VIOLATION;  // the system holds its page file open
    }
    std::string_view given = path;
    while (!given.empty() && given.front() == '\\') {
        given.remove_prefix(1);
    }
    for (const std::string& refused : m_faults.unopenable) {
        std::string_view r = refused;
        while (!r.empty() && r.front() == '\\') {
            r.remove_prefix(1);
        }
        if (NamesEqual(r, given)) {
            return STATUS_SHARING_VIOLATION;
        }
    }
    out = id;
    return STATUS_SUCCESS;
}

bool SimVolume::NextCallPends() {
    ++m_calls;
    return m_faults.pendingEvery != 0 && m_calls % m_faults.pendingEvery == 0;
}

FsctlResult SimVolume::GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) {
    std::lock_guard lock(m_mutex);
    if (file >= m_nodes.size() || (m_nodes[file].flags & kSimMetadata)) {
        return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
    }
    if (out == nullptr || outLength < sizeof(RETRIEVAL_POINTERS_BUFFER)) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    bool pends = NextCallPends();
    const std::vector<SimRun>& runs = m_nodes[file].runs;
    auto first = std::upper_bound(runs.begin(), runs.end(), startingVcn,
                                  [](Vcn v, const SimRun& r) { return v < r.nextVcn; });
    if (first == runs.end()) {
        return {STATUS_END_OF_FILE, 0, STATUS_END_OF_FILE};
    }
    size_t index = static_cast<size_t>(first - runs.begin());
    Vcn start = index == 0 ? 0 : runs[index - 1].nextVcn;
    size_t room = (outLength - kRetrievalPointersHeaderSize) / sizeof(RETRIEVAL_POINTERS_EXTENT);
    size_t count = std::min(room, runs.size() - index);
    auto* buffer = static_cast<RETRIEVAL_POINTERS_BUFFER*>(out);
    buffer->ExtentCount = static_cast<DWORD>(count);
    buffer->StartingVcn.QuadPart = static_cast<LONGLONG>(start);
    auto* extents = reinterpret_cast<RETRIEVAL_POINTERS_EXTENT*>(static_cast<uint8_t*>(out) + kRetrievalPointersHeaderSize);
    for (size_t i = 0; i < count; ++i) {
        extents[i].NextVcn.QuadPart = static_cast<LONGLONG>(runs[index + i].nextVcn);
        extents[i].Lcn.QuadPart = static_cast<LONGLONG>(runs[index + i].lcn);
    }
    NTSTATUS status = count < runs.size() - index ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    size_t bytes = kRetrievalPointersHeaderSize + count * sizeof(RETRIEVAL_POINTERS_EXTENT);
    return {pends ? STATUS_PENDING : status, bytes, status};
}

}  // namespace tarvo::platform
