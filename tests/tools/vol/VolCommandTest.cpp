// VolCommandTest.cpp --- tarvoctl drive and vol subcommands, run as a user would run them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/sim/SimVolume.h"

namespace tarvo::platform {
namespace {

class VolCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-vol-XXXXXX";
        m_folder = mkdtemp(pattern);
        setenv("TARVO_HOME", (m_folder + "/home").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    // Runs tarvoctl with the words; answers the exit status and fills the output.
    int Run(const std::string& words, std::string& output) {
        std::string command = std::string(TARVO_BINARY_DIR) + "/bin/tarvoctl " + words + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        output.clear();
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static uint64_t Field(const std::string& json, const std::string& name) {
        std::smatch match;
        std::regex pattern("\"" + name + "\": (-?[0-9]+)");
        return std::regex_search(json, match, pattern) ? std::stoull(match[1]) : ~uint64_t{0};
    }
    std::string m_folder;
};

TEST_F(VolCommandTest, ReportAgreesWithTheVolumesOwnRuns) {
    std::string out;
    std::string file = m_folder + "/d.sim";
    ASSERT_EQ(Run("vol mksim " + file + " --fs NTFS --clusters 300000 --cluster-size 4096 --files 2000 --seed 9", out), 0)
        << out;
    ASSERT_EQ(Run("drive map D: " + file, out), 0) << out;
    ASSERT_EQ(Run("vol report D: --json --files", out), 0) << out;
    std::string error;
    auto volume = SimVolume::Open(file, SimAccess::ReadOnly, error);
    ASSERT_NE(volume, nullptr) << error;
    uint64_t files = 0, fragmented = 0, fragments = 0;
    for (FileId id = 1; id < volume->NodeCount(); ++id) {
        DirectoryEntry entry;
        std::string path = volume->PathOf(id);
        if (volume->StatFile(path, entry) != STATUS_SUCCESS || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;  // unlisted system areas and directories
        }
        ++files;
        if (entry.name == "pagefile.sys") {
            continue;  // never opens: no fragments
        }
        uint64_t pieces = 0;
        Lcn expected = 0;
        Vcn previous = 0;
        for (const SimRun& run : volume->Runs(id)) {
            if (run.lcn != kVirtualLcn) {
                pieces += (pieces == 0 || run.lcn != expected) ? 1 : 0;
                expected = run.lcn + (run.nextVcn - previous);
            }
            previous = run.nextVcn;
        }
        fragments += pieces;
        fragmented += pieces > 1 ? 1 : 0;
    }
    EXPECT_EQ(Field(out, "total_clusters"), 300000u);
    EXPECT_EQ(Field(out, "bytes_per_cluster"), 4096u);
    EXPECT_EQ(Field(out, "free_clusters"), volume->FreeClusters());
    EXPECT_EQ(Field(out, "files"), files);
    EXPECT_EQ(Field(out, "fragmented_files"), fragmented);
    EXPECT_EQ(Field(out, "fragments"), fragments);
    EXPECT_GT(fragmented, 100u);
    EXPECT_GT(Field(out, "free_runs"), 0u);
    EXPECT_NE(out.find("\"path\": \"D:\\\\pagefile.sys\""), std::string::npos);
    ASSERT_EQ(Run("drive list", out), 0) << out;
    EXPECT_NE(out.find("D:     fixed      NTFS"), std::string::npos) << out;
    EXPECT_EQ(Run("vol check D:", out), 0) << out;
}

TEST_F(VolCommandTest, FreeRunsLeaveOutTheMftZoneAndCountMaximalRuns) {
    SimVolumeShape shape;
    shape.totalClusters = 10000;
    shape.mftZonePercent = 10;
    std::string error;
    auto volume = SimVolume::Create(shape, error);
    ASSERT_NE(volume, nullptr) << error;
    SimNtfsLayout layout = volume->NtfsLayout();
    FileId id = 0;
    // One file splits the free space after the zone in two.
    ASSERT_EQ(volume->AddFile(SimVolume::kRootId, "x", 0, 4096, SimFileKind::Normal, {{1, layout.mftZoneEnd + 100}}, id),
              STATUS_SUCCESS);
    ASSERT_TRUE(volume->SaveAs(m_folder + "/z.sim", error)) << error;
    uint64_t expectedRuns = 0, largest = 0, run = 0;
    for (Lcn lcn = 0; lcn <= shape.totalClusters; ++lcn) {
        bool usable = lcn < shape.totalClusters && volume->IsFree(lcn, 1) &&
                      !(lcn >= layout.mftZoneStart && lcn <= layout.mftZoneEnd);
        if (usable) {
            ++run;
        } else if (run > 0) {
            ++expectedRuns;
            largest = std::max(largest, run);
            run = 0;
        }
    }
    volume.reset();  // lets the fault command below take the file
    std::string out;
    ASSERT_EQ(Run("vol report " + m_folder + "/z.sim --json", out), 0) << out;
    EXPECT_EQ(Field(out, "free_runs"), expectedRuns);
    EXPECT_EQ(Field(out, "largest_free_run"), largest);
    EXPECT_GE(expectedRuns, 3u);
    ASSERT_EQ(Run("vol fault " + m_folder + "/z.sim --write-protected", out), 0) << out;
    volume = SimVolume::Open(m_folder + "/z.sim", SimAccess::ReadOnly, error);
    ASSERT_NE(volume, nullptr) << error;
    EXPECT_TRUE(volume->Faults().writeProtected);
}

TEST_F(VolCommandTest, MksimIsDeterministicAndRefusesToOverwriteOtherFiles) {
    std::string out;
    std::string args = " --fs FAT --clusters 60000 --cluster-size 2048 --files 500 --seed 4 --drive-type removable";
    ASSERT_EQ(Run("vol mksim " + m_folder + "/a.sim" + args, out), 0) << out;
    ASSERT_EQ(Run("vol mksim " + m_folder + "/b.sim" + args, out), 0) << out;
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(bytes(m_folder + "/a.sim"), bytes(m_folder + "/b.sim"));
    std::ofstream(m_folder + "/precious.img") << "not a volume";
    EXPECT_EQ(Run("vol mksim " + m_folder + "/precious.img" + args, out), 1);
    EXPECT_EQ(bytes(m_folder + "/precious.img"), "not a volume");
    ASSERT_EQ(Run("drive map E: " + m_folder + "/a.sim", out), 0) << out;
    ASSERT_EQ(Run("drive list", out), 0) << out;
    EXPECT_NE(out.find("E:     removable  FAT"), std::string::npos) << out;
}

TEST_F(VolCommandTest, BadInputGetsAClearErrorAndChangesNothing) {
    std::string out;
    EXPECT_EQ(Run("vol mksim " + m_folder + "/x.sim --fs HPFS --clusters 1000 --cluster-size 512 --files 1", out), 2);
    EXPECT_EQ(Run("vol mksim " + m_folder + "/x.sim --fs NTFS --clusters -5 --cluster-size 512 --files 1", out), 2);
    EXPECT_EQ(Run("vol mksim " + m_folder + "/x.sim --fs NTFS --clusters 1000", out), 2);
    EXPECT_EQ(Run("vol mksim " + m_folder + "/x.sim --fs NTFS --clusters 1000 --cluster-size 4096 --files 1 --free 2", out), 1);
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/x.sim"));
    EXPECT_EQ(Run("drive map 7: " + m_folder, out), 2);
    EXPECT_EQ(Run("drive map D: " + m_folder + "/missing.img", out), 1);
    EXPECT_EQ(Run("drive unmap D:", out), 1);
    EXPECT_EQ(Run("vol report Q:", out), 1);
    EXPECT_NE(out.find("not mapped"), std::string::npos) << out;
    std::ofstream(m_folder + "/junk.img") << std::string(4096, 'x');
    EXPECT_EQ(Run("vol check " + m_folder + "/junk.img", out), 1);
    EXPECT_NE(out.find("unrecognised volume format"), std::string::npos) << out;
    EXPECT_EQ(Run("vol report", out), 2);
    EXPECT_EQ(Run("vol fault " + m_folder + "/junk.img --race 1:2", out), 1);
}

}  // namespace
}  // namespace tarvo::platform
