// NtfsDirectory.cpp --- the directory tree: listings with long and 8.3 names, path lookup, file opens.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

namespace {

// One name ntfs_readdir delivered.
struct RawName {
    uint64_t record;
    int nameType;
    std::string name;
};

int CollectName(void* context, const ntfschar* name, const int nameLength, const int nameType, const s64,
                const MFT_REF mref, const unsigned) {
    auto& names = *static_cast<std::vector<RawName>*>(context);
    // Most names are plain ASCII: those are taken over directly.
    std::string utf8;
    utf8.reserve(static_cast<size_t>(std::max(nameLength, 0)));
    for (int i = 0; i < nameLength; ++i) {
        const uint16_t c = le16_to_cpu(name[i]);
        if (c == 0 || c >= 0x80) {
            utf8.clear();
            break;
        }
        utf8.push_back(static_cast<char>(c));
    }
    if (utf8.size() != static_cast<size_t>(std::max(nameLength, 0)) || nameLength <= 0) {
        char* text = nullptr;
        if (ntfs_ucstombs(name, nameLength, &text, 0) < 0 || text == nullptr) {
            return 0;  // a name we cannot convert is left out rather than mangled
        }
        utf8 = text;
        std::free(text);
    }
    if (utf8 == "." || utf8 == "..") {
        return 0;
    }
    names.push_back({MREF(mref), nameType, std::move(utf8)});
    return 0;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// The file attribute bits of an inode. Read as bytes: a damaged record may
// hold values outside the library's enum type.
uint32_t InodeFlags(const ntfs_inode* ni) {
    uint32_t flags = 0;
    std::memcpy(&flags, &ni->flags, sizeof(flags));
    return le32_to_cpu(flags);
}

// Fills the attributes, time and size of `out` from an open inode.
void DescribeInode(ntfs_inode* ni, DirectoryEntry& out) {
    DWORD flags = InodeFlags(ni) & 0x7FFF;
    bool directory = (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) != 0;
    if (directory) {
        flags |= FILE_ATTRIBUTE_DIRECTORY;
    }
    out.attributes = flags != 0 ? flags : FILE_ATTRIBUTE_NORMAL;
    uint64_t time = static_cast<uint64_t>(sle64_to_cpu(ni->last_data_change_time));
    out.lastWriteTime.dwLowDateTime = static_cast<DWORD>(time);
    out.lastWriteTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
    out.size = directory ? 0 : static_cast<uint64_t>(std::max<s64>(ni->data_size, 0));
    out.id = ni->mft_no;
}

}  // namespace

size_t NameHash::operator()(std::string_view name) const {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : name) {
        h = (h ^ static_cast<unsigned char>(AsciiUpper(c))) * 0x100000001b3ULL;
    }
    return static_cast<size_t>(h);
}

