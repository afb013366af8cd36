// NtfsEarlierIntentTest.cpp --- an intent record an earlier version left (a batch written at once, with
// fingerprints of its copies and the writes to repeat) is still finished or undone by the next open, in
// each layout such records had: one file, then two slots hashed with four lanes, then with eight.
#include <fstream>

#include "platform/ntfs/NtfsBackend.h"
#include "platform/ntfs/NtfsIntent.h"
#include "tests/platform/ntfs/NtfsExtentsOf.h"
#include "tests/platform/ntfs/NtfsFreeRun.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

constexpr const char* kMoved = "DATA\\F0001.BIN";

enum class Layout { OneFile, SlotsFourLanes, SlotsEightLanes };

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The bytes of `intent` as a version-2 record of the given earlier layout.
std::vector<uint8_t> EarlierRecordBytes(const NtfsIntent& intent, Layout layout) {
    std::vector<uint8_t> out = {'T', 'V', 'N', 'T', 'I', 'N', 'T', '2'};
    Put64(out, intent.serial);
    if (layout != Layout::OneFile) Put64(out, 1);  // the sequence number
    Put64(out, intent.dirtySetByUs ? 1 : 0);
    Put64(out, intent.runs.size());
    for (const ClusterRun& run : intent.runs) {
        Put64(out, run.lcn);
        Put64(out, run.length);
    }
    Put64(out, intent.records.size());
    for (const RecordImage& record : intent.records) {
        Put64(out, record.pieces.size());
        for (const RecordPiece& piece : record.pieces) {
            Put64(out, piece.offset);
            Put64(out, piece.bytes.size());
            out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
        }
    }
    Put64(out, intent.copies.size());
    for (const CopyFingerprint& copy : intent.copies) {
        Put64(out, copy.offset);
        Put64(out, copy.length);
        Put64(out, copy.hash);
    }
    Put64(out, intent.redo.size());
    if (layout == Layout::OneFile) {
        for (const DeviceWrite& write : intent.redo) {
            Put64(out, write.offset);
            Put64(out, write.bytes.size());
            out.insert(out.end(), write.bytes.begin(), write.bytes.end());
        }
        Put64(out, HashBytes(out.data(), out.size(), HashLanes::Four));
        return out;
    }
    for (const DeviceWrite& write : intent.redo) {
        Put64(out, write.offset);
        Put64(out, write.bytes.size());
        Put64(out, HashBytes(write.bytes.data(), write.bytes.size(), HashLanes::Four));
    }
    Put64(out, HashBytes(out.data(), out.size(), HashLanes::Four));
    for (const DeviceWrite& write : intent.redo) out.insert(out.end(), write.bytes.begin(), write.bytes.end());
    return out;
}

std::vector<uint8_t> ReadAt(const std::string& image, uint64_t offset, size_t length) {
    std::vector<uint8_t> bytes(length);
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    return bytes;
}

