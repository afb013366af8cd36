// SimJournal.h --- the layout of a simulated volume file: snapshot header and journal records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo::platform {

// The file starts with this magic; BackendFactory sniffs it.
constexpr char kSimMagic[8] = {'T', 'A', 'R', 'V', 'O', 'S', 'I', 'M'};
constexpr uint32_t kSimVersion = 1;
constexpr size_t kSimHeaderSize = 192;

// Journal records follow the snapshot; each is 48 bytes with its own checksum,
// so a torn last record is recognised and dropped.
constexpr uint32_t kJournalMagic = 0x4E524A54;  // "TJRN"
constexpr uint32_t kJournalMove = 1;             // a, b, c, d = file, starting VCN, target LCN, count
constexpr uint32_t kJournalRace = 2;             // a = index of the concurrent writer that fired
constexpr size_t kJournalRecordSize = 48;

// A fast 64-bit checksum over bytes.
uint64_t SimChecksum(const void* data, size_t length);

}  // namespace tarvo::platform
