// SimStore.cpp --- the volume file: a binary snapshot written atomically, then a journal of moves.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/sim/SimJournal.h"
#include "platform/sim/SimNames.h"
#include "platform/sim/SimVolume.h"

namespace tarvo::platform {

namespace {
constexpr size_t kNodeRecordSize = 48;
constexpr uint64_t kCompactAfterRecords = 200000;

void Put(std::string& out, const void* data, size_t length) { out.append(static_cast<const char*>(data), length); }
template <typename T>
void PutValue(std::string& out, T value) {
    Put(out, &value, sizeof value);
}
template <typename T>
void PutAt(std::string& out, size_t offset, T value) {
    std::memcpy(out.data() + offset, &value, sizeof value);
}
template <typename T>
T GetAt(const char* data, size_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

// Reads what a reader of the file needs, bounds-checked.
struct Reader {
    const char* data;
    size_t size;
    size_t at = 0;
    bool ok = true;
    template <typename T>
    T Take() {
        T value{};
        if (size - at < sizeof value) {
            ok = false;
            return value;
        }
        std::memcpy(&value, data + at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::string TakeString(size_t length) {
        if (size - at < length) {
            ok = false;
            return {};
        }
        std::string s(data + at, length);
        at += length;
        return s;
    }
};

std::string Errno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

uint64_t SimChecksum(const void* data, size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint64_t hash = 0x9E3779B97F4A7C15ull ^ length;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    for (; i < length; ++i) {
        hash = (hash ^ bytes[i]) * 0xC4CEB9FE1A85EC53ull;
    }
    return hash ^ (hash >> 29);
}

bool SimVolume::IsSimVolumeFile(const void* firstBytes, size_t length) {
    return length >= sizeof kSimMagic && std::memcmp(firstBytes, kSimMagic, sizeof kSimMagic) == 0;
}

std::string SimVolume::Serialize() const {
    std::string body;
    uint64_t runCount = 0;
    for (const SimNode& node : m_nodes) {
        runCount += node.runs.size();
    }
    body.reserve(m_names.size() + m_nodes.size() * kNodeRecordSize + runCount * 16 + 256);
    Put(body, m_names.data(), m_names.size());
    for (const SimNode& node : m_nodes) {
        PutValue<uint32_t>(body, node.parent);
        PutValue<uint32_t>(body, node.nameOffset);
        PutValue<uint32_t>(body, node.shortOffset);
        PutValue<uint16_t>(body, node.nameLength);
        PutValue<uint16_t>(body, node.shortLength);
        PutValue<uint16_t>(body, node.flags);
        PutValue<uint16_t>(body, 0);
        PutValue<uint32_t>(body, node.attributes);
        PutValue<uint64_t>(body, node.lastWrite);
        PutValue<uint64_t>(body, node.size);
        PutValue<uint32_t>(body, static_cast<uint32_t>(node.runs.size()));
        PutValue<uint32_t>(body, 0);
    }
    for (const SimNode& node : m_nodes) {
        if (!node.runs.empty()) {
            Put(body, node.runs.data(), node.runs.size() * sizeof(SimRun));
        }
    }
    size_t faultsStart = body.size();
    PutValue<uint8_t>(body, m_faults.writeProtected);
    PutValue<uint8_t>(body, m_faults.freeSpaceFails);
    PutValue<uint32_t>(body, m_faults.pendingEvery);
    PutValue<uint32_t>(body, m_faults.bitmapOverflowReads);
    PutValue<uint32_t>(body, static_cast<uint32_t>(m_faults.unopenable.size()));
    for (const std::string& path : m_faults.unopenable) {
        PutValue<uint32_t>(body, static_cast<uint32_t>(path.size()));
        Put(body, path.data(), path.size());
    }
    PutValue<uint32_t>(body, static_cast<uint32_t>(m_faults.races.size()));
    for (const SimRace& race : m_faults.races) {
        PutValue<uint64_t>(body, race.afterMove);
        PutValue<uint64_t>(body, race.lcn);
        PutValue<uint64_t>(body, race.count);
        PutValue<uint8_t>(body, race.fired);
    }
    std::string header(kSimHeaderSize, '\0');
    std::memcpy(header.data(), kSimMagic, sizeof kSimMagic);
    PutAt<uint32_t>(header, 8, kSimVersion);
    PutAt<uint32_t>(header, 12, kSimHeaderSize);
    PutAt<uint8_t>(header, 16, static_cast<uint8_t>(m_fileSystem));
    PutAt<uint8_t>(header, 17, static_cast<uint8_t>(m_driveType));
    PutAt<uint32_t>(header, 20, m_bytesPerSector);
    PutAt<uint32_t>(header, 24, m_bytesPerCluster);
    PutAt<uint32_t>(header, 28, m_serialNumber);
    PutAt<uint64_t>(header, 32, m_totalClusters);
    PutAt<uint64_t>(header, 40, m_ntfs.mftStart);
    PutAt<uint64_t>(header, 48, m_ntfs.mft2Start);
    PutAt<uint64_t>(header, 56, m_ntfs.mftZoneStart);
    PutAt<uint64_t>(header, 64, m_ntfs.mftZoneEnd);
    PutAt<uint64_t>(header, 72, m_ntfs.mftValidDataLength);
    PutAt<uint64_t>(header, 80, m_moves);
    PutAt<uint64_t>(header, 88, m_nodes.size());
    PutAt<uint64_t>(header, 96, runCount);
    PutAt<uint64_t>(header, 104, m_names.size());
    PutAt<uint64_t>(header, 112, body.size() - faultsStart);
    PutAt<uint64_t>(header, 120, body.size());
    PutAt<uint64_t>(header, 128, SimChecksum(body.data(), body.size()));
    PutAt<uint32_t>(header, 136, m_foreignNode);
    std::memcpy(header.data() + 144, m_volumeName.data(), std::min<size_t>(m_volumeName.size(), 32));
    PutAt<uint64_t>(header, 184, SimChecksum(header.data(), 184));
    return header + body;
}

bool SimVolume::Deserialize(const std::string& bytes, size_t& snapshotEnd, std::string& error) {
    const char* d = bytes.data();
    if (bytes.size() < kSimHeaderSize || !IsSimVolumeFile(d, bytes.size())) {
        error = "not a simulated volume file";
        return false;
    }
    if (GetAt<uint32_t>(d, 8) != kSimVersion || GetAt<uint32_t>(d, 12) != kSimHeaderSize) {
        error = "simulated volume file of an unknown version";
        return false;
    }
    if (GetAt<uint64_t>(d, 184) != SimChecksum(d, 184)) {
        error = "damaged simulated volume file: header checksum mismatch";
        return false;
    }
    uint64_t nodeCount = GetAt<uint64_t>(d, 88), runCount = GetAt<uint64_t>(d, 96);
    uint64_t namesBytes = GetAt<uint64_t>(d, 104), bodyBytes = GetAt<uint64_t>(d, 120);
    if (bodyBytes > bytes.size() - kSimHeaderSize || namesBytes > bodyBytes || nodeCount == 0 ||
        nodeCount >= kSimNoNode || nodeCount > (bodyBytes - namesBytes) / kNodeRecordSize ||
        runCount > (bodyBytes - namesBytes - nodeCount * kNodeRecordSize) / sizeof(SimRun)) {
        error = "damaged simulated volume file: section sizes do not fit the file";
        return false;
    }
    const char* body = d + kSimHeaderSize;
    if (GetAt<uint64_t>(d, 128) != SimChecksum(body, bodyBytes)) {
        error = "damaged simulated volume file: checksum mismatch";
        return false;
    }
    m_fileSystem = static_cast<SimFileSystem>(GetAt<uint8_t>(d, 16));
    m_driveType = GetAt<uint8_t>(d, 17);
    m_bytesPerSector = GetAt<uint32_t>(d, 20);
    m_bytesPerCluster = GetAt<uint32_t>(d, 24);
    m_serialNumber = GetAt<uint32_t>(d, 28);
    m_totalClusters = GetAt<uint64_t>(d, 32);
    m_ntfs = {GetAt<uint64_t>(d, 40), GetAt<uint64_t>(d, 48), GetAt<uint64_t>(d, 56), GetAt<uint64_t>(d, 64),
              GetAt<uint64_t>(d, 72)};
    m_moves = GetAt<uint64_t>(d, 80);
    m_foreignNode = GetAt<uint32_t>(d, 136);
    m_volumeName.assign(d + 144, strnlen(d + 144, 32));
    if (GetAt<uint8_t>(d, 16) > 2 || m_driveType < DRIVE_REMOVABLE || m_driveType > DRIVE_RAMDISK ||
        m_bytesPerSector < 512 || m_bytesPerCluster < m_bytesPerSector || m_bytesPerCluster > 65536 ||
        m_totalClusters == 0 || m_totalClusters > (uint64_t{1} << 32) || m_foreignNode >= nodeCount) {
        error = "damaged simulated volume file: impossible geometry";
        return false;
    }
    m_names.assign(body, namesBytes);
    m_nodes.assign(nodeCount, SimNode{});
    const char* records = body + namesBytes;
    const char* runs = records + nodeCount * kNodeRecordSize;
    uint64_t runsUsed = 0;
    for (uint64_t i = 0; i < nodeCount; ++i) {
        const char* r = records + i * kNodeRecordSize;
        SimNode& node = m_nodes[i];
        node.parent = GetAt<uint32_t>(r, 0);
        node.nameOffset = GetAt<uint32_t>(r, 4);
        node.shortOffset = GetAt<uint32_t>(r, 8);
        node.nameLength = GetAt<uint16_t>(r, 12);
        node.shortLength = GetAt<uint16_t>(r, 14);
        node.flags = GetAt<uint16_t>(r, 16);
        node.attributes = GetAt<uint32_t>(r, 20);
        node.lastWrite = GetAt<uint64_t>(r, 24);
        node.size = GetAt<uint64_t>(r, 32);
        uint32_t count = GetAt<uint32_t>(r, 40);
        bool listed = node.parent != kSimNoNode;
        if (uint64_t{node.nameOffset} + node.nameLength > namesBytes ||
            uint64_t{node.shortOffset} + node.shortLength > namesBytes || count > runCount - runsUsed ||
            (listed && (node.parent >= i || !m_nodes[node.parent].IsDirectory() ||
                        !IsValidLongName(NameOf(node)))) ||
            (i == kRootId && (listed || !node.IsDirectory()))) {
            error = "damaged simulated volume file: node " + std::to_string(i) + " is malformed";
            return false;
        }
        node.runs.resize(count);
        if (count > 0) {
            std::memcpy(node.runs.data(), runs + runsUsed * sizeof(SimRun), count * sizeof(SimRun));
        }
        runsUsed += count;
        if (listed) {
            SimNode& parent = m_nodes[node.parent];
            if (parent.lastChild == kSimNoNode) {
                parent.firstChild = static_cast<uint32_t>(i);
            } else {
                m_nodes[parent.lastChild].nextSibling = static_cast<uint32_t>(i);
            }
            parent.lastChild = static_cast<uint32_t>(i);
        }
    }
    Reader faults{runs + runCount * sizeof(SimRun), static_cast<size_t>(body + bodyBytes - (runs + runCount * sizeof(SimRun)))};
    m_faults = SimFaults{};
    m_faults.writeProtected = faults.Take<uint8_t>() != 0;
    m_faults.freeSpaceFails = faults.Take<uint8_t>() != 0;
    m_faults.pendingEvery = faults.Take<uint32_t>();
    m_faults.bitmapOverflowReads = faults.Take<uint32_t>();
    for (uint32_t n = faults.Take<uint32_t>(); faults.ok && n > 0; --n) {
        m_faults.unopenable.push_back(faults.TakeString(faults.Take<uint32_t>()));
    }
    for (uint32_t n = faults.Take<uint32_t>(); faults.ok && n > 0; --n) {
        SimRace race;
        race.afterMove = faults.Take<uint64_t>();
        race.lcn = faults.Take<uint64_t>();
        race.count = faults.Take<uint64_t>();
        race.fired = faults.Take<uint8_t>() != 0;
        m_faults.races.push_back(race);
    }
    if (!faults.ok) {
        error = "damaged simulated volume file: the fault list is cut short";
        return false;
    }
    // The bitmap is the union of all runs; a cluster claimed twice is damage.
    if (!m_bitmap.Resize(m_totalClusters)) {
        error = "not enough memory for the cluster bitmap";
        return false;
    }
    for (uint32_t id = 0; id < m_nodes.size(); ++id) {
        Vcn previous = 0;
        for (const SimRun& run : m_nodes[id].runs) {
            uint64_t length = run.nextVcn - previous;
            if (run.nextVcn <= previous || (run.lcn != kVirtualLcn && (run.lcn >= m_totalClusters ||
                                                                       length > m_totalClusters - run.lcn ||
                                                                       !m_bitmap.AllClear(run.lcn, length)))) {
                error = "damaged simulated volume file: the runs of \"" + PathOfLocked(id) +
                        "\" are out of order, outside the volume or on clusters another file owns";
                return false;
            }
            if (run.lcn != kVirtualLcn) {
                m_bitmap.Set(run.lcn, length);
            }
            previous = run.nextVcn;
        }
    }
    RebuildIndex();
    snapshotEnd = kSimHeaderSize + bodyBytes;
    return true;
}

bool SimVolume::ReplayJournal(const std::string& bytes, size_t snapshotEnd, size_t& validEnd, std::string& error) {
    size_t at = snapshotEnd;
    m_journalRecords = 0;
    while (bytes.size() - at >= kJournalRecordSize) {
        const char* r = bytes.data() + at;
        if (GetAt<uint32_t>(r, 0) != kJournalMagic || GetAt<uint64_t>(r, 40) != SimChecksum(r, 40)) {
            break;  // a torn or foreign tail: the moves before it are the volume's state
        }
        uint32_t type = GetAt<uint32_t>(r, 4);
        uint64_t a = GetAt<uint64_t>(r, 8), b = GetAt<uint64_t>(r, 16), c = GetAt<uint64_t>(r, 24),
                 n = GetAt<uint64_t>(r, 32);
        bool applied = false;
        if (type == kJournalMove && a < m_nodes.size()) {
            applied = DoMove(static_cast<uint32_t>(a), b, c, n, false) == STATUS_SUCCESS;
        } else if (type == kJournalRace) {
            applied = ApplyRace(static_cast<size_t>(a));
        }
        if (!applied) {
            error = "damaged simulated volume file: journal record " + std::to_string(m_journalRecords + 1) +
                    " cannot be replayed";
            return false;
        }
        ++m_journalRecords;
        at += kJournalRecordSize;
    }
    validEnd = at;
    return true;
}

std::shared_ptr<SimVolume> SimVolume::Open(const std::string& path, SimAccess access, std::string& error) {
    std::shared_ptr<SimVolume> volume(new SimVolume);
    std::lock_guard lock(volume->m_mutex);
    int fd = -1;
    bool readOnly = access == SimAccess::ReadOnly;
    if (!readOnly) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);  // another process is writing it: look, but do not touch
            fd = -1;
        }
        if (fd < 0 && errno != ENOENT) {
            readOnly = true;
        }
    }
    if (readOnly) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        error = Errno("cannot open", path);
        return nullptr;
    }
    struct stat info {};
    std::string bytes;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        ::close(fd);
        return nullptr;
    }
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    size_t snapshotEnd = 0, validEnd = 0;
    if (!volume->Deserialize(bytes, snapshotEnd, error) || !volume->ReplayJournal(bytes, snapshotEnd, validEnd, error)) {
        error = path + ": " + error;
        ::close(fd);
        return nullptr;
    }
    if (!readOnly && validEnd < bytes.size() && ::ftruncate(fd, static_cast<off_t>(validEnd)) != 0) {
        readOnly = true;
    }
    if (const char* check = std::getenv("TARVO_SIM_CHECK"); check != nullptr && std::strcmp(check, "full") == 0) {
        volume->m_checkMode = SimCheckMode::Full;  // test runs: the whole volume is checked after every move
    }
    volume->m_fd = fd;
    volume->m_path = path;
    volume->m_readOnly = readOnly;
    volume->m_journalEnd = validEnd;
    return volume;
}

