// NtfsFileFacts.cpp --- opening inodes by MFT record number, and what the backend remembers of each record.
#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

ntfs_inode* CNtfsBackend::OpenInode(uint64_t record) {
    if (m_inFlight != nullptr && m_inFlight->pending.count(record) != 0) {
        // The commit writing it ends first: its inode is closed (or dropped,
        // with m_broken set) by then, so the library never opens one record twice.
        AdvanceCommit(true);
    }
    auto pending = m_pending.find(record);
    if (pending != m_pending.end()) {
        return pending->second.ni;
    }
    return ntfs_inode_open(m_vol, record);
}

void CNtfsBackend::CloseInode(ntfs_inode* ni) {
    if (ni == nullptr) {
        return;
    }
    auto pending = m_pending.find(ni->mft_no);
    if (pending != m_pending.end() && pending->second.ni == ni) {
        return;  // held until the batch commits
    }
    ntfs_inode_close(ni);
}

CachedFile* CNtfsBackend::FileFacts(uint64_t record, ntfs_inode* ni, bool wantRuns) {
    auto known = m_files.find(record);
    if (known != m_files.end() && (!wantRuns || known->second.runsKnown)) {
        return &known->second;
    }
    ntfs_inode* opened = nullptr;
    if (ni == nullptr) {
        opened = ni = OpenInode(record);
        if (ni == nullptr) {
            return nullptr;
        }
    }
    CachedFile& facts = m_files[record];
    facts.openable = Openable(ni);
    if (wantRuns && !facts.runsKnown) {
        facts.runsStatus = facts.openable == STATUS_SUCCESS ? ReadRuns(ni, facts.runs) : facts.openable;
        facts.runsKnown = true;
    }
    CloseInode(opened);
    return &facts;
}

}  // namespace tarvo::platform
