// NtfsIntent.h --- the intent record kept outside the volume while moves are under way.
//
// Before the first write of a run the backend records that it set the volume's
// dirty flag; before each batch of moves it records the clusters the batch may
// leave marked but unowned and the raw pre-image of every MFT record it will
// rewrite; for a batch written at once also the writes to repeat (see
// NtfsIntent). Records are saved so that a crash leaves either the old or the
// new one (see NtfsIntentStore). The next read-write open repeats a batch
// written at once or restores torn MFT records from their pre-images, and
// frees the listed clusters that no file owns.
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

// Bytes written to the device at `offset`.
struct DeviceWrite {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// Bytes to write at `offset`, held by the caller while a record is saved.
struct DeviceWriteView {
    uint64_t offset = 0;
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// Data copied to the device before the intent record was saved: where it
// lies and a hash of its bytes.
struct CopyFingerprint {
    uint64_t offset = 0;
    uint64_t length = 0;
    uint64_t hash = 0;
};

// How a record's hashes were made: with eight lanes, or with the four lanes of
// an earlier version (whose records are still read).
enum class HashLanes { Eight, Four };

struct NtfsIntent {
    uint64_t serial = 0;
    bool dirtySetByUs = false;
    std::vector<ClusterRun> runs;
    std::vector<RecordImage> records;  // pre-images
    // A batch written at once: when every fingerprinted copy is found in
    // place, the next open repeats these writes (the staged copies' data and
    // the records' new images) instead of restoring pre-images.
    std::vector<CopyFingerprint> copies;
    std::vector<DeviceWrite> redo;
    HashLanes fingerprintLanes = HashLanes::Eight;  // how `copies` were hashed
};

// The hash of fingerprints: 64 bits over the bytes, eight words at a time
// (four in records of an earlier version).
uint64_t HashBytes(const uint8_t* data, size_t length, HashLanes lanes = HashLanes::Eight);

// The intent record of one volume, named by its serial number in $TARVO_HOME.
// It lives in two slots (files) used in turn, each record numbered: a save
// overwrites the slot not holding the newest record in place (one data sync),
// so a cut save leaves the other slot whole, and a load takes the newest whole
// record. A slot is created whole (temporary file, sync, rename).
class NtfsIntentStore {
public:
    explicit NtfsIntentStore(uint64_t serial);

    // The first slot's path; the second is the same with ".1".
    std::string Path() const { return m_path; }
    bool Exists() const;
    // Reads the newest whole record; answers an errno (ENOENT when there is
    // none, EINVAL when what is there is damaged).
    int Load(NtfsIntent& out);
    // Saves the record durably, `more` after its own writes to repeat; answers an errno.
    int Save(const NtfsIntent& intent, const std::vector<DeviceWriteView>& more = {});
    // Removes both slots durably; answers an errno (none when they are absent).
    int Remove();

private:
    std::string SlotPath(int slot) const;
    int LoadSlot(int slot, NtfsIntent& out, uint64_t& sequence) const;
    static int Parse(std::vector<uint8_t> bytes, NtfsIntent& out, uint64_t& sequence);
    // The two-slot layout, its hashes made with `lanes`.
    static int ParseSlotRecord(const std::vector<uint8_t>& bytes, HashLanes lanes, NtfsIntent& out, uint64_t& sequence);
    // The one-file layouts that end in a checksum over everything before it:
    // version 1, and version 2 before it had slots (its writes to repeat inline).
    static int ParseOneFileRecord(std::vector<uint8_t> bytes, bool version1, NtfsIntent& out);

    std::string m_path;
    int m_newest = -1;        // the slot holding the newest record, -1 when not known
    uint64_t m_sequence = 0;  // the number of the newest record
};

// True when `record` is a whole MFT record: "FILE" magic and every 512-byte
// block ending in the update sequence number (a torn write breaks that).
bool MftRecordIsWhole(const std::vector<uint8_t>& record);

}  // namespace tarvo::platform
