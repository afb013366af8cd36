// ExtentIndex.h --- the extent start index: first LCN of an extent -> owning file and extent length.
//
// An open-addressing table (linear probing, power-of-two capacity) held in one
// array, so that a lookup costs one or two cache lines: the cluster map asks it
// for the owner of every run it draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "volume/VolumeTypes.h"

namespace tarvo::volume {

class FileRecord;

class ExtentIndex {
public:
    struct Entry {
        Lcn key = 0;
        FileRecord* file = nullptr;  // none marks an empty slot
        uint64_t length = 0;         // length of the extent that starts at the key
    };

    // Makes room for n entries without growing (keeps the entries).
    void Reserve(size_t n);
    // The entry of key, or none.
    const Entry* Find(Lcn key) const;
    // Enters key; false (nothing changed) when the key is already there.
    bool Insert(Lcn key, FileRecord* file, uint64_t length);
    // Removes key; false when it was not there.
    bool Erase(Lcn key);
    // Removes every entry and releases the table.
    void Clear();
    size_t Size() const { return m_size; }

private:
    size_t SlotOf(Lcn key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift); }
    void Rebuild(size_t capacity);

    std::vector<Entry> m_slots;
    size_t m_size = 0;
    unsigned m_shift = 64;
};

}  // namespace tarvo::volume