bool NameEqual::operator()(std::string_view a, std::string_view b) const {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

NTSTATUS CNtfsBackend::ListRecord(uint64_t directoryRecord, const std::vector<DirectoryEntry>*& out) {
    auto cached = m_directories.find(directoryRecord);
    if (cached != m_directories.end()) {
        out = cached->second.get();
        return STATUS_SUCCESS;
    }
    ntfs_inode* dir = OpenInode(directoryRecord);
    if (dir == nullptr) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    if (!(dir->mrec->flags & MFT_RECORD_IS_DIRECTORY)) {
        CloseInode(dir);
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    std::vector<RawName> names;
    s64 position = 0;
    int rc = ntfs_readdir(dir, &position, &names, CollectName);
    CloseInode(dir);
    if (rc != 0) {
        return STATUS_FILE_CORRUPT_ERROR;
    }
    // The long names first; the DOS name of a record then becomes its short name.
    std::vector<DirectoryEntry> entries;
    entries.reserve(names.size());
    bool shortNames = false;
    for (RawName& raw : names) {
        shortNames = shortNames || raw.nameType == FILE_NAME_DOS;
        if (raw.nameType == FILE_NAME_DOS || raw.record < kFirstOpenableRecord) {
            continue;
        }
        DirectoryEntry entry;
        entry.name = std::move(raw.name);
        entry.id = raw.record;
        entries.push_back(std::move(entry));
    }
    // Names that are their own 8.3 names come as one: separate DOS names only
    // for the others, matched to their records.
    if (shortNames) {
        std::unordered_map<uint64_t, size_t> byRecord;
        byRecord.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            byRecord.emplace(entries[i].id, i);
        }
        for (const RawName& raw : names) {
            if (raw.nameType != FILE_NAME_DOS) {
                continue;
            }
            auto it = byRecord.find(raw.record);
            if (it != byRecord.end() && !EqualNoCase(entries[it->second].name, raw.name)) {
                entries[it->second].shortName = raw.name;
            }
        }
    }
    m_files.reserve(m_files.size() + entries.size());
    std::vector<DirectoryEntry> described;
    described.reserve(entries.size());
    for (DirectoryEntry& entry : entries) {
        ntfs_inode* ni = OpenInode(entry.id);
        if (ni == nullptr) {
            continue;  // an index entry whose record does not open is not listed
        }
        DescribeInode(ni, entry);
        // A file's runs are read now, while its record is open anyway: the
        // analysis asks for them next, and would otherwise open it twice more.
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            FileFacts(entry.id, ni, true);
        }
        CloseInode(ni);
        described.push_back(std::move(entry));
    }
    auto inserted = m_directories.emplace(
        directoryRecord, std::make_shared<const std::vector<DirectoryEntry>>(std::move(described)));
    const std::vector<DirectoryEntry>& listed = *inserted.first->second;
    // Long names first: a long name wins over another file's equal short name.
    NameIndex& index = m_directoryIndex[directoryRecord];
    index.reserve(listed.size() * 2);
    for (size_t i = 0; i < listed.size(); ++i) {
        index.emplace(listed[i].name, i);
    }
    for (size_t i = 0; i < listed.size(); ++i) {
        if (!listed[i].shortName.empty()) {
            index.emplace(listed[i].shortName, i);
        }
    }
    out = &listed;
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::EntryForRecord(uint64_t record, DirectoryEntry& out) {
    ntfs_inode* ni = OpenInode(record);
    if (ni == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    DescribeInode(ni, out);
    CloseInode(ni);
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::Resolve(std::string_view path, const DirectoryEntry*& out) {
    if (path.empty()) {
        m_rootEntry = DirectoryEntry{};
        out = &m_rootEntry;
        return EntryForRecord(FILE_root, m_rootEntry);
    }
    uint64_t directory = FILE_root;
    size_t start = 0;
    const std::vector<DirectoryEntry>* entries = nullptr;
    const NameIndex* index = nullptr;
    // Files of one directory are opened one after another: the directory of
    // the last path resolved is taken as it was found then.
    const size_t cut = path.rfind('\\');
    if (cut != std::string_view::npos && m_lastDirectoryEntries != nullptr && path.substr(0, cut) == m_lastDirectoryPath) {
        entries = m_lastDirectoryEntries;
        index = m_lastDirectoryIndex;
        start = cut + 1;
    }
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view component = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (component.empty() || component == "." || component == ".." ||
            component.find_first_of(std::string_view("/:*?\"<>|\0", 9)) != std::string_view::npos) {
            return STATUS_OBJECT_NAME_INVALID;
        }
        if (entries == nullptr) {
            if (ListRecord(directory, entries) != STATUS_SUCCESS) {
                return STATUS_OBJECT_PATH_NOT_FOUND;
            }
            index = &m_directoryIndex[directory];
        }
        auto hit = index->find(component);
        if (hit == index->end()) {
            return end == std::string_view::npos ? STATUS_OBJECT_NAME_NOT_FOUND : STATUS_OBJECT_PATH_NOT_FOUND;
        }
        const DirectoryEntry* found = &(*entries)[hit->second];
        if (end == std::string_view::npos) {
            if (start > 0 && entries != m_lastDirectoryEntries) {
                m_lastDirectoryPath.assign(path.substr(0, start - 1));
                m_lastDirectoryEntries = entries;
                m_lastDirectoryIndex = index;
            }
            out = found;
            return STATUS_SUCCESS;
        }
        if (!(found->attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return STATUS_OBJECT_PATH_NOT_FOUND;
        }
        directory = found->id;
        entries = nullptr;
        start = end + 1;
    }
}

NTSTATUS CNtfsBackend::ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) {
    std::shared_ptr<const std::vector<DirectoryEntry>> listing;
    const NTSTATUS status = ListDirectoryShared(directoryPath, listing);
    if (status == STATUS_SUCCESS) {
        out = *listing;
    }
    return status;
}

NTSTATUS CNtfsBackend::ListDirectoryShared(std::string_view directoryPath,
                                           std::shared_ptr<const std::vector<DirectoryEntry>>& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    const DirectoryEntry* directory = nullptr;
    NTSTATUS status = Resolve(directoryPath, directory);
    if (status != STATUS_SUCCESS || !(directory->attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    const uint64_t record = directory->id;
    const std::vector<DirectoryEntry>* entries = nullptr;
    status = ListRecord(record, entries);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    out = m_directories.at(record);  // the listing never changes once made
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::StatFile(std::string_view path, DirectoryEntry& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    const DirectoryEntry* entry = nullptr;
    NTSTATUS status = Resolve(path, entry);
    if (status == STATUS_SUCCESS) {
        out = *entry;
    }
    return status;
}

NTSTATUS CNtfsBackend::Openable(ntfs_inode* ni) const {
    if (ni->mft_no < kFirstOpenableRecord) {
        return STATUS_ACCESS_DENIED;
    }
    if (InodeFlags(ni) & static_cast<uint32_t>(FILE_ATTR_ENCRYPTED | FILE_ATTR_REPARSE_POINT)) {
        return STATUS_ACCESS_DENIED;
    }
    // The runlist of a file with an attribute list spans several MFT records,
    // which cannot be rewritten in one crash-safe step: such files stay put.
    if (NInoAttrList(ni)) {
        return STATUS_SHARING_VIOLATION;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::OpenFile(std::string_view path, const FileOpenRequest&, FileId& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    const DirectoryEntry* entry = nullptr;
    NTSTATUS status = Resolve(path, entry);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    const FileId id = entry->id;
    const CachedFile* facts = FileFacts(id, nullptr, false);
    if (facts == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    status = facts->openable;
    if (status == STATUS_SUCCESS) {
        out = id;
    }
    return status;
}

}  // namespace tarvo::platform
