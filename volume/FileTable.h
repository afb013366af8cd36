// FileTable.h --- FileTable: the drive's file records in analysis order, with a deferred list.
//
// The table owns its records. Worker thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "volume/FileRecord.h"

namespace tarvo::volume {

// Sort orders of the table (0 by path, 1 by modification time).
enum class SortOrder : int { ByPath = 0, ByModificationTime = 1 };

class FileTable {
public:
    // Room for n records.
    explicit FileTable(size_t n = 0);

    // Appends a record and answers it.
    FileRecord* Add(std::unique_ptr<FileRecord> record);
    // Fill count - 1 (-1 when empty).
    int64_t LastIndex() const { return static_cast<int64_t>(m_files.size()) - 1; }
    // The record at index, or none past the end.
    FileRecord* Item(int64_t index) const;
    bool IsEmpty() const { return m_files.empty(); }
    size_t Count() const { return m_files.size(); }

    // Ascending: by path, case-insensitively; or by modification time, older first.
    void Sort(SortOrder order);

    // The first record that IsFragmented (run afresh) and is not done; none when none is.
    FileRecord* FirstFragmented();
    // The n-th (from 0) record that IsFragmented; none past the last.
    FileRecord* NthFragmented(size_t n);

    // Destroys every record and empties both lists.
    void Clear();

    // Deferred list: no duplicates. AddDeferred answers the record.
    FileRecord* AddDeferred(FileRecord* record);
    void RemoveDeferred(FileRecord* record);
    FileRecord* Deferred(int64_t index) const;
    int64_t LastDeferredIndex() const { return static_cast<int64_t>(m_deferred.size()) - 1; }

private:
    std::vector<std::unique_ptr<FileRecord>> m_files;
    std::vector<FileRecord*> m_deferred;
};

// Case-insensitive comparison of two paths, byte by byte (ASCII letters fold).
int ComparePathsNoCase(const std::string& a, const std::string& b);

}  // namespace tarvo::volume