void WriteAt(const std::string& image, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The first extent of the file as the volume now holds it.
Lcn FirstLcnOf(const std::string& image, const char* path) {
    std::string error;
    auto backend = OpenNtfsBackend(image, DeviceAccess::ReadOnly, error);
    FileId id = 0;
    std::vector<Extent> extents;
    if (!backend || backend->OpenFile(path, {}, id) != STATUS_SUCCESS || ExtentsOf(*backend, id, extents) != STATUS_SUCCESS ||
        extents.empty()) {
        return kVirtualLcn;
    }
    return extents[0].lcn;
}

class NtfsEarlierIntentTest : public NtfsTestFolder {
protected:
    // The base image, and the same volume after one whole move of kMoved to a
    // free run: its record's new image and the copied data, as the earlier
    // version's intent record held them.
    void SetUp() override {
        NtfsTestFolder::SetUp();
        NtfsImageRecipe recipe;
        recipe.size = 16ULL << 20;
        recipe.files = 6;
        recipe.fragmentation = Fragmentation::Deliberate;
        m_base = MakeImage("base.img", recipe);
        const std::string moved = PathOf("moved.img");
        std::filesystem::copy_file(m_base, moved);
        std::string error;
        auto backend = OpenNtfsBackend(moved, DeviceAccess::ReadWrite, error);
        ASSERT_TRUE(backend) << error;
        NTFS_VOLUME_DATA_BUFFER data{};
        backend->GetNtfsVolumeData(data);
        m_serial = static_cast<uint64_t>(data.VolumeSerialNumber.QuadPart);
        m_clusterBytes = data.BytesPerCluster;
        FileId id = 0;
        std::vector<Extent> extents;
        ASSERT_EQ(backend->OpenFile(kMoved, {}, id), STATUS_SUCCESS);
        ASSERT_EQ(ExtentsOf(*backend, id, extents), STATUS_SUCCESS);
        ASSERT_GT(extents.size(), 1u) << "the file to move is fragmented";
        m_clusters = extents.back().nextVcn;
        for (const Extent& x : extents) m_sources.push_back({x.lcn, x.nextVcn - x.startVcn});
        m_target = FindFreeRun(*backend, m_clusters);
        ASSERT_NE(m_target, kVirtualLcn);
        ASSERT_EQ(backend->MoveFile(id, 0, m_target, static_cast<DWORD>(m_clusters)).status, STATUS_SUCCESS);
        backend.reset();
        // The MFT of a fresh small volume is one run from its start.
        m_recordOffset = static_cast<uint64_t>(data.MftStartLcn.QuadPart) * m_clusterBytes +
                         id * data.BytesPerFileRecordSegment;
        m_newRecord = ReadAt(moved, m_recordOffset, data.BytesPerFileRecordSegment);
        m_copy = ReadAt(moved, m_target * m_clusterBytes, static_cast<size_t>(m_clusters * m_clusterBytes));
        ASSERT_TRUE(MftRecordIsWhole(m_newRecord));
        ASSERT_NE(m_newRecord, ReadAt(m_base, m_recordOffset, m_newRecord.size()));
    }

    // Saves the intent record a cut after the marks' flush left: the copy
    // fingerprinted, the record's new image to repeat, the runs to reclaim.
    void SaveEarlierIntent(Layout layout) {
        const HashLanes lanes = layout == Layout::SlotsEightLanes ? HashLanes::Eight : HashLanes::Four;
        NtfsIntent intent;
        intent.serial = m_serial;
        intent.dirtySetByUs = true;
        intent.runs.push_back({m_target, m_clusters});
        for (const ClusterRun& run : m_sources) intent.runs.push_back(run);
        intent.copies.push_back(
            {m_target * m_clusterBytes, m_copy.size(), HashBytes(m_copy.data(), m_copy.size(), lanes)});
        intent.redo.push_back({m_recordOffset, m_newRecord});
        NtfsIntentStore store(m_serial);
        if (layout == Layout::SlotsEightLanes) {
            ASSERT_EQ(store.Save(intent), 0);
            return;
        }
        const std::vector<uint8_t> bytes = EarlierRecordBytes(intent, layout);
        std::ofstream(store.Path(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // A cut left the copy whole or half on the medium and the record of the
    // layout: answers where the file starts after the next open, which must
    // leave the volume clean and every file intact.
    Lcn ReopenAfterCut(Layout layout, bool copyWhole) {
        const std::string image = PathOf("cut.img");
        std::filesystem::copy_file(m_base, image, std::filesystem::copy_options::overwrite_existing);
        std::vector<uint8_t> written(m_copy.begin(), m_copy.begin() + static_cast<long>(copyWhole ? m_copy.size()
                                                                                                   : m_copy.size() / 2));
        WriteAt(image, m_target * m_clusterBytes, written);
        SaveEarlierIntent(layout);
        std::string error, report;
        auto reopened = OpenNtfsBackend(image, DeviceAccess::ReadWrite, error);
        EXPECT_TRUE(reopened) << error;
        if (!reopened) return kVirtualLcn;
        EXPECT_TRUE(reopened->CheckConsistency(report)) << report;
        reopened.reset();
        EXPECT_FALSE(NtfsIntentStore(m_serial).Exists());
        EXPECT_TRUE(JudgesFindClean(image));
        EXPECT_TRUE(ContentMatchesManifest(image, m_manifest));
        return FirstLcnOf(image, kMoved);
    }

    std::string m_base;
    uint64_t m_serial = 0, m_clusterBytes = 0, m_clusters = 0, m_recordOffset = 0;
    Lcn m_target = kVirtualLcn;
    std::vector<ClusterRun> m_sources;
    std::vector<uint8_t> m_newRecord, m_copy;
};

TEST_F(NtfsEarlierIntentTest, ABatchWrittenAtOnceIsFinishedWhenItsCopiesAreInPlace) {
    for (Layout layout : {Layout::OneFile, Layout::SlotsFourLanes, Layout::SlotsEightLanes}) {
        SCOPED_TRACE("layout " + std::to_string(static_cast<int>(layout)));
        EXPECT_EQ(ReopenAfterCut(layout, true), m_target) << "the record's new image was written";
    }
}

TEST_F(NtfsEarlierIntentTest, ABatchWrittenAtOnceIsUndoneWhenItsCopiesAreNotInPlace) {
    for (Layout layout : {Layout::OneFile, Layout::SlotsFourLanes, Layout::SlotsEightLanes}) {
        SCOPED_TRACE("layout " + std::to_string(static_cast<int>(layout)));
        EXPECT_EQ(ReopenAfterCut(layout, false), m_sources[0].lcn) << "the record was left as it was";
    }
}

}  // namespace
}  // namespace tarvo::platform::testing
