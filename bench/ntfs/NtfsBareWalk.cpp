// NtfsBareWalk.cpp --- a plain libntfs-3g walk of a volume: what any reader of the tree must at least do.
#include "NtfsBareWalk.h"

#include <cstring>
#include <vector>

#include "platform/ntfs/NtfsLib.h"

namespace tarvo::bench {

namespace {

struct Child {
    uint64_t record;
    bool directory;
};

int CollectChild(void* context, const ntfschar* name, const int nameLength, const int nameType, const s64,
                 const MFT_REF mref, const unsigned type) {
    auto* children = static_cast<std::vector<Child>*>(context);
    if (nameType == FILE_NAME_DOS) {
        return 0;  // the short name of a file listed under its long name
    }
    if (nameLength <= 2 && name[0] == const_cpu_to_le16('.') &&
        (nameLength == 1 || name[1] == const_cpu_to_le16('.'))) {
        return 0;
    }
    const uint64_t record = MREF(mref);
    if (record < 24) {  // the volume's own files and reserved records
        return 0;
    }
    children->push_back({record, type == NTFS_DT_DIR});
    return 0;
}

void Walk(ntfs_volume* vol, uint64_t directory, BareWalkFigures& out) {
    std::vector<Child> children;
    ntfs_inode* dir = ntfs_inode_open(vol, directory);
    if (dir == nullptr) {
        return;
    }
    s64 position = 0;
    ntfs_readdir(dir, &position, &children, CollectChild);
    ntfs_inode_close(dir);
    for (const Child& child : children) {
        if (child.directory) {
            ++out.directories;
            Walk(vol, child.record, out);
            continue;
        }
        ++out.files;
        ntfs_inode* ni = ntfs_inode_open(vol, child.record);
        if (ni == nullptr) {
            continue;
        }
        ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
        if (na != nullptr) {
            if (NAttrNonResident(na) && ntfs_attr_map_whole_runlist(na) == 0 && na->rl != nullptr) {
                int real = 0;
                for (runlist_element* r = na->rl; r->length != 0; ++r) {
                    real += r->lcn >= 0 ? 1 : 0;
                }
                out.fragmentedFiles += real > 1 ? 1 : 0;
            }
            ntfs_attr_close(na);
        }
        ntfs_inode_close(ni);
    }
}

}  // namespace

bool BareWalk(const std::string& image, BareWalkFigures& out, std::string& error) {
    std::lock_guard<std::recursive_mutex> lock(platform::NtfsLibraryMutex());
    platform::QuietNtfsLibrary();
    ntfs_volume* vol = ntfs_mount(image.c_str(), NTFS_MNT_RDONLY);
    if (vol == nullptr) {
        error = image + ": " + std::strerror(errno);
        return false;
    }
    Walk(vol, FILE_root, out);
    const s64 bytes = vol->lcnbmp_na->data_size;
    std::vector<uint8_t> bitmap(static_cast<size_t>(bytes));
    out.bitmapBytes = static_cast<uint64_t>(std::max<s64>(0, ntfs_attr_pread(vol->lcnbmp_na, 0, bytes, bitmap.data())));
    ntfs_umount(vol, ::FALSE);
    return true;
}

}  // namespace tarvo::bench
