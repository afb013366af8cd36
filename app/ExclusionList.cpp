// ExclusionList.cpp --- the stored exclusion list and the active array the analysis searches.
#include "app/ExclusionList.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>
#include <shared_mutex>

#include "app/SettingsTable.h"
#include "platform/registry/Registry.h"

namespace tarvo::app {

namespace {

constexpr const char* kItemCount = "ItemCount";

unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return prefix.size() <= text.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool LessNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::vector<std::string> SplitAtBackslash(std::string_view text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

std::string ItemName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "Item%d", index);
    return name;
}

// The active array: entries sorted case-insensitively, their distinct lengths,
// and each entry split at its backslashes for the two-name search.
struct ActiveArray {
    std::shared_mutex lock;
    std::vector<std::string> entries;
    std::vector<size_t> lengths;
    std::vector<std::vector<std::string>> parts;
};

ActiveArray& Active() {
    static ActiveArray* active = new ActiveArray();
    return *active;
}

// Whether the entry's parts begin the path drive\components, either name of
// each component counting. The last part of the entry may be the beginning of
// a component; an empty last part (a folder or drive entry) matches anything below.
bool PartsMatch(const std::vector<std::string>& entry, std::string_view drive, const std::vector<PathName>& components) {
    const size_t depth = components.size() + 1;  // the drive is part 0
    if (entry.size() > depth) return false;
    for (size_t i = 0; i < entry.size(); ++i) {
        const std::string_view part = entry[i];
        const bool last = i + 1 == entry.size();
        if (i == 0) {
            if (last ? !StartsWithNoCase(drive, part) : !EqualNoCase(drive, part)) return false;
            continue;
        }
        const PathName& name = components[i - 1];
        if (last) {
            if (part.empty()) return true;
            return StartsWithNoCase(name.longName, part) ||
                   (!name.shortName.empty() && StartsWithNoCase(name.shortName, part));
        }
        if (!EqualNoCase(name.longName, part) && (name.shortName.empty() || !EqualNoCase(name.shortName, part)))
            return false;
    }
    return true;
}

}  // namespace

int LoadExclusionList(ExclusionList* list) {
    if (!list) return -1;
    list->clear();
    int count = static_cast<int>(platform::GetProfileInt(SECTION_EXCLUSION_LIST, kItemCount, 0));
    count = std::clamp(count, 0, kMaxExclusionItems);
    for (int i = 1; i <= count; ++i) {
        std::string item = platform::GetProfileString(SECTION_EXCLUSION_LIST, ItemName(i).c_str(), "");
        if (!item.empty()) list->push_back(std::move(item));
    }
    return static_cast<int>(list->size());
}

int SaveExclusionList(const ExclusionList* list) {
    if (!list) return -1;
    int ok = platform::WriteProfileInt(SECTION_EXCLUSION_LIST, kItemCount, static_cast<int>(list->size())) ? 1 : 0;
    for (size_t i = 0; i < list->size(); ++i)
        if (!platform::WriteProfileString(SECTION_EXCLUSION_LIST, ItemName(static_cast<int>(i) + 1).c_str(),
                                          (*list)[i].c_str()))
            ok = 0;
    return ok;
}

void SetActiveExclusions(const ExclusionList& list) {
    // The search needs ascending order; a list edited outside the dialog may lack it.
    std::vector<std::string> entries(list.begin(), list.end());
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return LessNoCase(a, b); });
    std::set<size_t> lengths;
    std::vector<std::vector<std::string>> parts;
    for (const std::string& entry : entries) {
        lengths.insert(entry.size());
        parts.push_back(SplitAtBackslash(entry));
    }
    ActiveArray& active = Active();
    std::unique_lock lock(active.lock);
    active.entries = std::move(entries);
    active.lengths.assign(lengths.begin(), lengths.end());
    active.parts = std::move(parts);
}

ExclusionList ActiveExclusions() {
    ActiveArray& active = Active();
    std::shared_lock lock(active.lock);
    return active.entries;
}

bool IsExcluded(std::string_view fullPath) {
    ActiveArray& active = Active();
    std::shared_lock lock(active.lock);
    if (active.entries.empty()) return false;
    // Binary search for each beginning of the path that is as long as some entry.
    for (size_t length : active.lengths) {
        if (length > fullPath.size()) break;
        const std::string_view head = fullPath.substr(0, length);
        if (std::binary_search(active.entries.begin(), active.entries.end(), head,
                               [](std::string_view a, std::string_view b) { return LessNoCase(a, b); }))
            return true;
    }
    return false;
}

bool IsExcluded(std::string_view drive, const std::vector<PathName>& components) {
    {
        // Nothing to match (the usual case): no path is put together.
        ActiveArray& active = Active();
        std::shared_lock lock(active.lock);
        if (active.entries.empty()) return false;
    }
    bool twoNames = false;
    std::string longPath(drive);
    for (const PathName& name : components) {
        longPath += '\\';
        longPath += name.longName;
        if (!name.shortName.empty() && !EqualNoCase(name.shortName, name.longName)) twoNames = true;
    }
    if (IsExcluded(longPath)) return true;
    if (!twoNames) return false;
    ActiveArray& active = Active();
    std::shared_lock lock(active.lock);
    for (const auto& entry : active.parts)
        if (PartsMatch(entry, drive, components)) return true;
    return false;
}

}  // namespace tarvo::app
