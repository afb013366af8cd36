// NtfsConsoleRunTest.cpp --- TarvoDefrag run from the command line on a real NTFS image made by
// tarvoctl vol mkntfs, judged by ntfscat checksums, ntfsresize, ntfsfix and the volume report.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/support/ProgramRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::e2e {
namespace {

using platform::ManifestEntry;
using platform::testing::ContentMatchesManifest;
using platform::testing::JudgesFindClean;

// The manifest tarvoctl vol mkntfs wrote beside the image ("<sha256>  <size>  <path>" lines).
std::vector<ManifestEntry> ReadManifest(const std::string& path) {
    std::vector<ManifestEntry> manifest;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ManifestEntry e;
        fields >> e.sha256 >> e.size;
        std::getline(fields >> std::ws, e.path);
        if (!e.path.empty()) manifest.push_back(e);
    }
    return manifest;
}

// A number field of the report's JSON, or -1 when it is missing.
long long JsonField(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\": ";
    size_t at = json.find(key);
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + key.size());
}

class NtfsConsoleRun : public ProgramTest {
protected:
    // Makes a fragmented image with ordinary, compressed and sparse files and maps it as E:.
    void MakeAndMap(int seed) {
        m_image = m_home + "/e.img";
        ProgramResult made = Run("tarvoctl", {"vol", "mkntfs", m_image, "--size", "48M", "--files", "40", "--fragment",
                                              "--compressed", "3", "--sparse", "2", "--seed", std::to_string(seed)});
        ASSERT_EQ(made.status, 0) << made.output;
        m_manifest = ReadManifest(m_image + ".manifest");
        ASSERT_EQ(m_manifest.size(), 45u);
        ProgramResult mapped = Run("tarvoctl", {"drive", "map", "E:", m_image});
        ASSERT_EQ(mapped.status, 0) << mapped.output;
    }

    long long FragmentedFiles() {
        ProgramResult report = Run("tarvoctl", {"vol", "report", "E:", "--json"});
        EXPECT_EQ(report.status, 0) << report.output;
        return JsonField(report.output, "fragmented_files");
    }

    // Every file reads back with its manifest content, and the independent judges and our check find it clean.
    void ExpectIntactAndConsistent() {
        EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
        EXPECT_TRUE(JudgesFindClean(m_image));
        ProgramResult check = Run("tarvoctl", {"vol", "check", "E:"});
        EXPECT_EQ(check.status, 0) << check.output;
    }

    std::string m_image;
    std::vector<ManifestEntry> m_manifest;
};

TEST_F(NtfsConsoleRun, SpaceDefragmentsARealImageAndEveryFileReadsBackUnchanged) {
    MakeAndMap(7);
    const long long before = FragmentedFiles();
    ASSERT_GT(before, 10);
    ProgramResult run = Run("TarvoDefrag", {"--console", "/SPACE:E", "/LOG:4"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("E: SPACE 100%"), std::string::npos) << run.output;
    const long long after = FragmentedFiles();
    EXPECT_LT(after, before / 2) << "before " << before << ", after " << after;
    ExpectIntactAndConsistent();

    ProgramResult log = Run("tarvoctl", {"eventlog"});
    EXPECT_NE(log.output.find("SPACE-defragmentation has completed for drive E: (Filesystem NTFS)"), std::string::npos)
        << log.output;
    // A second run finds the volume as the first left it and completes too.
    EXPECT_EQ(Run("TarvoDefrag", {"--console", "/SPACE:E"}).status, 0);
    EXPECT_LE(FragmentedFiles(), after);
    ExpectIntactAndConsistent();
}

#if __has_include("engine/CompleteMethod.h")
TEST_F(NtfsConsoleRun, CompleteSortedByNameDefragmentsARealImageAndEveryFileReadsBackUnchanged) {
    MakeAndMap(8);
    const long long before = FragmentedFiles();
    ASSERT_GT(before, 10);
    ProgramResult run = Run("TarvoDefrag", {"--console", "/COMPLETE:E", "/SORT:NAME", "/LOG:4"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_LT(FragmentedFiles(), before / 2);
    ExpectIntactAndConsistent();
    ProgramResult log = Run("tarvoctl", {"eventlog"});
    EXPECT_NE(log.output.find("COMPLETE-defragmentation has completed for drive E: (Filesystem NTFS)"),
              std::string::npos)
        << log.output;
}
#endif

}  // namespace
}  // namespace tarvo::e2e
