// BenchSupport.h --- what the engine benchmarks share: their home, cached volumes, a quiet view and counters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/VolumeBackend.h"
#include "platform/sim/SimGenerator.h"
#include "volume/ViewSink.h"

namespace tarvo::bench {

// A temporary TARVO_HOME with the settings loaded and message boxes off, for the
// life of the program; removed at its end.
class BenchHome {
public:
    BenchHome();
    ~BenchHome();
    BenchHome(const BenchHome&) = delete;
    BenchHome& operator=(const BenchHome&) = delete;

private:
    std::string m_path;
};

// Scale of the benchmark volumes: 1 by default; TARVO_BENCH_SCALE=0.1 makes
// every volume a tenth as large (for profiling under valgrind).
double BenchScale();

// The file of a generated volume for these options, made on first use and kept
// in the cache folder (keyed by the options). Aborts when it cannot be made.
std::string CachedSimVolume(const platform::SimGenerateOptions& options);

// A private copy of a volume file for a run that moves clusters; removed with the object.
class WorkingCopy {
public:
    explicit WorkingCopy(const std::string& source);
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A view that takes every message and keeps only counts, as a view that draws
// nothing would.
class QuietView final : public volume::ViewSink {
public:
    void SetStatusText(int, std::string) override { ++messages; }
    void SetFragCount(int64_t) override { ++messages; }
    void SetPercent(int) override { ++messages; }
    void PostRunFinished() override { ++messages; }
    void SetDriveFlag(int) override {}
    void RedrawAll() override {}
    bool RedrawFile(const volume::FileRecord&) override { return true; }
    uint64_t messages = 0;
};

// A backend that passes every call to another and counts the moves: calls, and
// the clusters of the moves that succeeded.
class CountingBackend final : public platform::VolumeBackend {
public:
    explicit CountingBackend(std::shared_ptr<platform::VolumeBackend> inner) : m_inner(std::move(inner)) {}
    platform::NTSTATUS GetVolumeInformation(platform::VolumeInformation& out) override;
    platform::NTSTATUS GetDiskFreeSpace(platform::DiskFreeSpace& out) override;
    platform::UINT GetDriveType() override;
    platform::FsctlResult GetNtfsVolumeData(platform::NTFS_VOLUME_DATA_BUFFER& out) override;
    platform::FsctlResult GetVolumeBitmap(platform::Lcn startingLcn, void* out, size_t outLength) override;
    platform::NTSTATUS ListDirectory(std::string_view directoryPath,
                                     std::vector<platform::DirectoryEntry>& out) override;
    platform::NTSTATUS StatFile(std::string_view path, platform::DirectoryEntry& out) override;
    platform::NTSTATUS OpenFile(std::string_view path, const platform::FileOpenRequest& request,
                                platform::FileId& out) override;
    platform::FsctlResult GetRetrievalPointers(platform::FileId file, platform::Vcn startingVcn, void* out,
                                               size_t outLength) override;
    platform::FsctlResult MoveFile(platform::FileId file, platform::Vcn startingVcn, platform::Lcn targetLcn,
                                   platform::DWORD clusterCount) override;
    platform::NTSTATUS Flush() override;
    bool CheckConsistency(std::string& report) override;

    uint64_t moveCalls = 0;
    uint64_t clustersMoved = 0;
    uint64_t bitmapReads = 0;

private:
    std::shared_ptr<platform::VolumeBackend> m_inner;
};

// CPU time of the whole process in seconds.
double ProcessCpuSeconds();
// Monotonic wall time in seconds.
double WallSeconds();

}  // namespace tarvo::bench
