// NtfsBackendTest.cpp --- the NTFS backend's queries on real images, judged against ntfscat and the image bytes.
#include <fstream>

#include "platform/blockio/BlockDevice.h"
#include "platform/ntfs/NtfsBackend.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

class NtfsBackendTest : public NtfsTestFolder {
protected:
    void SetUp() override {
        NtfsTestFolder::SetUp();
        NtfsImageRecipe recipe;
        recipe.size = 32ULL << 20;
        recipe.files = 20;
        recipe.compressed = 3;
        recipe.sparse = 2;
        recipe.fragmentation = Fragmentation::Deliberate;
        m_image = MakeImage("vol.img", recipe);
        std::string error;
        m_backend = OpenNtfsBackend(m_image, DeviceAccess::ReadOnly, error);
        ASSERT_TRUE(m_backend) << error;
    }
    std::string m_image;
    std::unique_ptr<VolumeBackend> m_backend;
};

TEST_F(NtfsBackendTest, ReportsNtfsVolumeFiguresFromTheImage) {
    VolumeInformation info;
    ASSERT_EQ(m_backend->GetVolumeInformation(info), STATUS_SUCCESS);
    EXPECT_EQ(info.fileSystemName, "NTFS");
    EXPECT_EQ(info.volumeName, "TARVO");
    EXPECT_TRUE(info.fileSystemFlags & FILE_READ_ONLY_VOLUME);
    NTFS_VOLUME_DATA_BUFFER data;
    ASSERT_EQ(m_backend->GetNtfsVolumeData(data).status, STATUS_SUCCESS);
    EXPECT_EQ(data.BytesPerCluster, 4096u);
    EXPECT_EQ(data.TotalClusters.QuadPart, (32LL << 20) / 4096 - 1);  // the last sector holds the backup boot sector
    EXPECT_GT(data.MftStartLcn.QuadPart, 0);
    EXPECT_GT(data.MftValidDataLength.QuadPart, 0);
    EXPECT_LE(data.MftZoneStart.QuadPart, data.MftZoneEnd.QuadPart);
    DiskFreeSpace space;
    ASSERT_EQ(m_backend->GetDiskFreeSpace(space), STATUS_SUCCESS);
    EXPECT_EQ(space.numberOfFreeClusters, static_cast<DWORD>(data.FreeClusters.QuadPart));
    EXPECT_EQ(space.sectorsPerCluster * space.bytesPerSector, 4096u);
}

