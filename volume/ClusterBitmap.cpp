// ClusterBitmap.cpp --- the four maps, their upkeep, the extent start index and cluster states.
#include "volume/ClusterBitmap.h"

#include <algorithm>
#include <cstring>

#include "volume/BitScan.h"
#include "volume/DefragJob.h"
#include "volume/FileRecord.h"
#include "volume/MessageIds.h"
#include "volume/VolumeOps.h"

namespace tarvo::volume {

namespace bs = bitscan;

namespace {
constexpr size_t kHeaderWords = 2;
constexpr const char* kInitFailure[4] = {"CClusterBitmap::Init (1)", "CClusterBitmap::Init (2)",
                                         "CClusterBitmap::Init (3)", "CClusterBitmap::Init (4)"};
}  // namespace

CClusterBitmap::CClusterBitmap() = default;
CClusterBitmap::~CClusterBitmap() = default;

uint64_t* CClusterBitmap::Words(ClusterMap map) { return m_maps[static_cast<int>(map)].data() + kHeaderWords; }
const uint64_t* CClusterBitmap::Words(ClusterMap map) const {
    return m_maps[static_cast<int>(map)].data() + kHeaderWords;
}

int CClusterBitmap::Init(CDefragJob& job) {
    std::unique_lock lock(m_lock);
    m_cache.Clear();
    m_ready = false;
    m_job = &job;
    m_total = job.m_totalClusters;
    m_byteCount = (m_total + 7) / 8;
    const size_t words = kHeaderWords + static_cast<size_t>((m_byteCount + 7) / 8) + 1;
    const size_t length = VolumeBitmapBufferSize(m_total);
    // Allocation, volume, start and system map, in that order.
    const ClusterMap order[4] = {ClusterMap::Allocation, ClusterMap::Volume, ClusterMap::Start, ClusterMap::System};
    for (int i = 0; i < 4; ++i) {
        auto& map = m_maps[static_cast<int>(order[i])];
        map.assign(words, 0);
        if (!ReadVolumeBitmap(job, map.data(), length)) {
            VolumeReport(kMsgInternalError, kInitFailure[i]);
            for (auto& m : m_maps) m.clear();
            return 0;
        }
    }
    auto& start = m_maps[static_cast<int>(ClusterMap::Start)];
    std::fill(start.begin() + kHeaderWords, start.end(), 0);
    // Bits past the last cluster are no clusters: keep them clear in every map.
    for (auto& map : m_maps) bs::SetRange(map.data() + kHeaderWords, m_total, (map.size() - kHeaderWords) * 64 - m_total, false);
    m_index.Clear();
    m_ready = true;
    return 1;
}

int CClusterBitmap::Refresh() {
    std::unique_lock lock(m_lock);
    m_cache.Clear();
    if (!m_job || m_maps[1].empty()) return 1;
    auto& map = m_maps[static_cast<int>(ClusterMap::Volume)];
    ReadVolumeBitmap(*m_job, map.data(), VolumeBitmapBufferSize(m_total));
    bs::SetRange(map.data() + kHeaderWords, m_total, (map.size() - kHeaderWords) * 64 - m_total, false);
    return 1;
}

void CClusterBitmap::SetIndexSize(size_t n) {
    std::unique_lock lock(m_lock);
    m_buckets = std::max<size_t>(n, 1);
    m_index.Reserve(m_buckets);
}

bool CClusterBitmap::RegisterFile(FileRecord& file) { return Register(file, false); }
bool CClusterBitmap::RegisterMovedFile(FileRecord& file) { return Register(file, true); }

bool CClusterBitmap::Register(FileRecord& file, bool moved) {
    std::unique_lock lock(m_lock);
    if (moved) m_cache.Clear();
    if (!m_ready) return true;
    Vcn start = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        const Vcn extentStart = start;
        start = pair.nextVcn;
        if (pair.lcn == kVirtualLcn || pair.nextVcn <= extentStart || pair.lcn >= m_total) continue;
        const uint64_t length = std::min(pair.nextVcn - extentStart, m_total - pair.lcn);
        bs::SetRange(Words(ClusterMap::System), pair.lcn, length, false);
        if (moved) bs::SetRange(Words(ClusterMap::Allocation), pair.lcn, length, true);
        if (!bs::TestBit(Words(ClusterMap::Start), pair.lcn)) {
            if (!m_index.Insert(pair.lcn, &file, pair.nextVcn - extentStart)) return false;
            const ExtentIndex::Entry* entered = m_index.Find(pair.lcn);
            if (!entered || entered->file != &file) return false;
            bs::SetRange(Words(ClusterMap::Start), pair.lcn, 1, true);
        }
    }
    return true;
}

