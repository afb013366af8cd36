// FatTable.cpp --- packing and unpacking FAT entries.
#include "platform/fat/FatTable.h"

#include <cstring>

#include "platform/fat/FatEndian.h"

namespace tarvo::platform {

FatTable::FatTable(const FatGeometry& geometry, std::vector<uint8_t> bytes)
    : m_type(geometry.type),
      m_badMark(geometry.BadMark()),
      m_sectorSize(geometry.bytesPerSector),
      m_bytes(std::move(bytes)) {}

uint32_t FatTable::Get(uint32_t n) const {
    switch (m_type) {
        case FatType::Fat12: {
            uint32_t v = fat::Le16(m_bytes.data() + n + n / 2);
            return (n & 1) != 0 ? v >> 4 : v & 0xFFF;
        }
        case FatType::Fat16: return fat::Le16(m_bytes.data() + uint64_t{n} * 2);
        case FatType::Fat32: return fat::Le32(m_bytes.data() + uint64_t{n} * 4) & 0x0FFFFFFF;
    }
    return 0;
}

void FatTable::Set(uint32_t n, uint32_t value) {
    if (!m_used.empty() && n >= 2 && (n - 2) / 8 < m_used.size()) {
        const uint8_t bit = static_cast<uint8_t>(1u << ((n - 2) % 8));
        m_used[(n - 2) / 8] = static_cast<uint8_t>(value != 0 ? m_used[(n - 2) / 8] | bit : m_used[(n - 2) / 8] & ~bit);
    }
    switch (m_type) {
        case FatType::Fat12: {
            uint8_t* p = m_bytes.data() + n + n / 2;
            uint16_t v = fat::Le16(p);
            v = (n & 1) != 0 ? static_cast<uint16_t>((v & 0x000F) | ((value & 0xFFF) << 4))
                             : static_cast<uint16_t>((v & 0xF000) | (value & 0xFFF));
            fat::Put16(p, v);
            MarkChanged(n + n / 2, 2);
            break;
        }
        case FatType::Fat16:
            fat::Put16(m_bytes.data() + uint64_t{n} * 2, static_cast<uint16_t>(value));
            MarkChanged(uint64_t{n} * 2, 2);
            break;
        case FatType::Fat32: {
            uint8_t* p = m_bytes.data() + uint64_t{n} * 4;
            fat::Put32(p, (fat::Le32(p) & 0xF0000000) | (value & 0x0FFFFFFF));
            MarkChanged(uint64_t{n} * 4, 4);
            break;
        }
    }
}

void FatTable::FillAllocationBits(uint32_t first, uint32_t count, uint8_t* bits) const {
    const uint32_t clusters = m_type == FatType::Fat12 ? static_cast<uint32_t>(m_bytes.size() * 2 / 3)
                              : m_type == FatType::Fat16 ? static_cast<uint32_t>(m_bytes.size() / 2)
                                                         : static_cast<uint32_t>(m_bytes.size() / 4);
    if (m_used.empty() && clusters > 2) {
        m_used.assign((clusters - 2 + 7) / 8, 0);
        for (uint32_t c = 2; c < clusters; ++c) {
            if (!IsFree(c)) m_used[(c - 2) / 8] |= static_cast<uint8_t>(1u << ((c - 2) % 8));
        }
    }
    const uint32_t from = first - 2;
    if (from % 8 == 0 && count > 0) {
        std::memcpy(bits, m_used.data() + from / 8, count / 8);
        if (count % 8 != 0) {
            bits[count / 8] |= static_cast<uint8_t>(m_used[(from + count) / 8] & ((1u << (count % 8)) - 1));
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!IsFree(first + i)) bits[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
}

void FatTable::AddSectorsOf(uint32_t n, std::set<uint32_t>& out) const {
    uint64_t offset = m_type == FatType::Fat12 ? uint64_t{n} + n / 2 : uint64_t{n} * (m_type == FatType::Fat16 ? 2 : 4);
    uint32_t length = m_type == FatType::Fat32 ? 4 : 2;
    out.insert(static_cast<uint32_t>(offset / m_sectorSize));
    out.insert(static_cast<uint32_t>((offset + length - 1) / m_sectorSize));
}

void FatTable::MarkChanged(uint64_t byteOffset, uint32_t length) {
    m_changed.insert(static_cast<uint32_t>(byteOffset / m_sectorSize));
    m_changed.insert(static_cast<uint32_t>((byteOffset + length - 1) / m_sectorSize));
}

}  // namespace tarvo::platform
