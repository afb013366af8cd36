// FaultInjectingDevice.cpp --- counting operations and failing the planned one.
#include "platform/blockio/FaultInjectingDevice.h"

#include <cerrno>

namespace tarvo::platform {

FaultInjectingDevice::FaultInjectingDevice(std::unique_ptr<BlockDevice> inner, FaultPlan plan,
                                           std::shared_ptr<FaultRecord> record)
    : m_inner(std::move(inner)), m_plan(plan), m_record(record ? std::move(record) : std::make_shared<FaultRecord>()) {}

int FaultInjectingDevice::Injected(FaultOperation operation, uint64_t& counter) {
    std::lock_guard<std::mutex> lock(m_lock);
    ++counter;
    ++m_any;
    if (m_plan.failAt == 0) {
        return 0;
    }
    uint64_t index = 0;
    if (m_plan.operation == FaultOperation::Any) {
        index = m_any;
    } else if (m_plan.operation == operation) {
        index = counter;
    } else {
        return 0;
    }
    bool fails = m_plan.repeat == FaultRepeat::Sticky ? index >= m_plan.failAt : index == m_plan.failAt;
    if (!fails) {
        return 0;
    }
    ++m_record->failures;
    return m_plan.error;
}

int FaultInjectingDevice::Read(uint64_t offset, void* buffer, size_t length) {
    if (int e = Injected(FaultOperation::Read, m_record->reads); e != 0) {
        return e;
    }
    return m_inner->Read(offset, buffer, length);
}

int FaultInjectingDevice::Write(uint64_t offset, const void* buffer, size_t length) {
    if (int e = Injected(FaultOperation::Write, m_record->writes); e != 0) {
        return e;
    }
    return m_inner->Write(offset, buffer, length);
}

int FaultInjectingDevice::Flush() {
    if (int e = Injected(FaultOperation::Flush, m_record->flushes); e != 0) {
        return e;
    }
    return m_inner->Flush();
}

}  // namespace tarvo::platform
