// NtfsIntentTest.cpp --- the intent record outside the volume: what it keeps, and that damage is seen.
#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/ntfs/NtfsIntent.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {
namespace {

NtfsIntent SampleIntent() {
    NtfsIntent intent;
    intent.serial = 0x1234abcd5678ef00ULL;
    intent.dirtySetByUs = true;
    intent.runs = {{10, 4}, {400, 16}};
    RecordImage image;
    image.pieces.push_back({4096 * 7, std::vector<uint8_t>(1024, 0x46)});
    intent.records.push_back(image);
    intent.copies = {{4096 * 400, 65536, 0x1122334455667788ULL}};
    intent.redo.push_back({4096 * 10, std::vector<uint8_t>(4 * 4096, 0x5a)});
    intent.redo.push_back({4096 * 7, std::vector<uint8_t>(1024, 0x47)});
    return intent;
}

std::vector<char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(NtfsTestFolder, AnIntentRecordKeepsItsFingerprintsAndWritesToRepeatAndShowsDamage) {
    const NtfsIntent saved = SampleIntent();
    NtfsIntentStore store(saved.serial);
    ASSERT_EQ(store.Save(saved), 0);
    NtfsIntent loaded;
    ASSERT_EQ(store.Load(loaded), 0);
    EXPECT_EQ(loaded.serial, saved.serial);
    EXPECT_TRUE(loaded.dirtySetByUs);
    ASSERT_EQ(loaded.runs.size(), 2u);
    EXPECT_EQ(loaded.runs[1].lcn, 400u);
    ASSERT_EQ(loaded.records.size(), 1u);
    EXPECT_EQ(loaded.records[0].pieces[0].bytes, saved.records[0].pieces[0].bytes);
    ASSERT_EQ(loaded.copies.size(), 1u);
    EXPECT_EQ(loaded.copies[0].offset, saved.copies[0].offset);
    EXPECT_EQ(loaded.copies[0].length, saved.copies[0].length);
    EXPECT_EQ(loaded.copies[0].hash, saved.copies[0].hash);
    ASSERT_EQ(loaded.redo.size(), 2u);
    EXPECT_EQ(loaded.redo[0].offset, saved.redo[0].offset);
    EXPECT_EQ(loaded.redo[0].bytes, saved.redo[0].bytes);
    EXPECT_EQ(loaded.redo[1].bytes, saved.redo[1].bytes);

    // A changed byte anywhere (header, runs, images, fingerprints, data, sum) or a cut-off tail is damage.
    const std::vector<char> good = ReadFile(store.Path());
    for (size_t at : {size_t{9}, size_t{40}, size_t{100}, good.size() / 2, good.size() - 200, good.size() - 3}) {
        std::vector<char> bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x10);
        WriteFile(store.Path(), bad);
        EXPECT_EQ(store.Load(loaded), EINVAL) << "byte " << at;
    }
    WriteFile(store.Path(), std::vector<char>(good.begin(), good.end() - 9));
    EXPECT_EQ(store.Load(loaded), EINVAL);
    ASSERT_EQ(store.Remove(), 0);
    EXPECT_FALSE(store.Exists());
}

NtfsIntent IntentListing(uint64_t lcn) {
    NtfsIntent intent;
    intent.serial = 77;
    intent.runs = {{lcn, 1}};
    return intent;
}

uint64_t ListedLcn(NtfsIntentStore& store) {
    NtfsIntent loaded;
    return store.Load(loaded) == 0 && loaded.runs.size() == 1 ? loaded.runs[0].lcn : 0;
}

// Saves go to two slots in turn; a save cut while it overwrote a slot leaves
// the other whole, and the next save never overwrites the newest whole record.
TEST_F(NtfsTestFolder, ACutSaveLeavesTheRecordBeforeItAndIsNeverSavedOver) {
    NtfsIntentStore writer(77);
    ASSERT_EQ(writer.Save(IntentListing(1)), 0);
    ASSERT_EQ(writer.Save(IntentListing(2)), 0);
    const std::string second = writer.Path() + ".1";
    ASSERT_TRUE(std::filesystem::exists(writer.Path()));
    ASSERT_TRUE(std::filesystem::exists(second));
    NtfsIntentStore reader(77);
    EXPECT_EQ(ListedLcn(reader), 2u);

    // The newest slot as an overwrite cut half-way would leave it.
    std::vector<char> bytes = ReadFile(second);
    WriteFile(second, std::vector<char>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)));
    NtfsIntentStore afterCut(77);
    EXPECT_EQ(ListedLcn(afterCut), 1u);
    ASSERT_EQ(afterCut.Save(IntentListing(3)), 0);
    EXPECT_EQ(ListedLcn(afterCut), 3u);
    // The record the cut left as newest was kept: only the damaged slot was written.
    bytes = ReadFile(second);
    WriteFile(second, std::vector<char>(bytes.begin(), bytes.end() - 1));
    NtfsIntentStore older(77);
    EXPECT_EQ(ListedLcn(older), 1u);

    ASSERT_EQ(older.Remove(), 0);
    EXPECT_FALSE(older.Exists());
    EXPECT_FALSE(std::filesystem::exists(second));
    NtfsIntent none;
    EXPECT_EQ(older.Load(none), ENOENT);
}

TEST(NtfsHashTest, AnyChangedByteChangesTheHash) {
    std::vector<uint8_t> bytes(4096 + 13);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    const uint64_t whole = HashBytes(bytes.data(), bytes.size());
    EXPECT_EQ(HashBytes(bytes.data(), bytes.size()), whole);
    // Every lane of the word loop and the byte tail, and a shorter length.
    for (size_t at : {size_t{0}, size_t{9}, size_t{18}, size_t{27}, size_t{36}, size_t{45}, size_t{54}, size_t{63},
                      size_t{2048}, bytes.size() - 1}) {
        std::vector<uint8_t> changed = bytes;
        changed[at] ^= 1;
        EXPECT_NE(HashBytes(changed.data(), changed.size()), whole) << "byte " << at;
    }
    EXPECT_NE(HashBytes(bytes.data(), bytes.size() - 1), whole);
    // Zeros of different lengths differ too.
    std::vector<uint8_t> zeros(8192, 0);
    EXPECT_NE(HashBytes(zeros.data(), 4096), HashBytes(zeros.data(), 8192));
}

}  // namespace
}  // namespace tarvo::platform::testing
