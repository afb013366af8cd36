// NtfsCheck.cpp --- our own cluster accounting: every MFT record's runs against $Bitmap.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/ntfs/NtfsExternalCheck.h"
#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

namespace {

constexpr size_t kProblemsKept = 20;

bool GetBit(const std::vector<uint8_t>& bits, uint64_t i) { return (bits[i / 8] >> (i % 8)) & 1; }
void SetBit(std::vector<uint8_t>& bits, uint64_t i) { bits[i / 8] |= static_cast<uint8_t>(1u << (i % 8)); }

void Note(ClusterAccounting& out, const char* format, uint64_t a, uint64_t b) {
    if (out.problems.size() < kProblemsKept) {
        char line[160];
        std::snprintf(line, sizeof(line), format, a, b);
        out.problems.push_back(line);
    }
}

}  // namespace

bool CNtfsBackend::BitmapBit(uint64_t lcn, bool& set) {
    uint8_t byte = 0;
    if (ntfs_attr_pread(m_vol->lcnbmp_na, static_cast<s64>(lcn / 8), 1, &byte) != 1) {
        return false;
    }
    set = (byte >> (lcn % 8)) & 1;
    return true;
}

bool CNtfsBackend::AccountClusters(ClusterAccounting& out) {
    try {
        return AccountClustersOrThrow(out);
    } catch (const std::bad_alloc&) {
        out.problems.push_back("not enough memory to account the clusters");
        return false;
    }
}

bool CNtfsBackend::AccountClustersOrThrow(ClusterAccounting& out) {
    out = ClusterAccounting{};
    const uint64_t clusters = static_cast<uint64_t>(m_vol->nr_clusters);
    out.owned.assign((clusters + 7) / 8, 0);
    std::vector<uint8_t> marked((clusters + 7) / 8, 0);
    if (!marked.empty() &&
        ntfs_attr_pread(m_vol->lcnbmp_na, 0, static_cast<s64>(marked.size()), marked.data()) != static_cast<s64>(marked.size())) {
        out.problems.push_back("$Bitmap cannot be read");
        return false;
    }
    const uint64_t records = static_cast<uint64_t>(m_vol->mft_na->initialized_size) / m_vol->mft_record_size;
    std::vector<uint8_t> inUse((records + 7) / 8, 0);
    s64 mftBitmapBytes = std::min<s64>(static_cast<s64>(inUse.size()), m_vol->mftbmp_na->initialized_size);
    if (mftBitmapBytes > 0 && ntfs_attr_pread(m_vol->mftbmp_na, 0, mftBitmapBytes, inUse.data()) != mftBitmapBytes) {
        out.problems.push_back("the $MFT bitmap cannot be read");
        return false;
    }
    for (uint64_t record = 0; record < records; ++record) {
        if (!GetBit(inUse, record)) {
            continue;
        }
        MFT_RECORD* m = nullptr;
        if (ntfs_file_record_read(m_vol, record, &m, nullptr) != 0) {
            Note(out, "MFT record %" PRIu64 " is in use but cannot be read%" PRIu64, record, 0);
            std::free(m);
            out.outsideVolume++;
            continue;
        }
        if (!(m->flags & MFT_RECORD_IN_USE)) {
            std::free(m);
            continue;
        }
        out.recordsWalked++;
        ntfs_attr_search_ctx* ctx = ntfs_attr_get_search_ctx(nullptr, m);
        while (ctx != nullptr && ntfs_attrs_walk(ctx) == 0) {
            ATTR_RECORD* a = ctx->attr;
            if (!a->non_resident) {
                continue;
            }
            runlist_element* rl = ntfs_mapping_pairs_decompress(m_vol, a, nullptr);
            if (rl == nullptr) {
                Note(out, "MFT record %" PRIu64 " has mapping pairs that cannot be read%" PRIu64, record, 0);
                out.outsideVolume++;
                continue;
            }
            for (runlist_element* r = rl; r->length != 0; ++r) {
                if (r->lcn < 0) {
                    continue;
                }
                for (int64_t i = 0; i < r->length; ++i) {
                    uint64_t lcn = static_cast<uint64_t>(r->lcn + i);
                    if (lcn >= clusters) {
                        out.outsideVolume++;
                        Note(out, "MFT record %" PRIu64 " points at cluster %" PRIu64 " outside the volume", record, lcn);
                        break;
                    }
                    if (GetBit(out.owned, lcn)) {
                        out.usedTwice++;
                        Note(out, "cluster %" PRIu64 " is used twice (again by MFT record %" PRIu64 ")", lcn, record);
                    }
                    SetBit(out.owned, lcn);
                }
            }
            std::free(rl);
        }
        if (ctx != nullptr) {
            ntfs_attr_put_search_ctx(ctx);
        }
        std::free(m);
    }
    for (uint64_t lcn = 0; lcn < clusters; ++lcn) {
        bool owned = GetBit(out.owned, lcn), set = GetBit(marked, lcn);
        if (owned && !set) {
            out.ownedButFree++;
            Note(out, "cluster %" PRIu64 " is in use but free in $Bitmap%" PRIu64, lcn, 0);
        } else if (!owned && set) {
            out.markedUnowned++;
            Note(out, "cluster %" PRIu64 " is marked in $Bitmap but no file owns it%" PRIu64, lcn, 0);
        }
    }
    return true;
}

bool CNtfsBackend::CheckConsistency(std::string& report) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    // The accounting reads the medium: the pending moves go there first.
    if (!m_readOnly && !m_broken && Commit() != STATUS_SUCCESS) {
        report = "Writing the pending moves failed.\n";
        return false;
    }
    ClusterAccounting accounting;
    bool read = AccountClusters(accounting);
    char line[256];
    std::snprintf(line, sizeof(line),
                  "NTFS cluster accounting: %" PRIu64 " MFT records, %" PRId64 " clusters; used twice %" PRIu64
                  ", in use but free %" PRIu64 ", marked but unowned %" PRIu64 ", unreadable or outside %" PRIu64 ".\n",
                  accounting.recordsWalked, static_cast<int64_t>(m_vol->nr_clusters), accounting.usedTwice,
                  accounting.ownedButFree, accounting.markedUnowned, accounting.outsideVolume);
    report = line;
    for (const std::string& problem : accounting.problems) {
        report += "  " + problem + "\n";
    }
    bool consistent = read && accounting.usedTwice == 0 && accounting.ownedButFree == 0 &&
                      accounting.markedUnowned == 0 && accounting.outsideVolume == 0;
    if (m_vol->flags & VOLUME_IS_DIRTY) {
        report += m_runDirty ? "The dirty flag is set by the run under way.\n" : "The volume is marked dirty.\n";
    }
    // The independent judges read the medium, so make it current first.
    if (!m_readOnly && FlushDevice() != 0) {
        report += "Flushing the device failed.\n";
        return false;
    }
    std::string external;
    if (!RunExternalNtfsChecks(m_device->Name(), external)) {
        consistent = false;
    }
    report += external;
    return consistent;
}

}  // namespace tarvo::platform
