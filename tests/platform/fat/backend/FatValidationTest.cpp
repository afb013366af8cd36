// FatValidationTest.cpp --- damaged or unclean volumes are refused with a message and never written; move statuses.
#include "FatTestSupport.h"
#include "platform/blockio/MemoryBlockDevice.h"
#include "platform/fat/FatEndian.h"
#include "platform/fat/FatGeometry.h"

namespace tarvo::platform::testing {

namespace {

class FatDamageTest : public FatTest {
protected:
    void SetUp() override {
        FatTest::SetUp();
        m_image = MakeImage("v.img", 16, 8u << 20, 512, 12, true, 9, m_manifest);
        m_bytes = ReadAll(m_image);
        std::string error;
        ASSERT_TRUE(ParseFatBootSector(m_bytes.data(), 512, m_bytes.size(), m_geometry, error)) << error;
    }

    // Opens a copy of the bytes in memory; answers the message of the refusal, or "" when it opened.
    std::string OpenFails(const std::vector<uint8_t>& bytes) {
        std::string error;
        auto backend = OpenFatBackend(std::make_unique<MemoryBlockDevice>(bytes, DeviceAccess::ReadWrite, m_image), error);
        return backend == nullptr ? error : std::string();
    }

    void SetFat16(std::vector<uint8_t>& bytes, uint32_t cluster, uint16_t value, bool allCopies = true) {
        for (uint32_t k = 0; k < (allCopies ? m_geometry.numberOfFats : 1); ++k) {
            fat::Put16(bytes.data() + m_geometry.FatOffset(k) + cluster * 2, value);
        }
    }

    // The clusters (numbered as in the FAT) of the first two files with at least two clusters.
    std::pair<std::vector<uint32_t>, std::vector<uint32_t>> TwoChains() {
        std::string error;
        auto backend = OpenImage(m_image, error, DeviceAccess::ReadOnly);
        std::vector<std::vector<uint32_t>> chains;
        for (const auto& path : ListFiles(*backend)) {
            FileId id = 0;
            backend->OpenFile(path, {}, id);
            std::vector<uint32_t> chain;
            for (auto [lcn, length] : Runs(*backend, id)) {
                for (uint64_t i = 0; i < length; ++i) {
                    chain.push_back(static_cast<uint32_t>(lcn + i + 2));
                }
            }
            if (chain.size() >= 2) {
                chains.push_back(chain);
            }
        }
        return {chains.at(0), chains.at(1)};
    }

