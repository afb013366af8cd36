// PacedBackend.h --- a volume whose moves take a set time, so that a run lasts long enough to pause and stop.
//
// Forwards every operation to the wrapped volume; MoveFile first sleeps and
// counts the call, so a test can see whether moves go on (paused or not).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/core/VolumeBackend.h"

namespace tarvo::test {

class PacedBackend final : public platform::VolumeBackend {
public:
    PacedBackend(std::shared_ptr<platform::VolumeBackend> inner, std::chrono::microseconds perMove)
        : m_inner(std::move(inner)), m_perMove(perMove) {}

    uint64_t MoveCalls() const { return m_moves.load(); }

    platform::NTSTATUS GetVolumeInformation(platform::VolumeInformation& out) override {
        return m_inner->GetVolumeInformation(out);
    }
    platform::NTSTATUS GetDiskFreeSpace(platform::DiskFreeSpace& out) override { return m_inner->GetDiskFreeSpace(out); }
    platform::UINT GetDriveType() override { return m_inner->GetDriveType(); }
    platform::FsctlResult GetNtfsVolumeData(platform::NTFS_VOLUME_DATA_BUFFER& out) override {
        return m_inner->GetNtfsVolumeData(out);
    }
    platform::FsctlResult GetVolumeBitmap(platform::Lcn start, void* out, size_t length) override {
        return m_inner->GetVolumeBitmap(start, out, length);
    }
    platform::NTSTATUS ListDirectory(std::string_view path, std::vector<platform::DirectoryEntry>& out) override {
        return m_inner->ListDirectory(path, out);
    }
    platform::NTSTATUS StatFile(std::string_view path, platform::DirectoryEntry& out) override {
        return m_inner->StatFile(path, out);
    }
    platform::NTSTATUS OpenFile(std::string_view path, const platform::FileOpenRequest& request,
                                platform::FileId& out) override {
        return m_inner->OpenFile(path, request, out);
    }
    platform::FsctlResult GetRetrievalPointers(platform::FileId file, platform::Vcn start, void* out,
                                               size_t length) override {
        return m_inner->GetRetrievalPointers(file, start, out, length);
    }
    platform::FsctlResult MoveFile(platform::FileId file, platform::Vcn start, platform::Lcn target,
                                   platform::DWORD count) override {
        std::this_thread::sleep_for(m_perMove);
        m_moves.fetch_add(1);
        return m_inner->MoveFile(file, start, target, count);
    }
    platform::NTSTATUS Flush() override { return m_inner->Flush(); }
    bool CheckConsistency(std::string& report) override { return m_inner->CheckConsistency(report); }

private:
    std::shared_ptr<platform::VolumeBackend> m_inner;
    std::chrono::microseconds m_perMove;
    std::atomic<uint64_t> m_moves{0};
};

}  // namespace tarvo::test
