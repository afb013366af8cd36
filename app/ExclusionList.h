// ExclusionList.h --- the files, folders and drives the defragmenter leaves alone: stored list and active array.
//
// The list lives in the user's profile, section "ExclusionList": "ItemCount" and
// one string "Item%d" per entry, numbered from 1. Each entry is a file path
// ("C:\DIR\F.TXT"), a folder path ending with "\" (everything below it) or a
// drive root ("C:\"). An entry excludes every path that begins with it, without
// regard to letter case. The analysis loads the list, makes it the active
// array and asks IsExcluded for every file it meets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::app {

using ExclusionList = std::vector<std::string>;

// Reads the stored list into list (emptied first): "ItemCount" (default 0), then
// "Item1".."ItemN", skipping empty texts. Answers the number of entries read, or
// -1 when list is null. A count that is negative reads as 0; a count above
// kMaxExclusionItems is bounded there.
int LoadExclusionList(ExclusionList* list);
constexpr int kMaxExclusionItems = 100000;

// Writes "ItemCount" and "Item1".."ItemN" in list order. Values numbered above
// the new count stay in the store (the count bounds every read). Answers 1 when
// every value was written, 0 on a failed write, -1 when list is null.
int SaveExclusionList(const ExclusionList* list);

// Makes list the active array that IsExcluded searches. The array is kept in
// ascending case-insensitive order whatever order list is in. Thread-safe.
void SetActiveExclusions(const ExclusionList& list);

// The active array, in its search order.
ExclusionList ActiveExclusions();

// Whether some active entry begins the full path (case-insensitive). A path that
// is only the beginning of an entry is not excluded by it. Thread-safe.
bool IsExcluded(std::string_view fullPath);

// One component of a path as a directory listing names it: the long name and
// the 8.3 name (empty when the long name is already 8.3).
struct PathName {
    std::string longName;
    std::string shortName;
};

// As IsExcluded(full path) for the path drive + "\" + the components joined by
// "\", where each component of an entry may match either name of the path's
// component. So "C:\PROGRA~1\" excludes "C:\Program Files\X.DLL".
bool IsExcluded(std::string_view drive, const std::vector<PathName>& components);

}  // namespace tarvo::app
