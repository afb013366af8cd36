// NtfsIntent.cpp --- reading and writing the intent record, and the torn-record test.
#include "platform/ntfs/NtfsIntent.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/core/TarvoHome.h"

namespace tarvo::platform {

namespace {

// Version 1 records carry no fingerprints and no writes to repeat. Version 2
// records were first one file with their writes to repeat inline and hashes
// of four lanes, then two slots with hashes of four lanes, now of eight; all are read.
constexpr char kMagic[8] = {'T', 'V', 'N', 'T', 'I', 'N', 'T', '2'};
constexpr char kMagicVersion1[8] = {'T', 'V', 'N', 'T', 'I', 'N', 'T', '1'};
constexpr uint64_t kMaxRecordBytes = 1 << 20;
constexpr uint64_t kMaxRedoBytes = 1ULL << 30;

uint64_t Fnv1a(const uint8_t* data, size_t length) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < length; ++i) {
        h = (h ^ data[i]) * 0x100000001b3ULL;
    }
    return h;
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// Reads little-endian values from a byte vector, failing past its end.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    bool Get64(uint64_t& v) {
        if (m_bytes.size() - m_pos < 8) {
            return false;
        }
        v = 0;
        for (int i = 0; i < 8; ++i) {
            v |= uint64_t{m_bytes[m_pos + i]} << (8 * i);
        }
        m_pos += 8;
        return true;
    }
    bool GetBytes(std::vector<uint8_t>& out, uint64_t length) {
        if (length > m_bytes.size() - m_pos) {
            return false;
        }
        out.assign(m_bytes.begin() + static_cast<long>(m_pos), m_bytes.begin() + static_cast<long>(m_pos + length));
        m_pos += length;
        return true;
    }
    bool AtEnd() const { return m_pos == m_bytes.size(); }
    size_t Position() const { return m_pos; }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_pos = 0;
};

int SyncDirectoryOf(const std::string& path) {
    std::string dir = path.substr(0, path.find_last_of('/'));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return errno;
    }
    int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return rc;
}

}  // namespace

NtfsIntentStore::NtfsIntentStore(uint64_t serial) {
    char name[64];
    std::snprintf(name, sizeof(name), "ntfs-intent-%016" PRIx64, serial);
    m_path = TarvoHomePath(name);
}

bool NtfsIntentStore::Exists() const {
    return ::access(SlotPath(0).c_str(), F_OK) == 0 || ::access(SlotPath(1).c_str(), F_OK) == 0;
}

std::string NtfsIntentStore::SlotPath(int slot) const { return slot == 0 ? m_path : m_path + ".1"; }