void CClusterBitmap::UnregisterFile(FileRecord& file) {
    std::unique_lock lock(m_lock);
    m_cache.Clear();
    if (!m_ready) return;
    Vcn start = 0;
    for (uint32_t i = 0; i < file.PairCount(); ++i) {
        const Pair pair = file.GetPair(i);
        if (pair.nextVcn == 0) break;
        const Vcn extentStart = start;
        start = pair.nextVcn;
        if (pair.lcn == kVirtualLcn || pair.nextVcn <= extentStart || pair.lcn >= m_total) continue;
        const uint64_t length = std::min(pair.nextVcn - extentStart, m_total - pair.lcn);
        bs::SetRange(Words(ClusterMap::Allocation), pair.lcn, length, false);
        if (bs::TestBit(Words(ClusterMap::Start), pair.lcn)) {
            // An extent start shared with another file stays that file's.
            const ExtentIndex::Entry* entry = m_index.Find(pair.lcn);
            if (entry && entry->file != &file) continue;
            if (entry) m_index.Erase(pair.lcn);
            bs::SetRange(Words(ClusterMap::Start), pair.lcn, 1, false);
        }
    }
}

FileRecord* CClusterBitmap::FindFileAt(Lcn lcn) {
    std::shared_lock lock(m_lock);
    return FindFileAtLocked(lcn, nullptr);
}

FileRecord* CClusterBitmap::FindFileAtLocked(Lcn lcn, uint64_t* extentEnd) const {
    if (!m_ready || lcn >= m_total) return nullptr;
    if (!bs::TestBit(Words(ClusterMap::Allocation), lcn) || bs::TestBit(Words(ClusterMap::System), lcn)) return nullptr;
    uint64_t start = bs::PrevSet(Words(ClusterMap::Start), lcn, 0);
    if (start == bs::kNone) start = 0;
    const ExtentIndex::Entry* entry = m_index.Find(start);
    if (!entry) return nullptr;
    if (start + entry->length - 1 < lcn) return nullptr;
    if (extentEnd) *extentEnd = start + entry->length - 1;
    return entry->file;
}

bool CClusterBitmap::IsFileCluster(Lcn lcn) const {
    std::shared_lock lock(m_lock);
    if (!m_ready || lcn >= m_total) return false;
    return bs::TestBit(Words(ClusterMap::Allocation), lcn) && !bs::TestBit(Words(ClusterMap::System), lcn);
}

bool CClusterBitmap::Bit(ClusterMap map, Lcn lcn) const {
    std::shared_lock lock(m_lock);
    if (!m_ready || lcn >= m_total) return false;
    return bs::TestBit(Words(map), lcn);
}

FileRecord* CClusterBitmap::IndexLookup(Lcn start) const {
    std::shared_lock lock(m_lock);
    const ExtentIndex::Entry* entry = m_index.Find(start);
    return entry ? entry->file : nullptr;
}

size_t CClusterBitmap::IndexSize() const {
    std::shared_lock lock(m_lock);
    return m_index.Size();
}

size_t CClusterBitmap::IndexBuckets() const { return m_buckets; }

// The job's IsNtfs without a call into the string library: the map asks it for every run.
static bool JobIsNtfs(const CDefragJob* job) {
    if (!job) return false;
    const std::string& name = job->m_fileSystemName;
    return name.size() == 4 && name[0] == 'N' && name[1] == 'T' && name[2] == 'F' && name[3] == 'S';
}

bool CClusterBitmap::ZoneOf(Lcn& first, Lcn& last) const {
    if (!JobIsNtfs(m_job)) return false;
    first = m_job->m_mftReservedStart;
    last = m_job->m_mftReservedEnd;
    return last != 0 && first <= last;
}

