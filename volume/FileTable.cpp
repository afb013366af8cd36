// FileTable.cpp --- the drive's records: order, sorting, fragmented lookups, deferred list.
#include "volume/FileTable.h"

#include <algorithm>

namespace tarvo::volume {

namespace {
unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
}  // namespace

int ComparePathsNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

FileTable::FileTable(size_t n) { m_files.reserve(n); }

FileRecord* FileTable::Add(std::unique_ptr<FileRecord> record) {
    if (!record) return nullptr;
    m_files.push_back(std::move(record));
    return m_files.back().get();
}

FileRecord* FileTable::Item(int64_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_files.size()) return nullptr;
    return m_files[static_cast<size_t>(index)].get();
}

void FileTable::Sort(SortOrder order) {
    if (order == SortOrder::ByPath) {
        std::sort(m_files.begin(), m_files.end(), [](const auto& a, const auto& b) {
            return ComparePathsNoCase(a->Path(), b->Path()) < 0;
        });
    } else {
        std::sort(m_files.begin(), m_files.end(), [](const auto& a, const auto& b) {
            return a->ModificationTime() < b->ModificationTime();
        });
    }
}

FileRecord* FileTable::FirstFragmented() {
    for (auto& record : m_files)
        if (record->IsFragmented() && !record->IsDone()) return record.get();
    return nullptr;
}

FileRecord* FileTable::NthFragmented(size_t n) {
    for (auto& record : m_files)
        if (record->IsFragmented() && n-- == 0) return record.get();
    return nullptr;
}

void FileTable::Clear() {
    m_deferred.clear();
    m_files.clear();
}

FileRecord* FileTable::AddDeferred(FileRecord* record) {
    if (record && std::find(m_deferred.begin(), m_deferred.end(), record) == m_deferred.end())
        m_deferred.push_back(record);
    return record;
}

void FileTable::RemoveDeferred(FileRecord* record) {
    m_deferred.erase(std::remove(m_deferred.begin(), m_deferred.end(), record), m_deferred.end());
}

FileRecord* FileTable::Deferred(int64_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_deferred.size()) return nullptr;
    return m_deferred[static_cast<size_t>(index)];
}

}  // namespace tarvo::volume
