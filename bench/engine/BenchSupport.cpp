// BenchSupport.cpp --- benchmark home, cached volume files, working copies, the counting backend and clocks.
#include "bench/engine/BenchSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/Logger.h"
#include "app/Settings.h"
#include "platform/registry/Registry.h"

namespace tarvo::bench {

namespace fs = std::filesystem;
using namespace tarvo::platform;

BenchHome::BenchHome() {
    char pattern[] = "/tmp/tarvo-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    m_path = pattern;
    setenv("TARVO_HOME", m_path.c_str(), 1);
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    app::SetDisplay(app::Display::Off);
}

BenchHome::~BenchHome() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

double BenchScale() {
    const char* text = std::getenv("TARVO_BENCH_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return scale > 0 && scale <= 1 ? scale : 1.0;
}

std::string CachedSimVolume(const SimGenerateOptions& options) {
    const std::string folder = TARVO_BENCH_CACHE;
    std::error_code ec;
    fs::create_directories(folder, ec);
    char name[256];
    std::snprintf(name, sizeof name, "%s-%llu-clusters-%llu-files-%.2f-frag-%u-max-%.2f-free-%llu.sim",
                  SimFileSystemName(options.fileSystem), static_cast<unsigned long long>(options.clusters),
                  static_cast<unsigned long long>(options.files), options.fragmented, options.maxFragments,
                  options.free, static_cast<unsigned long long>(options.seed));
    const std::string path = folder + "/" + name;
    if (fs::exists(path, ec)) return path;
    std::fprintf(stderr, "generating %s (once; kept for later runs)\n", path.c_str());
    SimGenerateSummary summary;
    std::string error;
    auto volume = GenerateSimVolume(options, summary, error);
    if (!volume || !volume->SaveAs(path, error)) {
        std::fprintf(stderr, "cannot make %s: %s\n", path.c_str(), error.c_str());
        std::abort();
    }
    return path;
}

WorkingCopy::WorkingCopy(const std::string& source) {
    m_path = source + ".run-" + std::to_string(::getpid());
    std::error_code ec;
    fs::copy_file(source, m_path, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        std::fprintf(stderr, "cannot copy %s: %s\n", source.c_str(), ec.message().c_str());
        std::abort();
    }
}

WorkingCopy::~WorkingCopy() {
    std::error_code ignored;
    fs::remove(m_path, ignored);
}

NTSTATUS CountingBackend::GetVolumeInformation(VolumeInformation& out) { return m_inner->GetVolumeInformation(out); }
NTSTATUS CountingBackend::GetDiskFreeSpace(DiskFreeSpace& out) { return m_inner->GetDiskFreeSpace(out); }
UINT CountingBackend::GetDriveType() { return m_inner->GetDriveType(); }
FsctlResult CountingBackend::GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) { return m_inner->GetNtfsVolumeData(out); }
FsctlResult CountingBackend::GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) {
    ++bitmapReads;
    return m_inner->GetVolumeBitmap(startingLcn, out, outLength);
}
NTSTATUS CountingBackend::ListDirectory(std::string_view directoryPath, std::vector<DirectoryEntry>& out) {
    return m_inner->ListDirectory(directoryPath, out);
}
NTSTATUS CountingBackend::StatFile(std::string_view path, DirectoryEntry& out) { return m_inner->StatFile(path, out); }
NTSTATUS CountingBackend::OpenFile(std::string_view path, const FileOpenRequest& request, FileId& out) {
    return m_inner->OpenFile(path, request, out);
}
FsctlResult CountingBackend::GetRetrievalPointers(FileId file, Vcn startingVcn, void* out, size_t outLength) {
    return m_inner->GetRetrievalPointers(file, startingVcn, out, outLength);
}
FsctlResult CountingBackend::MoveFile(FileId file, Vcn startingVcn, Lcn targetLcn, DWORD clusterCount) {
    ++moveCalls;
    FsctlResult result = m_inner->MoveFile(file, startingVcn, targetLcn, clusterCount);
    if (result.completionStatus == STATUS_SUCCESS) clustersMoved += clusterCount;
    return result;
}
NTSTATUS CountingBackend::Flush() { return m_inner->Flush(); }
bool CountingBackend::CheckConsistency(std::string& report) { return m_inner->CheckConsistency(report); }

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace tarvo::bench
