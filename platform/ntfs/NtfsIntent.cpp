// NtfsIntent.cpp --- reading and writing the intent record, and the torn-record test.
#include "platform/ntfs/NtfsIntent.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/core/TarvoHome.h"

namespace tarvo::platform {

namespace {

constexpr char kMagic[8] = {'T', 'V', 'N', 'T', 'I', 'N', 'T', '1'};
constexpr uint64_t kMaxRecordBytes = 1 << 20;

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

bool NtfsIntentStore::Exists() const { return ::access(m_path.c_str(), F_OK) == 0; }

int NtfsIntentStore::Save(const NtfsIntent& intent) const {
    std::vector<uint8_t> body(kMagic, kMagic + sizeof(kMagic));
    Put64(body, intent.serial);
    Put64(body, intent.dirtySetByUs ? 1 : 0);
    Put64(body, intent.runs.size());
    for (const auto& run : intent.runs) {
        Put64(body, run.lcn);
        Put64(body, run.length);
    }
    Put64(body, intent.records.size());
    for (const auto& record : intent.records) {
        Put64(body, record.pieces.size());
        for (const auto& piece : record.pieces) {
            Put64(body, piece.offset);
            Put64(body, piece.bytes.size());
            body.insert(body.end(), piece.bytes.begin(), piece.bytes.end());
        }
    }
    Put64(body, Fnv1a(body.data(), body.size()));

    std::string temporary = m_path + ".new";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    size_t done = 0;
    while (done < body.size()) {
        ssize_t n = ::write(fd, body.data() + done, body.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            int rc = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temporary.c_str());
            return rc;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        int rc = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return rc;
    }
    ::close(fd);
    if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
        int rc = errno;
        ::unlink(temporary.c_str());
        return rc;
    }
    return SyncDirectoryOf(m_path);
}

int NtfsIntentStore::Load(NtfsIntent& out) const {
    FILE* f = std::fopen(m_path.c_str(), "rb");
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
    if (bytes.size() < sizeof(kMagic) + 8 || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) {
        return EINVAL;
    }
    std::vector<uint8_t> tail(bytes.end() - 8, bytes.end());
    bytes.resize(bytes.size() - 8);
    uint64_t sum = 0;
    Reader sumReader(tail);
    if (!sumReader.Get64(sum) || sum != Fnv1a(bytes.data(), bytes.size())) {
        return EINVAL;
    }
    Reader r(bytes);
    std::vector<uint8_t> magic;
    uint64_t dirty = 0, runCount = 0, recordCount = 0;
    NtfsIntent intent;
    if (!r.GetBytes(magic, sizeof(kMagic)) || !r.Get64(intent.serial) || !r.Get64(dirty) || !r.Get64(runCount)) {
        return EINVAL;
    }
    intent.dirtySetByUs = dirty != 0;
    for (uint64_t i = 0; i < runCount; ++i) {
        ClusterRun run;
        if (!r.Get64(run.lcn) || !r.Get64(run.length)) {
            return EINVAL;
        }
        intent.runs.push_back(run);
    }
    if (!r.Get64(recordCount)) {
        return EINVAL;
    }
    for (uint64_t i = 0; i < recordCount; ++i) {
        uint64_t pieceCount = 0;
        if (!r.Get64(pieceCount) || pieceCount > 64) {
            return EINVAL;
        }
        RecordImage image;
        for (uint64_t p = 0; p < pieceCount; ++p) {
            RecordPiece piece;
            uint64_t length = 0;
            if (!r.Get64(piece.offset) || !r.Get64(length) || length > kMaxRecordBytes ||
                !r.GetBytes(piece.bytes, length)) {
                return EINVAL;
            }
            image.pieces.push_back(std::move(piece));
        }
        intent.records.push_back(std::move(image));
    }
    if (!r.AtEnd()) {
        return EINVAL;
    }
    out = std::move(intent);
    return 0;
}

int NtfsIntentStore::Remove() const {
    if (::unlink(m_path.c_str()) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    return SyncDirectoryOf(m_path);
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
