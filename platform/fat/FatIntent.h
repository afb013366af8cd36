// FatIntent.h --- the record, kept outside the volume, of the moves in flight on a FAT volume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::platform {

// One move of a file's cluster range: the clusters left, the clusters taken, and
// what points at the range (the previous cluster's FAT entry, or the directory
// entry when the range starts the file).
struct FatMoveRecord {
    bool fromEntry = false;        // true: the directory entry at entryOffset points at the range
    uint64_t entryOffset = 0;      // byte offset of the 32-byte entry on the device
    uint32_t previousCluster = 0;  // otherwise: the cluster whose FAT entry points at the range
    uint32_t target = 0;           // first target cluster; the range goes to target .. target + n - 1
    uint32_t successor = 0;        // the FAT value the range's last cluster held (next cluster or end mark)
    std::vector<uint32_t> oldClusters;
    // The step of its batch in which the move is written: a move whose target
    // lies in clusters that moves of earlier steps leave is written only after
    // their switches are durable.
    uint32_t generation = 0;
    // Fingerprint (FatDataHash) of the data copied into the target; records
    // before version 3 have none, and their moves are judged by their links alone.
    bool hasDataHash = false;
    uint64_t dataHash = 0;
};

// While we hold a volume dirty, its record names the volume and the moves whose
// FAT and directory writes may be under way. No file has two moves in one
// record, no two moves share a target or an old cluster, and a target may lie
// in the old clusters of another move only when that move has an earlier
// generation. With it the next open finishes or undoes each move. Kept in
// $TARVO_HOME/fat-intent/, one file per volume path.
struct FatIntent {
    uint32_t volumeSerial = 0;
    uint64_t totalSectors = 0;
    uint32_t clusterCount = 0;
    std::vector<FatMoveRecord> moves;  // empty: the volume is ours but no move is in flight
};

// The record's path for a device (its real path, hashed).
std::string FatIntentPath(const std::string& deviceName);

// Replaces the record atomically and durably (temporary file, fdatasync, rename, fsync of the folder).
bool WriteFatIntent(const std::string& path, const FatIntent& intent, std::string& error);

// Reads the record. Answers false with an empty error when there is none, with
// a message when it exists but cannot be read whole.
bool ReadFatIntent(const std::string& path, FatIntent& out, std::string& error);

// Removes the record durably; a missing record is fine.
bool RemoveFatIntent(const std::string& path, std::string& error);

}  // namespace tarvo::platform