TEST_F(NtfsBackendTest, BitmapAnswersOverflowTooSmallAndPastEndAsNtfsDoes) {
    NTFS_VOLUME_DATA_BUFFER data;
    m_backend->GetNtfsVolumeData(data);
    const uint64_t total = static_cast<uint64_t>(data.TotalClusters.QuadPart);
    std::vector<uint8_t> whole(kVolumeBitmapHeaderSize + (total + 7) / 8);
    FsctlResult r = m_backend->GetVolumeBitmap(0, whole.data(), whole.size());
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.bytesReturned, whole.size());
    uint64_t used = 0;
    for (uint64_t i = 0; i < total; ++i) {
        used += (whole[kVolumeBitmapHeaderSize + i / 8] >> (i % 8)) & 1;
    }
    EXPECT_EQ(used, total - static_cast<uint64_t>(data.FreeClusters.QuadPart));
    std::vector<uint8_t> small(kVolumeBitmapHeaderSize + 4);
    r = m_backend->GetVolumeBitmap(0, small.data(), small.size());
    EXPECT_EQ(r.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(r.bytesReturned, small.size());
    EXPECT_EQ(m_backend->GetVolumeBitmap(0, small.data(), 8).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(m_backend->GetVolumeBitmap(total, whole.data(), whole.size()).status, STATUS_INVALID_PARAMETER);
}

TEST_F(NtfsBackendTest, ListsUserFilesButNotTheVolumesOwnFiles) {
    std::vector<DirectoryEntry> root;
    ASSERT_EQ(m_backend->ListDirectory("", root), STATUS_SUCCESS);
    bool sawData = false;
    for (const auto& e : root) {
        EXPECT_NE(e.name[0], '$') << e.name;
        sawData |= e.name == "DATA" && (e.attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    EXPECT_TRUE(sawData);
    std::vector<DirectoryEntry> data;
    ASSERT_EQ(m_backend->ListDirectory("data", data), STATUS_SUCCESS);
    EXPECT_EQ(data.size(), 22u);
    DirectoryEntry entry;
    ASSERT_EQ(m_backend->StatFile("Data\\f0003.bin", entry), STATUS_SUCCESS);
    EXPECT_EQ(entry.name, "F0003.BIN");
    EXPECT_EQ(entry.size, m_manifest[3].size);
    ASSERT_EQ(m_backend->StatFile("PACKED\\C0000.TXT", entry), STATUS_SUCCESS);
    EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_COMPRESSED);
    EXPECT_EQ(m_backend->ListDirectory("DATA\\F0003.BIN", data), STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(m_backend->StatFile("DATA\\NOPE", entry), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(NtfsBackendTest, RefusesHostilePathsAndTheVolumesOwnRecords) {
    DirectoryEntry entry;
    FileId id = 0;
    for (const char* path : {"..\\etc", "DATA\\..\\DATA", "DATA\\\\F0001.BIN", "DATA/F0001.BIN", "\\DATA"}) {
        EXPECT_EQ(m_backend->StatFile(path, entry), STATUS_OBJECT_NAME_INVALID) << path;
        EXPECT_NE(m_backend->OpenFile(path, {}, id), STATUS_SUCCESS) << path;
    }
    std::vector<uint8_t> buffer(4096);
    for (FileId system : {0, 1, 2, 6, 11}) {  // $MFT, $MFTMirr, $LogFile, $Bitmap, $Extend
        EXPECT_EQ(m_backend->GetRetrievalPointers(system, 0, buffer.data(), buffer.size()).status,
                  STATUS_ACCESS_DENIED);
    }
    EXPECT_EQ(m_backend->OpenFile("", {}, id), STATUS_ACCESS_DENIED);  // the root index is the volume's
}

// The extents are judged by reading the image itself at the LCNs they name and
// comparing with the content ntfscat reads through its own code.
TEST_F(NtfsBackendTest, RetrievalPointersLeadToTheFilesBytesOnTheImage) {
    std::ifstream image(m_image, std::ios::binary);
    for (const ManifestEntry& e : m_manifest) {
        if (e.path.rfind("\\PACKED", 0) == 0) {
            continue;  // compressed clusters hold compressed bytes
        }
        FileId id = 0;
        ASSERT_EQ(m_backend->OpenFile(e.path.substr(1), {}, id), STATUS_SUCCESS) << e.path;
        std::vector<Extent> extents;
        NTSTATUS status = ExtentsOf(*m_backend, id, extents);
        if (e.size < 600) {
            EXPECT_EQ(status, STATUS_END_OF_FILE) << e.path << " is resident and has no extents";
            continue;
        }
        ASSERT_EQ(status, STATUS_SUCCESS) << e.path;
        Sha256 sha;
        uint64_t left = e.size, vcn = 0;
        std::vector<char> cluster(4096);
        for (const Extent& x : extents) {
            for (; vcn < x.nextVcn && left > 0; ++vcn) {
                size_t take = static_cast<size_t>(std::min<uint64_t>(left, 4096));
                if (x.lcn == kVirtualLcn) {
                    std::fill(cluster.begin(), cluster.end(), 0);
                } else {
                    image.seekg(static_cast<std::streamoff>((x.lcn + (vcn - x.startVcn)) * 4096));
                    image.read(cluster.data(), 4096);
                }
                sha.Update(cluster.data(), take);
                left -= take;
            }
            vcn = x.nextVcn;
        }
        EXPECT_EQ(sha.HexDigest(), e.sha256) << e.path;
    }
}

TEST_F(NtfsBackendTest, SmallBuffersDeliverExtentsInBatchesThatContinue) {
    FileId id = 0;
    ASSERT_EQ(m_backend->OpenFile("DATA\\F0000.BIN", {}, id), STATUS_SUCCESS);
    std::vector<Extent> all;
    ASSERT_EQ(ExtentsOf(*m_backend, id, all), STATUS_SUCCESS);
    ASSERT_GE(all.size(), 2u) << "the deliberately fragmented file should have fragments";
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + sizeof(RETRIEVAL_POINTERS_EXTENT));
    FsctlResult r = m_backend->GetRetrievalPointers(id, 0, buffer.data(), buffer.size());
    EXPECT_EQ(r.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(r.bytesReturned, buffer.size());
    r = m_backend->GetRetrievalPointers(id, all[0].nextVcn, buffer.data(), buffer.size());
    RETRIEVAL_POINTERS_EXTENT second;
    std::memcpy(&second, buffer.data() + kRetrievalPointersHeaderSize, sizeof(second));
    EXPECT_EQ(static_cast<uint64_t>(second.NextVcn.QuadPart), all[1].nextVcn);
    EXPECT_EQ(m_backend->GetRetrievalPointers(id, all.back().nextVcn, buffer.data(), buffer.size()).status,
              STATUS_END_OF_FILE);
}

TEST_F(NtfsBackendTest, SparseFilesShowHolesAsVirtualRuns) {
    FileId id = 0;
    ASSERT_EQ(m_backend->OpenFile("DATA\\S0000.DAT", {}, id), STATUS_SUCCESS);
    std::vector<Extent> extents;
    ASSERT_EQ(ExtentsOf(*m_backend, id, extents), STATUS_SUCCESS);
    int holes = 0;
    for (const Extent& x : extents) {
        holes += x.lcn == kVirtualLcn;
    }
    EXPECT_GE(holes, 2);
}

TEST_F(NtfsBackendTest, ReadOnlyVolumeRefusesMovesAsWriteProtected) {
    FileId id = 0;
    ASSERT_EQ(m_backend->OpenFile("DATA\\F0000.BIN", {}, id), STATUS_SUCCESS);
    EXPECT_EQ(m_backend->MoveFile(id, 0, 1000, 1).status, STATUS_MEDIA_WRITE_PROTECTED);
}

TEST_F(NtfsBackendTest, NewImageIsConsistentByEveryJudge) {
    std::string report;
    EXPECT_TRUE(m_backend->CheckConsistency(report)) << report;
    EXPECT_NE(report.find("used twice 0"), std::string::npos) << report;
    EXPECT_TRUE(ContentMatchesManifest(m_image, m_manifest));
}

TEST(NtfsBootSectorTest, RecognisesNtfsAndRejectsOtherSectors) {
    uint8_t sector[512] = {};
    std::memcpy(sector + 3, "NTFS    ", 8);
    sector[11] = 0x00;
    sector[12] = 0x02;
    sector[13] = 8;
    sector[510] = 0x55;
    sector[511] = 0xAA;
    EXPECT_TRUE(IsNtfsBootSector(sector, sizeof(sector)));
    EXPECT_FALSE(IsNtfsBootSector(sector, 100));
    sector[13] = 3;  // not a power of two
    EXPECT_FALSE(IsNtfsBootSector(sector, sizeof(sector)));
    sector[13] = 8;
    sector[3] = 'M';
    EXPECT_FALSE(IsNtfsBootSector(sector, sizeof(sector)));
}

}  // namespace
}  // namespace tarvo::platform::testing
