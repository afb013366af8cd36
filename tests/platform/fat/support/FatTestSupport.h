// FatTestSupport.h --- what the FAT tests share: a private data folder, images, the judges, moves.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/blockio/BlockDevice.h"
#include "platform/core/VolumeBackend.h"
#include "platform/fat/FatBackend.h"
#include "platform/fat/FatImageMaker.h"
#include "platform/fat/FatTools.h"

namespace tarvo::platform {
// Readable failure messages for manifest comparisons.
inline void PrintTo(const FatManifestEntry& m, std::ostream* os) { *os << m.path << " " << m.size << " " << m.sha256; }
}  // namespace tarvo::platform

namespace tarvo::platform::testing {

namespace fs = std::filesystem;

// Each test gets its own TARVO_HOME and scratch folder.
class FatTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name) {
            c = c == '/' ? '_' : c;
        }
        // Images live in memory when possible: the crash tests flush thousands of times.
        fs::path base = ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        m_dir = base / ("tarvo-fat-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
        setenv("TARVO_HOME", (m_dir / "home").c_str(), 1);
    }
    void TearDown() override {
        if (!HasFailure()) {
            fs::remove_all(m_dir);
        }
    }

    // Makes an image by mkfs.fat and mtools; answers its path and fills the manifest.
    std::string MakeImage(const std::string& name, int fatBits, uint64_t size, uint32_t clusterBytes,
                          uint32_t files, bool fragment, uint64_t seed, std::vector<FatManifestEntry>& manifest) {
        FatImageRecipe recipe;
        recipe.path = (m_dir / name).string();
        recipe.sizeBytes = size;
        recipe.fatBits = fatBits;
        recipe.clusterBytes = clusterBytes;
        recipe.files = files;
        recipe.fragment = fragment;
        recipe.seed = seed;
        std::string error;
        EXPECT_TRUE(MakeFatImage(recipe, manifest, error)) << error;
        return recipe.path;
    }

    fs::path m_dir;
};

// Opens an image read-write (or read-only) as a backend; null with the message on failure.
std::unique_ptr<VolumeBackend> OpenImage(const std::string& path, std::string& error,
                                         DeviceAccess access = DeviceAccess::ReadWrite);

// fsck.fat -n: the exit status, with its output in `output`.
int Fsck(const std::string& image, std::string& output);

// The lines of fsck.fat's output that a cut volume must not show before our
// reopen (anything but the dirty flag, lost clusters, differing FAT copies); "" when none.
std::string UnexpectedFsckLines(const std::string& output, const std::string& image);

// The manifest of the image as mcopy reads it.
std::vector<FatManifestEntry> MtoolsManifest(const std::string& image);

// All files of the volume (not directories), by path.
std::vector<std::string> ListFiles(VolumeBackend& backend);

// The file's extents as (lcn, length) runs.
std::vector<std::pair<Lcn, uint64_t>> Runs(VolumeBackend& backend, FileId file);

// The first free run of at least `length` clusters at or after `from`; kVirtualLcn when none.
Lcn FindFreeRun(VolumeBackend& backend, uint64_t length, Lcn from = 0);

// Moves the whole file into the first free run that holds it. Answers the move's
// status, or STATUS_SUCCESS when it is empty or already contiguous.
NTSTATUS DefragmentFile(VolumeBackend& backend, const std::string& path);

// True when TARVO_STRESS=full asks for the long configurations.
bool FullStress();

// True in a build with the address sanitizer, where every run costs several
// times as much: the bounded samples shrink further there.
constexpr bool kSanitizedBuild =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

std::vector<uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes);

// The moves of one run: the first maxFiles fragmented files made contiguous (their
// directory entries change), the tail of a contiguous file moved (a FAT link
// changes), then Flush. Answers the first status that is not STATUS_SUCCESS.
NTSTATUS RunMoves(VolumeBackend& backend, size_t maxFiles);

}  // namespace tarvo::platform::testing
