// ExtentIndex.cpp --- open-addressing table of extent starts with backward-shift deletion.
#include "volume/ExtentIndex.h"

#include <bit>

namespace tarvo::volume {

namespace {
// The table is kept at most 70% full.
size_t CapacityFor(size_t n) { return std::bit_ceil(std::max<size_t>(16, n + n / 2 + 1)); }
}  // namespace

void ExtentIndex::Rebuild(size_t capacity) {
    std::vector<Entry> old;
    old.swap(m_slots);
    m_slots.assign(capacity, Entry{});
    m_shift = 64u - static_cast<unsigned>(std::countr_zero(capacity));
    const size_t mask = capacity - 1;
    for (const Entry& e : old) {
        if (!e.file) continue;
        size_t slot = SlotOf(e.key);
        while (m_slots[slot].file) slot = (slot + 1) & mask;
        m_slots[slot] = e;
    }
}

void ExtentIndex::Reserve(size_t n) {
    const size_t capacity = CapacityFor(std::max(n, m_size));
    if (capacity > m_slots.size()) Rebuild(capacity);
}

const ExtentIndex::Entry* ExtentIndex::Find(Lcn key) const {
    if (m_size == 0) return nullptr;
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = SlotOf(key);; slot = (slot + 1) & mask) {
        const Entry& e = m_slots[slot];
        if (!e.file) return nullptr;
        if (e.key == key) return &e;
    }
}

bool ExtentIndex::Insert(Lcn key, FileRecord* file, uint64_t length) {
    if (Find(key)) return false;
    if (m_slots.empty() || (m_size + 1) * 10 > m_slots.size() * 7) Rebuild(CapacityFor((m_size + 1) * 2));
    const size_t mask = m_slots.size() - 1;
    size_t slot = SlotOf(key);
    while (m_slots[slot].file) slot = (slot + 1) & mask;
    m_slots[slot] = Entry{key, file, length};
    ++m_size;
    return true;
}

bool ExtentIndex::Erase(Lcn key) {
    const Entry* found = Find(key);
    if (!found) return false;
    const size_t mask = m_slots.size() - 1;
    size_t hole = static_cast<size_t>(found - m_slots.data());
    // Shift later members of the probe run back so that no lookup meets a gap early.
    for (size_t next = (hole + 1) & mask; m_slots[next].file; next = (next + 1) & mask) {
        const size_t home = SlotOf(m_slots[next].key);
        // The entry may move to the hole when its home is not cyclically in (hole, next].
        const bool homeInRange = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (!homeInRange) {
            m_slots[hole] = m_slots[next];
            hole = next;
        }
    }
    m_slots[hole] = Entry{};
    if (--m_size == 0) Clear();  // the whole index goes with its last entry
    return true;
}

void ExtentIndex::Clear() {
    std::vector<Entry>().swap(m_slots);
    m_size = 0;
    m_shift = 64;
}

}  // namespace tarvo::volume
