// FileRecord.h --- FileRecord: one file's path, time, extent pair map, flags and state code.
//
// The pair map holds NextVcn and LCN per extent in two parallel arrays with one
// all-zero terminator entry; walks stop at the terminator (a NextVcn of 0).
// State code and flags are single bytes the view reads while the worker writes
// them. The pair map changes only on the worker; the extent reader swaps a new
// map in under the cluster bitmap's lock so that the view never reads a map
// that is being freed.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "volume/VolumeTypes.h"

namespace tarvo::volume {

// Whether a record stands for a file or a directory.
enum class RecordKind { File, Directory };

// State codes of a file (and of its clusters on the map).
constexpr uint8_t kStateCleared = 0;
constexpr uint8_t kStateContiguous = 1;
constexpr uint8_t kStateFragmented = 2;
constexpr uint8_t kStateCompressed = 3;
constexpr uint8_t kStateCompressedFragmented = 4;
constexpr uint8_t kStateWorking = 50;
constexpr uint8_t kStateExcluded = 96;
constexpr uint8_t kStateNotComputed = 101;
constexpr uint8_t kMaxAttempts = 253;

// One extent: its NextVcn and first LCN (kVirtualLcn for a virtual run).
struct Pair {
    Vcn nextVcn = 0;
    Lcn lcn = 0;
    bool operator==(const Pair&) const = default;
};

// The two arrays of a pair map, each count + 1 entries, the last all zero.
struct PairMap {
    std::vector<Vcn> nextVcn;
    std::vector<Lcn> lcn;
    uint32_t count = 0;
    // A map of n pairs, all zero.
    static PairMap Sized(uint32_t n);
};

// Answer of NextPairAfter: found is false only when no pair ends at the VCN
// (the pair is then kNoPair, kNoPair); the terminator answers kPairMapEnd twice.
struct PairLookup {
    bool found = false;
    Vcn nextVcn = kNoPair;
    Lcn lcn = kNoPair;
};

// Answer of LowestExtent.
struct ExtentPosition {
    Lcn lcn = 0;
    Vcn startVcn = 0;
};

class FileRecord {
public:
    // A record in state 101 with no pairs. For a file the modification time is
    // read from the platform (0 when it cannot be read).
    FileRecord(std::string path, RecordKind kind);
    // A file record whose modification time the caller already has (from the
    // directory listing that met it), so the platform is not asked again.
    FileRecord(std::string path, uint32_t modificationTime);
    FileRecord(const FileRecord&) = delete;
    FileRecord& operator=(const FileRecord&) = delete;

    const std::string& Path() const { return m_path; }
    bool IsDirectory() const { return m_directory; }
    uint32_t ModificationTime() const { return m_modificationTime; }
    void SetModificationTime(uint32_t seconds) { m_modificationTime = seconds; }

    // --- pair map ---
    // Drops the old map and makes one of n zero pairs; n = 0 is logged as a diagnostic.
    void CreatePairMap(uint32_t n);
    // Stores pair index. Answers false (and stores nothing) past the map.
    bool SetPair(uint32_t index, Vcn nextVcn, Lcn lcn);
    // Pair index; zeros when the map is empty or index > count (index = count is the terminator).
    Pair GetPair(uint32_t index) const;
    uint32_t PairCount() const { return m_pairs.count; }
    // Replaces the whole map (the extent reader's swap).
    void AdoptPairMap(PairMap map);
    // CreatePairMap with the other's count, then its pairs.
    void CopyPairs(const FileRecord& other);

    // The pair that starts at vcn: pair 0 for vcn 0, else the pair after the one
    // whose NextVcn is vcn. See PairLookup for the markers.
    PairLookup NextPairAfter(Vcn vcn) const;

    // --- fragmentation ---
    // Sets the fragmented and compressed flags afresh; answers the fragmented flag.
    bool IsFragmented();
    // Fragments of the file (0 for fewer than 2 pairs); sets the flags as IsFragmented.
    uint32_t CountFragments();
    // The first break boundary above vcn, or kNoBreak; sets the flags as IsFragmented.
    uint64_t NextBreakAfter(Vcn vcn);
    // The state code: 50..100 unchanged; else computed (1..4) from the flags,
    // re-testing a file that was fragmented, and stored.
    uint8_t GetState();
    // The stored state code, without computing.
    uint8_t StateCode() const { return m_state.load(std::memory_order_relaxed); }
    bool FragmentedFlag() const { return m_fragmented.load(std::memory_order_relaxed); }
    bool CompressedFlag() const { return m_compressed.load(std::memory_order_relaxed); }

    // --- figures ---
    uint64_t AllocatedClusters() const;
    uint64_t VirtualLength() const;
    uint64_t AllocatedClustersAfter(Vcn vcn) const;
    uint64_t ExtentLengthAt(Lcn lcn) const;
    Lcn ExtentStartAt(Lcn lcn) const;
    // The real pair with the lowest LCN (first of equals); false for no pairs.
    bool LowestExtent(ExtentPosition& out) const;

    // --- method state ---
    void MarkWorking();   // state 50; an excluded record keeps 96
    void ClearWorking();  // state 101; an excluded record keeps 96
    void ClearState() { m_state.store(kStateCleared, std::memory_order_relaxed); }
    void SetState(uint8_t code) { m_state.store(code, std::memory_order_relaxed); }
    void SetDone(bool done) { m_done = done; }
    bool IsDone() const { return m_done || StateCode() == kStateExcluded; }
    void SetPlannedLcn(Lcn lcn) { m_plannedLcn = lcn; }
    Lcn PlannedLcn() const { return m_plannedLcn; }
    // Counter + 1 unless already 253 or more; answers the counter.
    uint8_t IncrementAttempts();
    uint8_t Attempts() const { return m_attempts; }
    void SetAttempts(uint8_t attempts) { m_attempts = attempts; }

private:
    template <typename OnBreak>
    void WalkBreaks(bool stopAtFirst, OnBreak&& onBreak);
    uint32_t EndIndex() const;  // index of the terminator (first NextVcn of 0)

    std::string m_path;
    PairMap m_pairs;
    Lcn m_plannedLcn = 0;
    uint32_t m_modificationTime = 0;
    uint8_t m_attempts = 0;
    bool m_directory = false;
    bool m_done = false;
    std::atomic<bool> m_fragmented{false};
    std::atomic<bool> m_compressed{false};
    // The two flags are what IsFragmented's walk of the current pair map gives:
    // the methods ask every record again and again, and most never change.
    std::atomic<bool> m_flagsCurrent{false};
    std::atomic<uint8_t> m_state{kStateNotComputed};
};

}  // namespace tarvo::volume
