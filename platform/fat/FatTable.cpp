// FatTable.cpp --- packing and unpacking FAT entries.
#include "platform/fat/FatTable.h"

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