bool SimVolume::WriteSnapshotTo(const std::string& path, std::string& error) {
    std::string bytes = Serialize();
    std::string temporary = path + ".new-" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Errno("cannot create", temporary);
        return false;
    }
    if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Errno("cannot write", path);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    std::string folder = std::filesystem::path(path).parent_path().string();
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
    m_path = path;
    m_readOnly = false;
    m_journalEnd = bytes.size();
    m_journalRecords = 0;
    m_needsRewrite = false;
    return true;
}

bool SimVolume::AppendJournal(uint32_t type, uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
    if (m_fd < 0 || m_readOnly) {
        return false;
    }
    char record[kJournalRecordSize];
    std::memcpy(record, &kJournalMagic, 4);
    std::memcpy(record + 4, &type, 4);
    std::memcpy(record + 8, &a, 8);
    std::memcpy(record + 16, &b, 8);
    std::memcpy(record + 24, &c, 8);
    std::memcpy(record + 32, &d, 8);
    uint64_t sum = SimChecksum(record, 40);
    std::memcpy(record + 40, &sum, 8);
    // One write per record: a killed process leaves whole records (the kernel completes issued writes).
    ssize_t n = ::pwrite(m_fd, record, sizeof record, static_cast<off_t>(m_journalEnd));
    if (n != static_cast<ssize_t>(sizeof record)) {
        if (::ftruncate(m_fd, static_cast<off_t>(m_journalEnd)) != 0) {
            m_broken = true;  // the file may end in a partial record; stop moving rather than risk more
        }
        return false;
    }
    m_journalEnd += sizeof record;
    ++m_journalRecords;
    return true;
}

bool SimVolume::SaveAs(const std::string& path, std::string& error) {
    std::lock_guard lock(m_mutex);
    return WriteSnapshotTo(path, error);
}

bool SimVolume::Compact(std::string& error) {
    std::lock_guard lock(m_mutex);
    if (m_path.empty()) {
        error = "the volume has no file";
        return false;
    }
    if (m_readOnly) {
        error = m_path + " is open read-only";
        return false;
    }
    return WriteSnapshotTo(m_path, error);
}

NTSTATUS SimVolume::Flush() {
    std::lock_guard lock(m_mutex);
    if (m_path.empty() || m_readOnly) {
        return STATUS_SUCCESS;
    }
    std::string error;
    if (m_needsRewrite || m_journalRecords >= kCompactAfterRecords) {
        return WriteSnapshotTo(m_path, error) ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
    }
    return ::fdatasync(m_fd) == 0 ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
}

SimVolume::~SimVolume() {
    if (m_fd >= 0) {
        if (!m_readOnly && (m_needsRewrite || m_journalRecords > 0)) {
            std::string ignored;
            WriteSnapshotTo(m_path, ignored);  // fold the journal in; on failure the journal still holds the moves
        }
        ::close(m_fd);
    }
}

}  // namespace tarvo::platform
