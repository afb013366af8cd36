// NtfsIntent.h --- the intent record kept outside the volume while moves are under way.
//
// Before the first write of a run the backend records that it set the volume's
// dirty flag; before each move it records the clusters the move may leave
// marked but unowned and the raw pre-image of every MFT record it will
// rewrite. The record is replaced atomically (temporary file, fsync, rename)
// so a crash leaves either the old or the new one. The next read-write open
// restores torn MFT records from their pre-images and frees the listed
// clusters that no file owns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::platform {

// One contiguous stretch of an MFT record on the device, with its raw bytes.
struct RecordPiece {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// One MFT record (its pieces concatenate to the whole record) as it was
// before our write.
struct RecordImage {
    std::vector<RecordPiece> pieces;
};

struct ClusterRun {
    uint64_t lcn = 0;
    uint64_t length = 0;
};

struct NtfsIntent {
    uint64_t serial = 0;
    bool dirtySetByUs = false;
    std::vector<ClusterRun> runs;
    std::vector<RecordImage> records;
};

// The intent record of one volume, named by its serial number in $TARVO_HOME.
class NtfsIntentStore {
public:
    explicit NtfsIntentStore(uint64_t serial);

    std::string Path() const { return m_path; }
    bool Exists() const;
    // Reads the record; answers an errno (EINVAL for a damaged record).
    int Load(NtfsIntent& out) const;
    // Replaces the record durably; answers an errno.
    int Save(const NtfsIntent& intent) const;
    // Removes the record durably; answers an errno (none when it is absent).
    int Remove() const;

private:
    std::string m_path;
};

// True when `record` is a whole MFT record: "FILE" magic and every 512-byte
// block ending in the update sequence number (a torn write breaks that).
bool MftRecordIsWhole(const std::vector<uint8_t>& record);

}  // namespace tarvo::platform