uint64_t CClusterBitmap::RoundedLength(uint64_t length, SearchUnit unit) const {
    if (!JobIsNtfs(m_job) || unit == SearchUnit::Cluster) return length;
    if (length > ~uint64_t{15}) return length;
    return (length + 15) & ~uint64_t{15};
}

int CClusterBitmap::ClusterState(Lcn lcn, Lcn& runEnd) {
    runEnd = 0;
    if (int cached = 0; m_cache.Lookup(lcn, cached)) return cached;
    std::shared_lock lock(m_lock);
    const int code = ClusterStateLocked(lcn, runEnd);
    if (runEnd != 0) {
        m_cache.Store(lcn, runEnd, code);
    }
    return code;
}

// The end of a free run found by 8-cluster steps from lcn (a multiple of 8)
// over whole zero bytes of words, below limit; 0 when the run does not reach
// a whole step (no run is given then).
static Lcn ByteStepRunEnd(const uint64_t* words, Lcn lcn, uint64_t total, uint64_t limit) {
    if (lcn % 8 != 0 || lcn + 8 >= total) return 0;
    // Steps stop at the first byte holding a set bit, at limit, or where a step
    // would reach the volume's end.
    const uint64_t setBit = bs::NextSet(words, lcn, total);
    uint64_t stop = setBit == total ? ~uint64_t{0} : (setBit & ~uint64_t{7});
    const uint64_t endStop = lcn + ((total - 8 - lcn + 7) / 8) * 8;
    stop = std::min(stop, endStop);
    if (limit != ~uint64_t{0}) stop = std::min(stop, lcn + ((limit - lcn + 7) / 8) * 8);
    if (stop <= lcn) return 0;
    return stop - 8;
}

int CClusterBitmap::ClusterStateLocked(Lcn lcn, Lcn& runEnd) {
    if (!m_ready || lcn >= m_total) return kClusterFree;
    const uint64_t* system = Words(ClusterMap::System);
    const uint64_t* allocation = Words(ClusterMap::Allocation);
    const uint64_t* volume = Words(ClusterMap::Volume);
    if (bs::TestBit(system, lcn)) {
        runEnd = bs::NextClear(system, lcn, m_total) - 1;
        return kClusterSystem;
    }
    Lcn zoneFirst = 0, zoneLast = 0;
    const bool zone = ZoneOf(zoneFirst, zoneLast);
    const bool inZone = zone && zoneFirst <= lcn && lcn <= zoneLast;
    if (inZone || bs::TestBit(volume, lcn)) {
        if (bs::TestBit(allocation, lcn)) {
            uint64_t extentEnd = 0;
            FileRecord* file = FindFileAtLocked(lcn, &extentEnd);
            if (!file) return kClusterFree;
            runEnd = extentEnd;
            return file->GetState();
        }
        if (!inZone) return kClusterTempSystem;
        runEnd = ByteStepRunEnd(allocation, lcn, m_total, zoneLast + 1);
        return kClusterMftZone;
    }
    // Free: a run stops short of the MFT zone so that its clusters keep their own colour.
    runEnd = ByteStepRunEnd(volume, lcn, m_total, zone && zoneFirst > lcn ? zoneFirst : ~uint64_t{0});
    return kClusterFree;
}

int CClusterBitmap::VolumeClusterState(Lcn lcn, Lcn& runEnd) {
    runEnd = 0;
    std::shared_lock lock(m_lock);
    if (!m_ready || lcn >= m_total) return kClusterFree;
    const uint64_t* volume = Words(ClusterMap::Volume);
    if (bs::TestBit(volume, lcn)) {
        runEnd = bs::NextClear(volume, lcn, m_total) - 1;
        return kClusterAllocated;
    }
    Lcn zoneFirst = 0, zoneLast = 0;
    const bool zone = ZoneOf(zoneFirst, zoneLast);
    if (zone && zoneFirst <= lcn && lcn <= zoneLast) {
        runEnd = ByteStepRunEnd(Words(ClusterMap::Allocation), lcn, m_total, zoneLast + 1);
        return kClusterMftZone;
    }
    runEnd = ByteStepRunEnd(volume, lcn, m_total, zone && zoneFirst > lcn ? zoneFirst : ~uint64_t{0});
    return kClusterFree;
}

}  // namespace tarvo::volume
