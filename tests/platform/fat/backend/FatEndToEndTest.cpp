// FatEndToEndTest.cpp --- images made by mkfs.fat and mcopy, defragmented through the backend, judged by fsck.fat and mcopy.
#include "FatTestSupport.h"

namespace tarvo::platform::testing {

namespace {

struct Flavor {
    int fatBits;
    uint64_t size;
    uint32_t clusterBytes;
    const char* fileSystemName;
};

const Flavor kFlavors[] = {
    {12, 2u << 20, 1024, "FAT"},
    {16, 8u << 20, 512, "FAT"},
    {32, 40u << 20, 512, "FAT32"},
};

}  // namespace

TEST_F(FatTest, DefragmentingEveryFileKeepsContentsAndSatisfiesFsck) {
    for (const Flavor& flavor : kFlavors) {
        SCOPED_TRACE("FAT" + std::to_string(flavor.fatBits));
        std::vector<FatManifestEntry> manifest;
        std::string image = MakeImage("e2e" + std::to_string(flavor.fatBits) + ".img", flavor.fatBits, flavor.size,
                                      flavor.clusterBytes, 24, true, 7, manifest);
        ASSERT_FALSE(manifest.empty());
        std::string error;
        auto backend = OpenImage(image, error);
        ASSERT_NE(backend, nullptr) << error;
        VolumeInformation info;
        ASSERT_EQ(backend->GetVolumeInformation(info), STATUS_SUCCESS);
        EXPECT_EQ(info.fileSystemName, flavor.fileSystemName);
        EXPECT_EQ(info.volumeName, "TARVO");
        NTFS_VOLUME_DATA_BUFFER ntfs{};
        EXPECT_EQ(backend->GetNtfsVolumeData(ntfs).status, STATUS_INVALID_DEVICE_REQUEST);
        EXPECT_EQ(backend->GetDriveType(), DRIVE_FIXED);

        std::vector<std::string> files = ListFiles(*backend);
        ASSERT_EQ(files.size(), manifest.size());
        size_t fragmented = 0;
        for (const std::string& path : files) {
            FileId id = 0;
            ASSERT_EQ(backend->OpenFile(path, {}, id), STATUS_SUCCESS) << path;
            fragmented += Runs(*backend, id).size() > 1 ? 1 : 0;
            ASSERT_EQ(DefragmentFile(*backend, path), STATUS_SUCCESS) << path;
            EXPECT_LE(Runs(*backend, id).size(), 1u) << path;
        }
        EXPECT_GT(fragmented, 3u) << "the image should have been made fragmented";
        std::string report;
        EXPECT_TRUE(backend->CheckConsistency(report)) << report;
        ASSERT_EQ(backend->Flush(), STATUS_SUCCESS);
        backend.reset();

        std::string output;
        EXPECT_EQ(Fsck(image, output), 0) << output;
        EXPECT_EQ(output.find("differ"), std::string::npos) << output;
        EXPECT_EQ(MtoolsManifest(image), manifest);
        backend = OpenImage(image, error);
        ASSERT_NE(backend, nullptr) << error;
        EXPECT_EQ(ListFiles(*backend), files);
    }
}

}  // namespace tarvo::platform::testing