namespace {

// A record as written: its head (everything but the data to repeat, each
// block with its length and hash, then the head's own hash) and the blocks.
struct Serialised {
    std::vector<uint8_t> head;
    std::vector<DeviceWriteView> blocks;
};

Serialised Serialise(const NtfsIntent& intent, const std::vector<DeviceWriteView>& more, uint64_t sequence) {
    Serialised out;
    std::vector<uint8_t>& head = out.head;
    head.assign(kMagic, kMagic + sizeof(kMagic));
    Put64(head, intent.serial);
    Put64(head, sequence);
    Put64(head, intent.dirtySetByUs ? 1 : 0);
    Put64(head, intent.runs.size());
    for (const auto& run : intent.runs) {
        Put64(head, run.lcn);
        Put64(head, run.length);
    }
    Put64(head, intent.records.size());
    for (const auto& record : intent.records) {
        Put64(head, record.pieces.size());
        for (const auto& piece : record.pieces) {
            Put64(head, piece.offset);
            Put64(head, piece.bytes.size());
            head.insert(head.end(), piece.bytes.begin(), piece.bytes.end());
        }
    }
    Put64(head, intent.copies.size());
    for (const auto& copy : intent.copies) {
        Put64(head, copy.offset);
        Put64(head, copy.length);
        Put64(head, copy.hash);
    }
    for (const auto& write : intent.redo) {
        out.blocks.push_back({write.offset, write.bytes.data(), write.bytes.size()});
    }
    out.blocks.insert(out.blocks.end(), more.begin(), more.end());
    Put64(head, out.blocks.size());
    for (const auto& block : out.blocks) {
        Put64(head, block.offset);
        Put64(head, block.length);
        Put64(head, HashBytes(block.data, block.length));
    }
    Put64(head, HashBytes(head.data(), head.size()));
    return out;
}

// Writes the head and the blocks one after another from the start of the
// file; small blocks are gathered so that few writes carry them.
int WriteAll(int fd, const Serialised& record, uint64_t& size) {
    constexpr size_t kGather = 1 << 20;
    uint64_t position = 0;
    auto put = [&](const uint8_t* data, size_t length) {
        size_t done = 0;
        while (done < length) {
            ssize_t n = ::pwrite(fd, data + done, length - done, static_cast<off_t>(position + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return n < 0 ? errno : EIO;
            }
            done += static_cast<size_t>(n);
        }
        position += length;
        return 0;
    };
    std::vector<uint8_t> gathered = record.head;
    for (const DeviceWriteView& block : record.blocks) {
        if (gathered.size() + block.length > kGather && !gathered.empty()) {
            if (int rc = put(gathered.data(), gathered.size()); rc != 0) {
                return rc;
            }
            gathered.clear();
        }
        if (block.length >= kGather) {
            if (int rc = put(block.data, block.length); rc != 0) {
                return rc;
            }
        } else {
            gathered.insert(gathered.end(), block.data, block.data + block.length);
        }
    }
    size = position + gathered.size();
    return gathered.empty() ? 0 : put(gathered.data(), gathered.size());
}

// A new file: written beside its name, synced, renamed, the folder synced.
int CreateWhole(const std::string& path, const Serialised& record) {
    const std::string temporary = path + ".new";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    uint64_t size = 0;
    int rc = WriteAll(fd, record, size);
    if (rc == 0 && ::fsync(fd) != 0) {
        rc = errno;
    }
    ::close(fd);
    if (rc == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        rc = errno;
    }
    if (rc != 0) {
        ::unlink(temporary.c_str());
        return rc;
    }
    return SyncDirectoryOf(path);
}

// An existing file: overwritten in place and cut to length, one data sync.
int OverwriteInPlace(int fd, const Serialised& record) {
    uint64_t size = 0;
    int rc = WriteAll(fd, record, size);
    if (rc == 0 && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        rc = errno;
    }
    if (rc == 0 && ::fdatasync(fd) != 0) {
        rc = errno;
    }
    return rc;
}

}  // namespace

int NtfsIntentStore::Save(const NtfsIntent& intent, const std::vector<DeviceWriteView>& more) {
    if (m_newest < 0) {
        // Which slot holds the newest whole record: that one is never overwritten.
        NtfsIntent ignored;
        Load(ignored);
    }
    const int slot = m_newest == 0 ? 1 : 0;
    const Serialised record = Serialise(intent, more, m_sequence + 1);
    const std::string path = SlotPath(slot);
    int rc = 0;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        rc = OverwriteInPlace(fd, record);
        ::close(fd);
    } else if (errno == ENOENT) {
        rc = CreateWhole(path, record);
    } else {
        rc = errno;
    }
    if (rc != 0) {
        return rc;
    }
    m_newest = slot;
    ++m_sequence;
    return 0;
}

