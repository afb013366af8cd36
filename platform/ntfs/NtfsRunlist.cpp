// NtfsRunlist.cpp --- reading runlists through libntfs-3g and rewriting them for a move.
#include "platform/ntfs/NtfsRunlist.h"

#include <cerrno>
#include <cstdlib>

namespace tarvo::platform {

namespace {
ntfschar kI30[] = {const_cpu_to_le16('$'), const_cpu_to_le16('I'), const_cpu_to_le16('3'),
                   const_cpu_to_le16('0'), const_cpu_to_le16('\0')};
}  // namespace

namespace {

// The runs of a file whose unnamed $DATA lies whole in its base record, decoded
// straight from the record (no attribute opened, no runlist kept). Answers
// false when the attribute continues elsewhere and the library must map it.
bool ReadBaseRecordRuns(ntfs_inode* ni, NTSTATUS& status, std::vector<NtfsRun>& out) {
    if (NInoAttrList(ni) || (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY)) {
        return false;
    }
    ntfs_attr_search_ctx* ctx = ntfs_attr_get_search_ctx(ni, nullptr);
    if (ctx == nullptr) {
        return false;
    }
    bool done = true;
    status = STATUS_SUCCESS;
    if (ntfs_attr_lookup(AT_DATA, AT_UNNAMED, 0, CASE_SENSITIVE, 0, nullptr, 0, ctx) != 0) {
        status = errno == ENOENT ? STATUS_SUCCESS : STATUS_FILE_CORRUPT_ERROR;
    } else if (ctx->attr->non_resident) {
        ATTR_RECORD* a = ctx->attr;
        runlist_element* rl = sle64_to_cpu(a->lowest_vcn) == 0 ? ntfs_mapping_pairs_decompress(ni->vol, a, nullptr) : nullptr;
        if (rl == nullptr) {
            done = false;
        } else {
            int64_t expected = 0;
            for (const runlist_element* r = rl; r->length != 0; ++r) {
                if (r->length < 0 || r->vcn != expected || (r->lcn < 0 && r->lcn != LCN_HOLE)) {
                    status = STATUS_FILE_CORRUPT_ERROR;
                    break;
                }
                out.push_back({r->vcn, r->lcn < 0 ? -1 : r->lcn, r->length});
                expected = r->vcn + r->length;
            }
            std::free(rl);
            if (status == STATUS_SUCCESS && expected != sle64_to_cpu(a->highest_vcn) + 1) {
                done = false;  // the rest lies in another record
            }
        }
    }
    ntfs_attr_put_search_ctx(ctx);
    if (!done || status != STATUS_SUCCESS) {
        out.clear();
    }
    return done;
}

}  // namespace

NTSTATUS ReadRuns(ntfs_inode* ni, std::vector<NtfsRun>& out) {
    out.clear();
    NTSTATUS quick = STATUS_SUCCESS;
    if (ReadBaseRecordRuns(ni, quick, out)) {
        return quick;
    }
    bool directory = (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) != 0;
    ntfs_attr* na = directory ? ntfs_attr_open(ni, AT_INDEX_ALLOCATION, kI30, 4)
                              : ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
    if (na == nullptr) {
        return errno == ENOENT ? STATUS_SUCCESS : STATUS_FILE_CORRUPT_ERROR;
    }
    if (!NAttrNonResident(na)) {
        ntfs_attr_close(na);
        return STATUS_SUCCESS;
    }
    if (ntfs_attr_map_whole_runlist(na) != 0 || na->rl == nullptr) {
        ntfs_attr_close(na);
        return STATUS_FILE_CORRUPT_ERROR;
    }
    NTSTATUS status = STATUS_SUCCESS;
    int64_t expected = 0;
    for (const runlist_element* rl = na->rl; rl->length != 0; ++rl) {
        if (rl->length < 0 || rl->vcn != expected || (rl->lcn < 0 && rl->lcn != LCN_HOLE)) {
            status = STATUS_FILE_CORRUPT_ERROR;
            break;
        }
        out.push_back({rl->vcn, rl->lcn < 0 ? -1 : rl->lcn, rl->length});
        expected = rl->vcn + rl->length;
    }
    ntfs_attr_close(na);
    if (status != STATUS_SUCCESS) {
        out.clear();
    }
    return status;
}

std::vector<NtfsRun> MergeRuns(const std::vector<NtfsRun>& runs) {
    std::vector<NtfsRun> merged;
    for (const NtfsRun& run : runs) {
        if (run.length <= 0) {
            continue;
        }
        if (!merged.empty()) {
            NtfsRun& last = merged.back();
            bool bothHoles = last.lcn < 0 && run.lcn < 0;
            bool continues = last.lcn >= 0 && run.lcn >= 0 && last.lcn + last.length == run.lcn;
            if (bothHoles || continues) {
                last.length += run.length;
                continue;
            }
        }
        merged.push_back(run);
    }
    return merged;
}

bool RelocateRuns(const std::vector<NtfsRun>& runs, int64_t start, int64_t count, int64_t target,
                  std::vector<NtfsRun>& result, std::vector<NtfsRun>& moved) {
    result.clear();
    moved.clear();
    if (start < 0 || count <= 0 || runs.empty()) {
        return false;
    }
    const int64_t end = start + count;
    const int64_t fileEnd = runs.back().vcn + runs.back().length;
    if (end > fileEnd || end < start) {
        return false;
    }
    int64_t next = target;
    for (const NtfsRun& run : runs) {
        int64_t runEnd = run.vcn + run.length;
        // The part before the range, the part inside it, the part after it.
        int64_t a = std::max(run.vcn, std::min(start, runEnd));
        int64_t b = std::max(a, std::min(end, runEnd));
        if (a > run.vcn) {
            result.push_back({run.vcn, run.lcn, a - run.vcn});
        }
        if (b > a) {
            if (run.lcn < 0) {
                result.push_back({a, -1, b - a});
            } else {
                moved.push_back({a, run.lcn + (a - run.vcn), b - a});
                result.push_back({a, next, b - a});
                next += b - a;
            }
        }
        if (runEnd > b) {
            result.push_back({b, run.lcn < 0 ? -1 : run.lcn + (b - run.vcn), runEnd - b});
        }
    }
    result = MergeRuns(result);
    return true;
}

}  // namespace tarvo::platform