    std::string m_image;
    std::vector<FatManifestEntry> m_manifest;
    std::vector<uint8_t> m_bytes;
    FatGeometry m_geometry;
};

}  // namespace

TEST_F(FatDamageTest, ImpossibleBootSectorsAreRefusedByName) {
    struct Case {
        size_t offset;
        uint8_t value;
        const char* words;
    } cases[] = {{11, 0x00, "bytes per sector"}, {13, 3, "sectors per cluster"}, {16, 0, "number of FATs"},
                 {510, 0, "signature"},           {14, 0, "reserved sector"}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = m_bytes;
        bytes[c.offset] = c.value;
        bytes[c.offset == 11 ? 12 : c.offset] = c.value;
        std::string error = OpenFails(bytes);
        EXPECT_NE(error.find(c.words), std::string::npos) << c.words << ": " << error;
        // The refusal says what to do about it, and names the image once.
        EXPECT_NE(error.find("run fsck.fat"), std::string::npos) << error;
        EXPECT_EQ(error.find(m_image), error.rfind(m_image)) << error;
    }
    std::vector<uint8_t> truncated(m_bytes.begin(), m_bytes.begin() + static_cast<long>(m_bytes.size() / 2));
    EXPECT_NE(OpenFails(truncated).find("device holds only"), std::string::npos);
}

TEST_F(FatDamageTest, BrokenChainsAreRefusedAndNeverWritten) {
    auto [a, b] = TwoChains();
    struct Case {
        uint32_t cluster;
        uint16_t value;
        const char* words;
    } cases[] = {
        {a[1], static_cast<uint16_t>(a[0]), "loops"},
        {a[a.size() - 2], static_cast<uint16_t>(b.back()), "share cluster"},
        {a[0], static_cast<uint16_t>(m_geometry.clusterCount + 5), "outside the volume"},
        {a[0], 0, "free"},
        {a[0], 0xFFF7, "bad"},
        {a[0], 0xFFFF, "does not match"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = m_bytes;
        SetFat16(bytes, c.cluster, c.value);
        auto device = std::make_unique<MemoryBlockDevice>(bytes, DeviceAccess::ReadWrite, m_image);
        MemoryBlockDevice* raw = device.get();
        std::string error;
        std::unique_ptr<BlockDevice> owner(std::move(device));
        std::string report;
        EXPECT_FALSE(CheckFatVolume(*raw, report)) << c.words;
        EXPECT_NE(report.find(c.words), std::string::npos) << c.words << ": " << report;
        EXPECT_NE(report.find("fsck.fat"), std::string::npos) << report;
        EXPECT_EQ(raw->WriteCount(), 0u);
        EXPECT_EQ(OpenFatBackend(std::move(owner), error), nullptr) << c.words;
    }
}

TEST_F(FatDamageTest, UncleanVolumesWithoutOurRecordAreSentToFsck) {
    std::vector<uint8_t> dirty = m_bytes;
    dirty[m_geometry.dirtyFlagOffset] |= 1;
    const std::string unclean = OpenFails(dirty);
    EXPECT_NE(unclean.find("run fsck.fat"), std::string::npos);
    EXPECT_EQ(unclean.find(m_image), unclean.rfind(m_image)) << "names the image once: " << unclean;

    std::vector<uint8_t> cleared = m_bytes;
    SetFat16(cleared, 1, 0x7FFF);  // FAT[1]'s clean-shutdown bit, as Windows keeps it
    EXPECT_NE(OpenFails(cleared).find("dirty flag"), std::string::npos);

    auto [a, b] = TwoChains();
    std::vector<uint8_t> differing = m_bytes;
    SetFat16(differing, a[0], 0xFFFF, false);
    EXPECT_NE(OpenFails(differing).find("FAT copies differ"), std::string::npos);
}

TEST_F(FatDamageTest, MovesAnswerTheStatusesTheEngineTellsApart) {
    std::string error;
    auto backend = OpenImage(m_image, error);
    ASSERT_NE(backend, nullptr) << error;
    auto [a, b] = TwoChains();
    FileId file = 0, dir = 0;
    std::string path;
    for (const auto& p : ListFiles(*backend)) {
        backend->OpenFile(p, {}, file);
        if (!Runs(*backend, file).empty() && Runs(*backend, file)[0].first + 2 == a[0]) {
            path = p;
            break;
        }
    }
    ASSERT_FALSE(path.empty());
    const Lcn used = b[0] - 2;
    EXPECT_EQ(backend->MoveFile(file, 0, used, 1).status, STATUS_ALREADY_COMMITTED);
    DiskFreeSpace space;
    backend->GetDiskFreeSpace(space);
    EXPECT_EQ(backend->MoveFile(file, 0, space.totalNumberOfClusters - 1, 2).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(backend->MoveFile(file, a.size(), FindFreeRun(*backend, 1), 1).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(backend->MoveFile(file, 0, FindFreeRun(*backend, 1), 0).status, STATUS_INVALID_PARAMETER);
    ASSERT_EQ(backend->OpenFile("DOCS", {}, dir), STATUS_SUCCESS);
    EXPECT_FALSE(Runs(*backend, dir).empty()) << "directories are listed with their extents";
    EXPECT_EQ(backend->MoveFile(dir, 0, FindFreeRun(*backend, 1), 1).status, STATUS_ACCESS_DENIED);
    backend.reset();

    backend = OpenImage(m_image, error, DeviceAccess::ReadOnly);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_EQ(backend->MoveFile(file, 0, FindFreeRun(*backend, a.size()), 1).status, STATUS_MEDIA_WRITE_PROTECTED);
    backend.reset();
    EXPECT_EQ(ReadAll(m_image), m_bytes) << "refused moves write nothing";
}

TEST_F(FatDamageTest, NamesTimesAndBitmapReadAsTheToolsWroteThem) {
    std::string error;
    auto backend = OpenImage(m_image, error, DeviceAccess::ReadOnly);
    ASSERT_NE(backend, nullptr) << error;
    DirectoryEntry entry;
    ASSERT_EQ(backend->StatFile("long folder name\\PHOTO-0002 WITH A LONG NAME.JPEG", entry), STATUS_SUCCESS);
    EXPECT_EQ(entry.name, "Photo-0002 with a long name.jpeg");
    EXPECT_FALSE(entry.shortName.empty());
    DirectoryEntry again;
    EXPECT_EQ(backend->StatFile("LONGFO~1\\" + entry.shortName, again), STATUS_SUCCESS) << "8.3 names resolve too";
    EXPECT_EQ(again.id, entry.id);
    uint64_t ticks = (uint64_t{entry.lastWriteTime.dwHighDateTime} << 32) | entry.lastWriteTime.dwLowDateTime;
    EXPECT_GT(ticks, 126227808000000000ull) << "after 2001-01-01, as the image maker set it";
    ASSERT_EQ(backend->StatFile("F0000.DAT", entry), STATUS_SUCCESS);
    EXPECT_TRUE(entry.shortName.empty());
    std::vector<DirectoryEntry> list;
    EXPECT_EQ(backend->ListDirectory("F0000.DAT", list), STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(backend->StatFile("NOPE\\X", entry), STATUS_OBJECT_NAME_NOT_FOUND);

    DiskFreeSpace space;
    backend->GetDiskFreeSpace(space);
    std::vector<uint8_t> small(kVolumeBitmapHeaderSize + 4);
    FsctlResult r = backend->GetVolumeBitmap(0, small.data(), small.size());
    EXPECT_EQ(r.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(r.bytesReturned, small.size());
    EXPECT_EQ(backend->GetVolumeBitmap(space.totalNumberOfClusters, small.data(), small.size()).status,
              STATUS_INVALID_PARAMETER);
    std::vector<uint8_t> whole(kVolumeBitmapHeaderSize + space.totalNumberOfClusters / 8 + 1);
    ASSERT_EQ(backend->GetVolumeBitmap(0, whole.data(), whole.size()).status, STATUS_SUCCESS);
    uint64_t used = 0;
    for (uint64_t lcn = 0; lcn < space.totalNumberOfClusters; ++lcn) {
        used += (whole[kVolumeBitmapHeaderSize + lcn / 8] >> (lcn % 8)) & 1;
    }
    EXPECT_EQ(used + space.numberOfFreeClusters, space.totalNumberOfClusters);
}

}  // namespace tarvo::platform::testing