int NtfsIntentStore::LoadSlot(int slot, NtfsIntent& out, uint64_t& sequence) const {
    FILE* f = std::fopen(SlotPath(slot).c_str(), "rb");
    if (f == nullptr) {
        return errno;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return Parse(std::move(bytes), out, sequence);
}

int NtfsIntentStore::Load(NtfsIntent& out) {
    NtfsIntent intents[2];
    uint64_t sequences[2] = {0, 0};
    int results[2];
    for (int slot = 0; slot < 2; ++slot) {
        results[slot] = LoadSlot(slot, intents[slot], sequences[slot]);
    }
    int newest = -1;
    for (int slot = 0; slot < 2; ++slot) {
        if (results[slot] == 0 && (newest < 0 || sequences[slot] > sequences[newest])) {
            newest = slot;
        }
    }
    if (newest < 0) {
        // Both absent, or what is there is damaged. (A save cut while it
        // overwrote one slot leaves the other whole: slots are created whole.)
        return results[0] == ENOENT && results[1] == ENOENT ? ENOENT : EINVAL;
    }
    m_newest = newest;
    m_sequence = std::max(m_sequence, sequences[newest]);
    out = std::move(intents[newest]);
    return 0;
}

namespace {

// Bytes with the device offset they belong at: offset, length (at most
// `longest`), the bytes.
bool ReadPlacedBytes(Reader& r, uint64_t longest, uint64_t& offset, std::vector<uint8_t>& bytes) {
    uint64_t length = 0;
    return r.Get64(offset) && r.Get64(length) && length <= longest && r.GetBytes(bytes, length);
}

// The part every layout shares: serial, the sequence number (in slot records),
// the dirty flag, the runs and the records' pre-images.
bool ReadRunsAndRecords(Reader& r, size_t total, bool withSequence, NtfsIntent& intent, uint64_t& sequence) {
    std::vector<uint8_t> magic;
    uint64_t dirty = 0, runCount = 0, recordCount = 0;
    sequence = 0;
    if (!r.GetBytes(magic, sizeof(kMagic)) || !r.Get64(intent.serial) || (withSequence && !r.Get64(sequence)) ||
        !r.Get64(dirty) || !r.Get64(runCount) || runCount > total / 16) {
        return false;
    }
    intent.dirtySetByUs = dirty != 0;
    for (uint64_t i = 0; i < runCount; ++i) {
        ClusterRun run;
        if (!r.Get64(run.lcn) || !r.Get64(run.length)) {
            return false;
        }
        intent.runs.push_back(run);
    }
    if (!r.Get64(recordCount)) {
        return false;
    }
    for (uint64_t i = 0; i < recordCount; ++i) {
        uint64_t pieceCount = 0;
        if (!r.Get64(pieceCount) || pieceCount > 64) {
            return false;
        }
        RecordImage image;
        for (uint64_t p = 0; p < pieceCount; ++p) {
            RecordPiece piece;
            if (!ReadPlacedBytes(r, kMaxRecordBytes, piece.offset, piece.bytes)) {
                return false;
            }
            image.pieces.push_back(std::move(piece));
        }
        intent.records.push_back(std::move(image));
    }
    return true;
}

bool ReadCopies(Reader& r, size_t total, NtfsIntent& intent) {
    uint64_t copyCount = 0;
    if (!r.Get64(copyCount) || copyCount > total / 24) {
        return false;
    }
    for (uint64_t i = 0; i < copyCount; ++i) {
        CopyFingerprint copy;
        if (!r.Get64(copy.offset) || !r.Get64(copy.length) || !r.Get64(copy.hash) || copy.length > kMaxRedoBytes) {
            return false;
        }
        intent.copies.push_back(copy);
    }
    return true;
}

}  // namespace

int NtfsIntentStore::Parse(std::vector<uint8_t> bytes, NtfsIntent& out, uint64_t& sequence) {
    if (bytes.size() < sizeof(kMagic) + 8) {
        return EINVAL;
    }
    const bool version1 = std::memcmp(bytes.data(), kMagicVersion1, sizeof(kMagic)) == 0;
    if (!version1 && std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) {
        return EINVAL;
    }
    if (!version1) {
        for (HashLanes lanes : {HashLanes::Eight, HashLanes::Four}) {
            if (ParseSlotRecord(bytes, lanes, out, sequence) == 0) {
                return 0;
            }
        }
    }
    sequence = 0;
    return ParseOneFileRecord(std::move(bytes), version1, out);
}

int NtfsIntentStore::ParseSlotRecord(const std::vector<uint8_t>& bytes, HashLanes lanes, NtfsIntent& out,
                                     uint64_t& sequence) {
    Reader r(bytes);
    NtfsIntent intent;
    intent.fingerprintLanes = lanes;
    uint64_t blockCount = 0;
    if (!ReadRunsAndRecords(r, bytes.size(), true, intent, sequence) || !ReadCopies(r, bytes.size(), intent) ||
        !r.Get64(blockCount) || blockCount > bytes.size() / 24) {
        return EINVAL;
    }
    std::vector<CopyFingerprint> blocks(static_cast<size_t>(blockCount));
    for (CopyFingerprint& block : blocks) {
        if (!r.Get64(block.offset) || !r.Get64(block.length) || !r.Get64(block.hash) || block.length > kMaxRedoBytes) {
            return EINVAL;
        }
    }
    // The head's hash covers everything before it; each block has its own.
    const size_t headLength = r.Position();
    uint64_t headHash = 0;
    if (!r.Get64(headHash) || headHash != HashBytes(bytes.data(), headLength, lanes)) {
        return EINVAL;
    }
    for (const CopyFingerprint& block : blocks) {
        DeviceWrite write;
        write.offset = block.offset;
        if (!r.GetBytes(write.bytes, block.length) ||
            HashBytes(write.bytes.data(), write.bytes.size(), lanes) != block.hash) {
            return EINVAL;
        }
        intent.redo.push_back(std::move(write));
    }
    if (!r.AtEnd()) {
        return EINVAL;
    }
    out = std::move(intent);
    return 0;
}

int NtfsIntentStore::ParseOneFileRecord(std::vector<uint8_t> bytes, bool version1, NtfsIntent& out) {
    std::vector<uint8_t> tail(bytes.end() - 8, bytes.end());
    bytes.resize(bytes.size() - 8);
    uint64_t sum = 0;
    Reader sumReader(tail);
    if (!sumReader.Get64(sum) || sum != (version1 ? Fnv1a(bytes.data(), bytes.size())
                                                  : HashBytes(bytes.data(), bytes.size(), HashLanes::Four))) {
        return EINVAL;
    }
    Reader r(bytes);
    NtfsIntent intent;
    intent.fingerprintLanes = HashLanes::Four;
    uint64_t sequence = 0, redoCount = 0;
    if (!ReadRunsAndRecords(r, bytes.size(), false, intent, sequence)) {
        return EINVAL;
    }
    if (!version1) {
        if (!ReadCopies(r, bytes.size(), intent) || !r.Get64(redoCount) || redoCount > bytes.size() / 16) {
            return EINVAL;
        }
        for (uint64_t i = 0; i < redoCount; ++i) {
            DeviceWrite write;
            if (!ReadPlacedBytes(r, kMaxRedoBytes, write.offset, write.bytes)) {
                return EINVAL;
            }
            intent.redo.push_back(std::move(write));
        }
    }
    if (!r.AtEnd()) {
        return EINVAL;
    }
    out = std::move(intent);
    return 0;
}

int NtfsIntentStore::Remove() {
    int rc = 0;
    for (int slot = 0; slot < 2; ++slot) {
        if (::unlink(SlotPath(slot).c_str()) != 0 && errno != ENOENT && rc == 0) {
            rc = errno;
        }
    }
    m_newest = -1;
    const int synced = SyncDirectoryOf(m_path);
    return rc != 0 ? rc : synced;
}

uint64_t HashBytes(const uint8_t* data, size_t length, HashLanes kind) {
    constexpr uint64_t kPrime = 0x9E3779B97F4A7C15ULL;
    const int laneCount = kind == HashLanes::Eight ? 8 : 4;
    uint64_t lanes[8];
    if (kind == HashLanes::Eight) {
        for (int k = 0; k < 8; ++k) {
            lanes[k] = length + kPrime * static_cast<uint64_t>(k + 1);
        }
    } else {
        lanes[0] = length, lanes[1] = kPrime, lanes[2] = ~length, lanes[3] = kPrime * 3;
    }
    const size_t stride = 8 * static_cast<size_t>(laneCount);
    size_t i = 0;
    for (; i + stride <= length; i += stride) {
        for (int k = 0; k < laneCount; ++k) {
            uint64_t word;
            std::memcpy(&word, data + i + 8 * k, 8);
            lanes[k] = (lanes[k] ^ word) * kPrime;
            lanes[k] ^= lanes[k] >> 31;
        }
    }
    uint64_t h = 0;
    if (kind == HashLanes::Eight) {
        for (int k = 0; k < 8; ++k) {
            h = (h ^ lanes[k]) * kPrime;
            h ^= h >> 29;
        }
    } else {
        h = lanes[0] ^ (lanes[1] * 7) ^ (lanes[2] * 13) ^ (lanes[3] * 31);
    }
    for (; i < length; ++i) {
        h = (h ^ data[i]) * 0x100000001b3ULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

bool MftRecordIsWhole(const std::vector<uint8_t>& record) {
    if (record.size() < 512 || record.size() % 512 != 0 || std::memcmp(record.data(), "FILE", 4) != 0) {
        return false;
    }
    size_t usaOffset = record[4] | (size_t{record[5]} << 8);
    size_t usaCount = record[6] | (size_t{record[7]} << 8);
    size_t blocks = record.size() / 512;
    if (usaCount != blocks + 1 || usaOffset + 2 * usaCount > 512 || (usaOffset & 1) != 0) {
        return false;
    }
    uint8_t usn0 = record[usaOffset], usn1 = record[usaOffset + 1];
    for (size_t i = 0; i < blocks; ++i) {
        size_t end = (i + 1) * 512 - 2;
        if (record[end] != usn0 || record[end + 1] != usn1) {
            return false;
        }
    }
    return true;
}

}  // namespace tarvo::platform
