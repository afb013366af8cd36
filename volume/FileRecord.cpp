// FileRecord.cpp --- a file's pair map, fragmentation walks and figures.
#include "volume/FileRecord.h"

#include "platform/drives/Win32Files.h"
#include "volume/MessageIds.h"

namespace tarvo::volume {

PairMap PairMap::Sized(uint32_t n) {
    PairMap map;
    map.nextVcn.assign(static_cast<size_t>(n) + 1, 0);
    map.lcn.assign(static_cast<size_t>(n) + 1, 0);
    map.count = n;
    return map;
}

FileRecord::FileRecord(std::string path, RecordKind kind)
    : m_path(std::move(path)), m_directory(kind == RecordKind::Directory) {
    if (!m_directory) {
        time_t seconds = 0;
        if (platform::GetFileModificationTime(m_path.c_str(), seconds) && seconds > 0)
            m_modificationTime = static_cast<uint32_t>(seconds);
    }
}

FileRecord::FileRecord(std::string path, uint32_t modificationTime)
    : m_path(std::move(path)), m_modificationTime(modificationTime), m_directory(false) {}

void FileRecord::CreatePairMap(uint32_t n) {
    if (n == 0) VolumeReport(kMsgDiagnostic, "Create Pair Map with 0 Entries.");
    m_pairs = PairMap::Sized(n);
    m_flagsCurrent.store(false, std::memory_order_release);
}

bool FileRecord::SetPair(uint32_t index, Vcn nextVcn, Lcn lcn) {
    if (index >= m_pairs.count) return false;
    m_flagsCurrent.store(false, std::memory_order_release);
    m_pairs.nextVcn[index] = nextVcn;
    m_pairs.lcn[index] = lcn;
    return true;
}

Pair FileRecord::GetPair(uint32_t index) const {
    if (m_pairs.count == 0 || index > m_pairs.count) return {};
    return {m_pairs.nextVcn[index], m_pairs.lcn[index]};
}

void FileRecord::AdoptPairMap(PairMap map) {
    if (map.nextVcn.size() != static_cast<size_t>(map.count) + 1 || map.lcn.size() != map.nextVcn.size())
        map = PairMap::Sized(0);
    m_pairs = std::move(map);
    m_flagsCurrent.store(false, std::memory_order_release);
}

void FileRecord::CopyPairs(const FileRecord& other) {
    CreatePairMap(other.m_pairs.count);
    for (uint32_t i = 0; i < other.m_pairs.count; ++i) SetPair(i, other.m_pairs.nextVcn[i], other.m_pairs.lcn[i]);
}

uint32_t FileRecord::EndIndex() const {
    uint32_t i = 0;
    while (i < m_pairs.count && m_pairs.nextVcn[i] != 0) ++i;
    return i;
}

PairLookup FileRecord::NextPairAfter(Vcn vcn) const {
    const uint32_t end = EndIndex();
    auto at = [&](uint32_t i) -> PairLookup {
        if (i >= end) return {true, kPairMapEnd, kPairMapEnd};
        return {true, m_pairs.nextVcn[i], m_pairs.lcn[i]};
    };
    if (vcn == 0) return at(0);
    for (uint32_t i = 0; i < end; ++i)
        if (m_pairs.nextVcn[i] == vcn) return at(i + 1);
    // A one-pair file asked for a VCN inside its only pair is at its end.
    if (end == 1 && vcn < m_pairs.nextVcn[0]) return {true, kPairMapEnd, kPairMapEnd};
    return {false, kNoPair, kNoPair};
}

// Walks the pairs keeping the expected next LCN. onBreak(k, boundary) is called
// for each real pair k that does not start at the expected LCN and answers
// whether the walk stops. Sets the fragmented and compressed flags.
template <typename OnBreak>
void FileRecord::WalkBreaks(bool stopAtFirst, OnBreak&& onBreak) {
    m_flagsCurrent.store(false, std::memory_order_relaxed);
    m_fragmented.store(false, std::memory_order_relaxed);
    m_compressed.store(false, std::memory_order_relaxed);
    const uint32_t end = EndIndex();
    if (end < 2) return;
    // The first real pair; leading virtual pairs only advance its starting VCN.
    uint32_t first = 0;
    while (first < end && m_pairs.lcn[first] == kVirtualLcn) ++first;
    if (first >= end) return;
    const Vcn firstStart = first == 0 ? 0 : m_pairs.nextVcn[first - 1];
    Lcn expected = m_pairs.lcn[first] + (m_pairs.nextVcn[first] - firstStart);
    for (uint32_t k = first + 1; k < end; ++k) {
        const Lcn lcn = m_pairs.lcn[k];
        const uint64_t length = m_pairs.nextVcn[k] - m_pairs.nextVcn[k - 1];
        if (lcn == kVirtualLcn) {
            m_compressed.store(true, std::memory_order_relaxed);
            continue;
        }
        if (lcn != expected) {
            m_fragmented.store(true, std::memory_order_relaxed);
            const Vcn boundary = k >= 2 ? m_pairs.nextVcn[k - 2] : m_pairs.nextVcn[0];
            if (onBreak(k, boundary) || stopAtFirst) return;
        }
        expected = lcn + length;
    }
}

bool FileRecord::IsFragmented() {
    if (m_flagsCurrent.load(std::memory_order_acquire)) return FragmentedFlag();
    WalkBreaks(true, [](uint32_t, Vcn) { return true; });
    m_flagsCurrent.store(true, std::memory_order_release);
    return FragmentedFlag();
}

uint32_t FileRecord::CountFragments() {
    if (EndIndex() < 2) {
        WalkBreaks(true, [](uint32_t, Vcn) { return true; });
        return 0;
    }
    uint32_t fragments = 1;
    WalkBreaks(false, [&](uint32_t, Vcn) {
        ++fragments;
        return false;
    });
    return fragments;
}

uint64_t FileRecord::NextBreakAfter(Vcn vcn) {
    uint64_t answer = kNoBreak;
    WalkBreaks(false, [&](uint32_t, Vcn boundary) {
        if (boundary > vcn) {
            answer = boundary;
            return true;
        }
        return false;
    });
    return answer;
}

uint8_t FileRecord::GetState() {
    const uint8_t code = StateCode();
    if (code >= 50 && code <= 100) return code;
    if (FragmentedFlag()) IsFragmented();
    const bool fragmented = FragmentedFlag();
    const bool compressed = CompressedFlag();
    const uint8_t computed = compressed ? (fragmented ? kStateCompressedFragmented : kStateCompressed)
                                        : (fragmented ? kStateFragmented : kStateContiguous);
    m_state.store(computed, std::memory_order_relaxed);
    return computed;
}

uint64_t FileRecord::AllocatedClusters() const {
    uint64_t sum = 0;
    Vcn start = 0;
    for (uint32_t i = 0, end = EndIndex(); i < end; start = m_pairs.nextVcn[i], ++i)
        if (m_pairs.lcn[i] != kVirtualLcn) sum += m_pairs.nextVcn[i] - start;
    return sum;
}

uint64_t FileRecord::VirtualLength() const {
    const uint32_t end = EndIndex();
    return end == 0 ? 0 : m_pairs.nextVcn[end - 1];
}

uint64_t FileRecord::AllocatedClustersAfter(Vcn vcn) const {
    const uint32_t end = EndIndex();
    uint32_t i = 0;
    while (i < end && m_pairs.nextVcn[i] != vcn) ++i;
    if (i >= end) return 0;
    uint64_t sum = 0;
    for (uint32_t k = i + 1; k < end; ++k)
        if (m_pairs.lcn[k] != kVirtualLcn) sum += m_pairs.nextVcn[k] - m_pairs.nextVcn[k - 1];
    return sum;
}

uint64_t FileRecord::ExtentLengthAt(Lcn lcn) const {
    Vcn start = 0;
    for (uint32_t i = 0, end = EndIndex(); i < end; start = m_pairs.nextVcn[i], ++i) {
        const uint64_t length = m_pairs.nextVcn[i] - start;
        if (m_pairs.lcn[i] != kVirtualLcn && lcn >= m_pairs.lcn[i] && lcn - m_pairs.lcn[i] < length) return length;
    }
    return 0;
}

Lcn FileRecord::ExtentStartAt(Lcn lcn) const {
    Vcn start = 0;
    for (uint32_t i = 0, end = EndIndex(); i < end; start = m_pairs.nextVcn[i], ++i) {
        const uint64_t length = m_pairs.nextVcn[i] - start;
        if (m_pairs.lcn[i] != kVirtualLcn && lcn >= m_pairs.lcn[i] && lcn - m_pairs.lcn[i] < length)
            return m_pairs.lcn[i];
    }
    return 0;
}

bool FileRecord::LowestExtent(ExtentPosition& out) const {
    const uint32_t end = EndIndex();
    if (end == 0) return false;
    uint32_t best = 0;
    for (uint32_t i = 1; i < end; ++i)
        if (m_pairs.lcn[i] < m_pairs.lcn[best]) best = i;
    out.lcn = m_pairs.lcn[best];
    out.startVcn = best == 0 ? 0 : m_pairs.nextVcn[best - 1];
    return true;
}

void FileRecord::MarkWorking() {
    if (StateCode() != kStateExcluded) m_state.store(kStateWorking, std::memory_order_relaxed);
}

void FileRecord::ClearWorking() {
    if (StateCode() != kStateExcluded) m_state.store(kStateNotComputed, std::memory_order_relaxed);
}

uint8_t FileRecord::IncrementAttempts() {
    if (m_attempts < kMaxAttempts) ++m_attempts;
    return m_attempts;
}

}  // namespace tarvo::volume
