// PowerLossDevice.cpp --- pending sectors, flush points and the simulated cut.
#include "platform/blockio/PowerLossDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvo::platform {

PowerLossDevice::PowerLossDevice(std::unique_ptr<BlockDevice> inner, PowerLossPlan plan,
                                 std::shared_ptr<PowerLossRecord> record, size_t sectorSize)
    : m_inner(std::move(inner)),
      m_plan(plan),
      m_record(record ? std::move(record) : std::make_shared<PowerLossRecord>()),
      m_sectorSize(sectorSize == 0 ? 512 : sectorSize),
      m_rng(plan.seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}

PowerLossDevice::~PowerLossDevice() {
    if (!m_record->crashed) {
        WritePending(CrashMode::Keep);
    }
}

int PowerLossDevice::LoadSector(uint64_t sector, std::vector<uint8_t>& out) {
    auto it = m_pending.find(sector);
    if (it != m_pending.end()) {
        out = it->second;
        return 0;
    }
    out.assign(m_sectorSize, 0);
    uint64_t offset = sector * m_sectorSize;
    size_t length = static_cast<size_t>(std::min<uint64_t>(m_sectorSize, m_inner->Size() - offset));
    return m_inner->Read(offset, out.data(), length);
}

int PowerLossDevice::Read(uint64_t offset, void* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_record->crashed) {
        return EIO;
    }
    if (m_pending.empty()) {
        return m_inner->Read(offset, buffer, length);
    }
    if (offset > Size() || length > Size() - offset) {
        return EIO;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        uint64_t sector = offset / m_sectorSize;
        size_t within = static_cast<size_t>(offset % m_sectorSize);
        size_t n = std::min(length, m_sectorSize - within);
        auto it = m_pending.find(sector);
        if (it != m_pending.end()) {
            std::memcpy(out, it->second.data() + within, n);
        } else if (int e = m_inner->Read(offset, out, n); e != 0) {
            return e;
        }
        out += n;
        offset += n;
        length -= n;
    }
    return 0;
}

int PowerLossDevice::Write(uint64_t offset, const void* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_record->crashed) {
        return EIO;
    }
    if (IsReadOnly()) {
        return EROFS;
    }
    if (offset > Size() || length > Size() - offset) {
        return ENOSPC;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    std::vector<uint8_t> contents;
    while (length > 0) {
        uint64_t sector = offset / m_sectorSize;
        size_t within = static_cast<size_t>(offset % m_sectorSize);
        size_t n = std::min(length, m_sectorSize - within);
        if (n < m_sectorSize || m_pending.count(sector) != 0) {
            if (int e = LoadSector(sector, contents); e != 0) {
                return e;
            }
        } else {
            contents.assign(m_sectorSize, 0);
        }
        std::memcpy(contents.data() + within, in, n);
        m_pending[sector] = contents;
        in += n;
        offset += n;
        length -= n;
    }
    return 0;
}

int PowerLossDevice::WritePending(CrashMode mode) {
    int result = 0;
    for (const auto& [sector, contents] : m_pending) {
        bool keep = mode == CrashMode::Keep;
        if (mode == CrashMode::Tear) {
            m_rng ^= m_rng << 13;
            m_rng ^= m_rng >> 7;
            m_rng ^= m_rng << 17;
            keep = (m_rng & 1) != 0;
        }
        if (!keep) {
            continue;
        }
        uint64_t offset = sector * m_sectorSize;
        size_t length = static_cast<size_t>(std::min<uint64_t>(m_sectorSize, Size() - offset));
        if (int e = m_inner->Write(offset, contents.data(), length); e != 0 && result == 0) {
            result = e;
        }
    }
    m_pending.clear();
    if (int e = m_inner->Flush(); e != 0 && result == 0) {
        result = e;
    }
    return result;
}

int PowerLossDevice::Flush() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_record->crashed) {
        return EIO;
    }
    ++m_record->flushes;
    if (m_plan.cutAtFlush != 0 && m_record->flushes == m_plan.cutAtFlush) {
        WritePending(m_plan.mode);
        m_record->crashed = true;
        return EIO;
    }
    return WritePending(CrashMode::Keep);
}

}  // namespace tarvo::platform
