// NtfsTestSupport.h --- shared helpers of the NTFS tests: a private data folder, images, independent judges.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ntfs/NtfsExternalCheck.h"
#include "platform/ntfs/NtfsImageBuilder.h"
#include "platform/core/NtTypes.h"
#include "platform/core/Sha256.h"

namespace tarvo::platform::testing {

// A temporary folder that is also TARVO_HOME for the test.
class NtfsTestFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // Images live in memory when possible: the crash tests flush thousands of times.
        std::string pattern = (::access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm")
                                                                : std::filesystem::temp_directory_path().string()) +
                              "/tarvo-ntfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        setenv("TARVO_HOME", (m_dir + "/home").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }

    // Builds an image in the folder and answers its path; the manifest goes to m_manifest.
    std::string MakeImage(const std::string& name, NtfsImageRecipe recipe) {
        recipe.path = PathOf(name);
        std::string error;
        EXPECT_TRUE(BuildNtfsImage(recipe, m_manifest, error)) << error;
        return recipe.path;
    }

    std::string m_dir;
    std::vector<ManifestEntry> m_manifest;
};

// True when TARVO_STRESS=full asks for the long configurations.
// Whether every call of a run answered STATUS_SUCCESS.
inline bool AllSucceeded(const std::vector<NTSTATUS>& statuses) {
    return std::all_of(statuses.begin(), statuses.end(), [](NTSTATUS s) { return s == STATUS_SUCCESS; });
}

inline bool FullStress() {
    const char* s = std::getenv("TARVO_STRESS");
    return s != nullptr && std::string(s) == "full";
}

// The SHA-256 of a file as ntfscat reads it ("" when ntfscat fails).
inline std::string NtfscatSha256(const std::string& image, const std::string& volumePath) {
    std::string slashPath = volumePath;
    for (char& c : slashPath) {
        if (c == '\\') {
            c = '/';
        }
    }
    std::string command = "ntfscat -f '" + image + "' '" + slashPath + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "";
    }
    Sha256 sha;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        sha.Update(buffer, n);
    }
    return pclose(pipe) == 0 ? sha.HexDigest() : "";
}

// Every file of the manifest reads back (through ntfscat) with its recorded content.
inline ::testing::AssertionResult ContentMatchesManifest(const std::string& image,
                                                         const std::vector<ManifestEntry>& manifest) {
    for (const ManifestEntry& e : manifest) {
        std::string sha = NtfscatSha256(image, e.path);
        if (sha != e.sha256) {
            return ::testing::AssertionFailure() << e.path << " reads back as " << (sha.empty() ? "an error" : sha);
        }
    }
    return ::testing::AssertionSuccess();
}

// ntfsresize -i -f and ntfsfix -n both find the volume clean.
inline ::testing::AssertionResult JudgesFindClean(const std::string& image) {
    std::string report;
    if (!RunExternalNtfsChecks(image, report)) {
        return ::testing::AssertionFailure() << report;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tarvo::platform::testing
